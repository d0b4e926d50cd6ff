#include "tables/table_export.h"

#include <QTimeZone>

#include <memory>

#include "history/history_reader.h"
#include "history/history_words.h"
#include "records/file_io.h"
#include "records/record_line.h"
#include "tables/table_values.h"
#include "tables/xlsx_writer.h"

namespace quorvel {

using namespace Qt::StringLiterals;

namespace {

// Summaries are asked for this many records at a time.
constexpr qsizetype kBatch = 4096;
// CSV goes to the file in pieces of about this many characters.
constexpr qsizetype kCsvPiece = 1 << 20;

enum Column {
    kState = 8,
    kSince,
    kLastFound,
    kReason,
    kCount,
    kOverLimit,
    kSignals,
    kReciprocal,
    kOverdue,
};

// Times in the user's time zone, looked up once: converting with local time
// asks the C library, which looks at the zone's file every time.
QDateTime local(const QDateTime& time) {
    static const QTimeZone zone = QTimeZone::systemTimeZone();
    return time.isValid() ? time.toTimeZone(zone) : QDateTime();
}

QString timeText(const QDateTime& time) {
    return time.isValid() ? local(time).toString(u"dd.MM.yyyy HH:mm"_s) : QString();
}

// The rows of the list in order, with what the history knows of them read
// a batch at a time.
class RowFeed {
  public:
    RowFeed(const RecordStore& records, const ExportOptions& options)
        : records_(records), locale_(options.locale) {
        if (!options.historyPath) {
            return;
        }
        reader_ = std::make_unique<HistoryReader>(*options.historyPath);
        const HistoryOpenOutcome& outcome = reader_->outcome();
        if (!outcome.usable()) {
            if (outcome.status != HistoryOpenStatus::Absent) {
                historyProblem_ = outcome.message;
            }
            reader_.reset();
        }
    }

    qsizetype size() const { return records_.size(); }
    const QString& historyProblem() const { return historyProblem_; }

    bool next(ExportRow* row) {
        if (next_ >= records_.size()) {
            return false;
        }
        if (next_ >= batchStart_ + batch_.size()) {
            readBatch();
        }
        *row = exportRow(records_.view(next_), batch_.at(next_ - batchStart_), locale_);
        ++next_;
        return true;
    }

  private:
    void readBatch() {
        batchStart_ = next_;
        const qsizetype n = qMin(kBatch, records_.size() - next_);
        QList<RecordIdentity> identities;
        identities.reserve(n);
        for (qsizetype i = 0; i < n; ++i) {
            identities += identityOf(records_.view(next_ + i));
        }
        batch_ = QList<RecordOverview>(n);
        if (reader_) {
            // One run: the latest result of each record gives its count.
            Outcome<ListOverview> answer = reader_->overview(identities, 1);
            if (answer.ok()) {
                batch_ = std::move(answer.value.records);
            } else if (historyProblem_.isEmpty()) {
                historyProblem_ = answer.error;
            }
        }
    }

    const RecordStore& records_;
    QLocale locale_;
    std::unique_ptr<HistoryReader> reader_;
    QString historyProblem_;
    QList<RecordOverview> batch_;
    qsizetype batchStart_ = 0;
    qsizetype next_ = 0;
};

void appendCsvLine(QString& out, const auto& cells, QChar delimiter) {
    bool first = true;
    for (const QString& cell : cells) {
        if (!first) {
            out += delimiter;
        }
        first = false;
        appendCsvField(out, withFormulaGuard(cell), delimiter);
    }
    out += u"\r\n";
}

ExportOutcome writeCsv(const QString& path, RowFeed& feed, ExportFormat format,
                       const std::function<bool()>& stop) {
    ExportOutcome outcome;
    const bool excel = format == ExportFormat::CsvExcel;
    const QChar delimiter = excel ? u';' : u',';
    const Outcome<> written = writeFileAtomically(path, [&](const ByteSink& sink) {
        if (excel && !sink("\xEF\xBB\xBF")) {
            return false;
        }
        QString text;
        appendCsvLine(text, exportHeader(), delimiter);
        ExportRow row;
        while (feed.next(&row)) {
            appendCsvLine(text, row.cells, delimiter);
            if (text.size() >= kCsvPiece) {
                if (stop && stop()) {
                    outcome.problem = ExportOutcome::Problem::Stopped;
                    return false;
                }
                if (!sink(text.toUtf8())) {
                    return false;
                }
                text.clear();
            }
        }
        return sink(text.toUtf8());
    });
    if (!written && outcome.ok()) {
        outcome.problem = ExportOutcome::Problem::WriteFailed;
        outcome.detail = written.error;
    }
    return outcome;
}

}  // namespace

void appendCsvField(QString& out, QStringView text, QChar delimiter) {
    const bool quoted = text.contains(delimiter) || text.contains(u'"') || text.contains(u'\r') ||
                        text.contains(u'\n');
    if (!quoted) {
        out += text;
        return;
    }
    out += u'"';
    for (const QChar ch : text) {
        if (ch == u'"') {
            out += u'"';
        }
        out += ch;
    }
    out += u'"';
}

QStringList exportHeader() {
    return listColumnWords() + exportHistoryColumnWords();
}

ExportRow exportRow(QStringView line, const RecordOverview& history, const QLocale& locale) {
    const RecordSummary& summary = history.summary;
    ExportRow row;
    const std::array<QStringView, 8> fields = ExtractAllFields(line);
    for (int column = 0; column < 8; ++column) {
        row.cells[size_t(column)] = fields[size_t(kListColumnFields[column])].toString();
    }
    // A deadline is a date cell only when writing that date gives its text back.
    const QString& deadline = row.cells[2];
    if (!deadline.isEmpty()) {
        if (const std::optional<QDate> date = ParseRecordDate(deadline, locale)) {
            if (FormatRecordDate(*date, locale) == deadline) {
                row.deadline = date;
            }
        }
    }
    if (summary.checks == 0) {
        return row;  // never checked: nothing to tell
    }
    row.state = summary.state;
    row.cells[kState] = checkedStateWords(summary, history.blockedSince.isValid());
    row.since = local(summary.since);
    row.cells[kSince] = timeText(summary.since);
    row.lastFound = local(summary.lastFound);
    row.cells[kLastFound] = timeText(summary.lastFound);
    row.cells[kReason] = reasonWords(summary.lastReason);
    if (pageLoaded(summary.lastStatus)) {
        row.count = history.lastCount;
        row.cells[kCount] = QString::number(history.lastCount);
        row.cells[kOverLimit] = history.lastOverLimit ? yesWords() : QString();
    }
    row.cells[kSignals] = signalListWords(summary.lastSignals);
    if (!fields[4].isEmpty()) {  // the record names the user's own page
        row.cells[kReciprocal] = reciprocalWords(summary.lastReciprocal);
    }
    row.cells[kOverdue] = summary.lastOverdue ? yesWords() : QString();
    return row;
}

ExportOutcome exportRecords(const QString& path, const RecordStore& records,
                            const ExportOptions& options, const std::function<bool()>& stop) {
    RowFeed feed(records, options);
    ExportOutcome outcome;
    if (options.format == ExportFormat::Xlsx) {
        XlsxExport xlsx;
        xlsx.rows = records.size();
        xlsx.header = exportHeader();
        xlsx.columnWidths = options.columnWidths;
        xlsx.dateFormat = recordDateFormat(options.locale);
        xlsx.next = [&feed](ExportRow* row) { return feed.next(row); };
        xlsx.stop = stop;
        outcome = writeXlsx(path, xlsx);
    } else {
        outcome = writeCsv(path, feed, options.format, stop);
    }
    outcome.historyProblem = feed.historyProblem();
    return outcome;
}

}  // namespace quorvel
