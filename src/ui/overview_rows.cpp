#include "ui/overview_rows.h"

#include <QHash>
#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <limits>

#include "checking/deadline.h"
#include "history/history_reader.h"
#include "records/record_line.h"
#include "ui/history_text.h"

namespace quorvel {

using namespace Qt::StringLiterals;

namespace {

// Readers never wait for writers in WAL mode; only a file being recovered
// makes them wait, briefly.
constexpr std::chrono::seconds kReadBusyTimeout(1);

const RecordSummary& summaryOf(const OverviewRowView& row) {
    return row.facts.history.summary;
}

bool checked(const OverviewRowView& row) {
    return summaryOf(row).checks > 0;
}

qint64 timeKey(const QDateTime& time) {
    return time.isValid() ? time.toSecsSinceEpoch() : std::numeric_limits<qint64>::min();
}

// The state in the history window's words.
QString stateText(const OverviewRowView& row) {
    const RecordSummary& summary = summaryOf(row);
    if (summary.checks == 0) {
        return kNeverCheckedText;
    }
    return checkedStateWords(summary, row.facts.history.blockedSince.isValid());
}

// Since when the state shown holds: the wall's first blocked run, or the
// confirmed state's.
QDateTime sinceOf(const OverviewRowView& row) {
    if (row.facts.history.blockedSince.isValid()) {
        return row.facts.history.blockedSince;
    }
    return summaryOf(row).state == ConfirmedState::None ? QDateTime() : summaryOf(row).since;
}

QString deadlineText(const OverviewRowView& row) {
    const QString text = ExtractField(row.line, QChar(u'D'));
    return row.facts.overdue ? text + u", "_s + kOverdueMark : text;
}

// A count is known only of a page that loaded.
bool countKnown(const OverviewRowView& row) {
    return pageLoaded(summaryOf(row).lastStatus);
}

// The marker whose tint the row takes: the state it shows.
CheckStatus tintOf(const RecordOverview& history) {
    const RecordSummary& summary = history.summary;
    if (summary.checks == 0) {
        return CheckStatus::None;
    }
    if (history.blockedSince.isValid()) {
        return CheckStatus::FetchFailed;
    }
    switch (summary.state) {
        case ConfirmedState::Found:
            return CheckStatus::Found;
        case ConfirmedState::Hidden:
            return CheckStatus::Hidden;
        case ConfirmedState::Missing:
            return CheckStatus::Missing;
        case ConfirmedState::Down:
            return CheckStatus::FetchFailed;
        case ConfirmedState::None:
            break;
    }
    return summary.lastStatus;
}

bool isProblem(const OverviewFacts& facts, bool hasOwnPage) {
    const RecordSummary& summary = facts.history.summary;
    const bool linkThere = summary.checks > 0 && !facts.history.blockedSince.isValid() &&
                           summary.state == ConfirmedState::Found;
    const bool ownPageLacksLink =
        hasOwnPage && (summary.lastReciprocal == CheckStatus::Missing ||
                       summary.lastReciprocal == CheckStatus::FetchFailed);
    return !linkThere || facts.overdue || ownPageLacksLink || !summary.lastSignals.isEmpty();
}

}  // namespace

std::span<const OverviewColumn> overviewColumns() {
    // Made at the first call, after the words it uses. What the export
    // shows too has the history's caption; the record's fields have the
    // list's.
    const auto history = [](HistoryColumn column) { return historyColumnWords(column); };
    const OverviewWords& words = overviewWords();
    static const OverviewColumn columns[] = {
        {words.number,
         [](const OverviewRowView& row) { return QString::number(row.facts.index + 1); },
         [](const OverviewRowView& row) { return qint64(row.facts.index); }},
        {history(HistoryColumn::State), stateText},
        {history(HistoryColumn::Since),
         [](const OverviewRowView& row) { return historyTimeText(sinceOf(row)); },
         [](const OverviewRowView& row) { return timeKey(sinceOf(row)); }},
        {history(HistoryColumn::LastFound),
         [](const OverviewRowView& row) { return historyTimeText(summaryOf(row).lastFound); },
         [](const OverviewRowView& row) { return timeKey(summaryOf(row).lastFound); }},
        {history(HistoryColumn::Reason),
         [](const OverviewRowView& row) {
             return checked(row) ? reasonWords(summaryOf(row).lastReason) : QString();
         }},
        {history(HistoryColumn::Signals),
         [](const OverviewRowView& row) {
             const RecordSummary& summary = summaryOf(row);
             return signalListWords(summary.lastSignals, signalDetails(summary));
         }},
        {history(HistoryColumn::Reciprocal),
         [](const OverviewRowView& row) {
             return ExtractFieldView(row.line, QChar(u'4')).isEmpty()
                        ? QString()
                        : reciprocalWords(summaryOf(row).lastReciprocal);
         }},
        {words.deadline, deadlineText,
         [](const OverviewRowView& row) {
             return row.facts.deadline ? row.facts.deadline->toJulianDay()
                                       : std::numeric_limits<qint64>::min();
         }},
        {historyWindowWords().count,
         [](const OverviewRowView& row) {
             return countKnown(row) ? QString::number(row.facts.history.lastCount) : QString();
         },
         [](const OverviewRowView& row) {
             return countKnown(row) ? qint64(row.facts.history.lastCount) : qint64(-1);
         },
         // Over the partner's limit, as a bold row of the list.
         [](const OverviewRowView& row) {
             return countKnown(row) && row.facts.history.lastOverLimit;
         }},
        // Every external link, under any domain, beside the count the limit
        // is about.
        {QString::fromUtf16(kExternalHeading),
         [](const OverviewRowView& row) {
             const int external = summaryOf(row).lastExternal;
             return external >= 0 ? QString::number(external) : QString();
         },
         [](const OverviewRowView& row) { return qint64(summaryOf(row).lastExternal); }},
        {QString::fromUtf16(kAnchorHeading),
         [](const OverviewRowView& row) { return summaryOf(row).lastAnchor; }},
        {listColumnWords().at(0),
         [](const OverviewRowView& row) { return ExtractField(row.line, QChar(u'U')); }},
        {listColumnWords().at(4),
         [](const OverviewRowView& row) { return ExtractField(row.line, QChar(u'E')); }},
    };
    return columns;
}

std::shared_ptr<const OverviewSnapshot> buildOverview(RecordStore shared,
                                                      const QString& historyPath, QDate today,
                                                      const std::atomic<bool>& cancel) {
    auto snapshot = std::make_shared<OverviewSnapshot>();
    for (const QStringView line : shared) {
        snapshot->records.append(line);
    }
    shared = RecordStore();
    const RecordStore& records = snapshot->records;
    QList<RecordIdentity> identities;
    identities.reserve(records.size());
    for (const QStringView line : records) {
        identities += identityOf(line);
    }
    Outcome<ListOverview> history;
    {
        HistoryReader reader(historyPath, kReadBusyTimeout);
        history = reader.overview(identities, kOverviewRuns, &cancel);
    }
    if (cancel.load(std::memory_order_relaxed)) {
        return nullptr;
    }
    snapshot->error = history.error;
    snapshot->runs = std::move(history.value.runs);
    identities.clear();
    snapshot->rows.resize(records.size());
    // Reading a date is slow and most lists repeat a few deadlines (the
    // picker's start date above all): each text is read once.
    const QLocale locale = QLocale::system();
    QHash<QStringView, std::optional<QDate>> deadlines;
    for (qsizetype i = 0; i < records.size(); ++i) {
        OverviewFacts& facts = snapshot->rows[i];
        const QStringView line = records.view(i);
        facts.index = int(i);
        if (i < history.value.records.size()) {
            facts.history = std::move(history.value.records[i]);
        }
        const QStringView deadline = ExtractFieldView(line, QChar(u'D'));
        auto known = deadlines.constFind(deadline);
        if (known == deadlines.cend()) {
            known = deadlines.insert(deadline, parseDeadline(deadline, locale));
        }
        facts.deadline = *known;
        const RecordSummary& summary = facts.history.summary;
        facts.overdue = isOverdue(facts.deadline.value_or(QDate()), summary.lastStatus,
                                  summary.firstChecked.toLocalTime().date(), today);
        facts.tint = tintOf(facts.history);
        facts.problem = isProblem(facts, !ExtractFieldView(line, QChar(u'4')).isEmpty());
        if ((i & 4095) == 0 && cancel.load(std::memory_order_relaxed)) {
            return nullptr;
        }
    }
    return snapshot;
}

QString overviewText(const OverviewSnapshot& snapshot, int row, int column) {
    const OverviewFacts& facts = snapshot.rows.at(row);
    return overviewColumns()[size_t(column)].text({facts, snapshot.records.view(facts.index)});
}

QString overviewHint(const OverviewSnapshot& snapshot, int row, QStringView line) {
    const RecordStore& records = snapshot.records;
    const auto sameRecord = [&line](QStringView other) {
        return ExtractFieldView(other, QChar(u'U')) == ExtractFieldView(line, QChar(u'U')) &&
               ExtractFieldView(other, QChar(u'6')) == ExtractFieldView(line, QChar(u'6'));
    };
    qsizetype at = row >= 0 && row < records.size() && sameRecord(records.view(row)) ? row : -1;
    for (qsizetype i = 0; at < 0 && i < records.size(); ++i) {
        if (sameRecord(records.view(i))) {
            at = i;
        }
    }
    if (at < 0) {
        return QString();
    }
    const OverviewFacts& facts = snapshot.rows.at(at);
    const OverviewRowView view{facts, records.view(at)};
    const RecordSummary& summary = summaryOf(view);
    if (summary.checks == 0) {
        return kNeverCheckedText;
    }
    QString state = stateText(view);
    if (const QDateTime since = sinceOf(view); since.isValid()) {
        state += historyWindowWords().since + historyTimeText(since);
    }
    QStringList lines{state};
    if (summary.lastFound.isValid()) {
        lines += lastFoundLine(summary.lastFound);
    }
    if (!summary.lastReason.isEmpty()) {
        lines += reasonLine(summary.lastReason);
    }
    if (!summary.lastSignals.isEmpty()) {
        lines += signalsLine(summary.lastSignals, signalDetails(summary));
    }
    if (!ExtractFieldView(view.line, QChar(u'4')).isEmpty()) {
        lines += reciprocalLine(summary.lastReciprocal);
    }
    if (facts.overdue) {
        lines += overdueWords(*facts.deadline);
    }
    return lines.join(u'\n');
}

bool overviewBold(const OverviewSnapshot& snapshot, int row, int column) {
    const OverviewFacts& facts = snapshot.rows.at(row);
    return overviewColumns()[size_t(column)].bold &&
           overviewColumns()[size_t(column)].bold({facts, snapshot.records.view(facts.index)});
}

QList<int> overviewOrder(const OverviewSnapshot& snapshot, const OverviewView& view,
                         const std::atomic<bool>& cancel) {
    const auto cancelled = [&cancel] { return cancel.load(std::memory_order_relaxed); };
    QList<int> order;
    order.reserve(snapshot.rows.size());
    const QString search = view.search.trimmed();
    for (int row = 0; row < snapshot.rows.size(); ++row) {
        const OverviewFacts& facts = snapshot.rows.at(row);
        if ((view.filter == OverviewFilter::Problems && !facts.problem) ||
            (view.filter == OverviewFilter::Changed && !facts.history.changedInLatestRun)) {
            continue;
        }
        if (!search.isEmpty()) {
            const OverviewRowView rowView{facts, snapshot.records.view(facts.index)};
            bool found = false;
            for (const OverviewColumn& column : overviewColumns()) {
                if (column.text(rowView).contains(search, Qt::CaseInsensitive)) {
                    found = true;
                    break;
                }
            }
            if (!found) {
                continue;
            }
        }
        order += row;
        if ((row & 4095) == 0 && cancelled()) {
            return {};
        }
    }
    if (view.sortColumn < 0 || view.sortColumn >= int(overviewColumns().size())) {
        return order;
    }
    // Each row's key or words once, then the order of the rows; ties keep
    // the list's order.
    const OverviewColumn& column = overviewColumns()[size_t(view.sortColumn)];
    const bool descending = view.sortOrder == Qt::DescendingOrder;
    if (column.key) {
        QList<qint64> keys(snapshot.rows.size());
        for (const int row : order) {
            const OverviewFacts& facts = snapshot.rows.at(row);
            keys[row] = column.key({facts, snapshot.records.view(facts.index)});
        }
        std::stable_sort(order.begin(), order.end(), [&keys, descending](int a, int b) {
            return descending ? keys.at(b) < keys.at(a) : keys.at(a) < keys.at(b);
        });
    } else {
        QStringList texts(snapshot.rows.size());
        for (const int row : order) {
            const OverviewFacts& facts = snapshot.rows.at(row);
            texts[row] = column.text({facts, snapshot.records.view(facts.index)});
        }
        if (cancelled()) {
            return {};
        }
        std::stable_sort(order.begin(), order.end(), [&texts, descending](int a, int b) {
            const int c = texts.at(a).compare(texts.at(b), Qt::CaseInsensitive);
            return descending ? c > 0 : c < 0;
        });
    }
    return cancelled() ? QList<int>() : order;
}

}  // namespace quorvel
