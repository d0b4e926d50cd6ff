#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QLocale>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <functional>
#include <optional>

#include "history/history.h"
#include "records/record_store.h"

namespace quorvel {

// How the list goes out: an XLSX workbook, CSV as a Russian-locale
// spreadsheet opens it with a double click (UTF-8 with its mark, ';',
// CR LF), or plain RFC 4180 CSV (UTF-8, ',', CR LF).
enum class ExportFormat { Xlsx, CsvExcel, Csv };

// The eight fields in the list's column order, then what the history knows.
inline constexpr int kExportColumns = 17;

struct ExportOptions {
    ExportFormat format = ExportFormat::Xlsx;
    // The history to read the check results from; none leaves their columns empty.
    std::optional<QString> historyPath;
    // The widths in pixels of the list's eight columns, for a workbook's
    // columns; empty for the usual widths.
    QList<int> columnWidths;
    QLocale locale = QLocale::system();
};

// One record as an export shows it.
struct ExportRow {
    std::array<QString, kExportColumns> cells;
    // The deadline as a date, when it reads back as exactly its text.
    std::optional<QDate> deadline;
    QDateTime since;  // in the user's time zone
    QDateTime lastFound;
    std::optional<qint64> count;  // the outgoing links, when the page loaded
    ConfirmedState state = ConfirmedState::None;
};

// A field of a CSV line as RFC 4180 writes it: in double quotes with its
// quotes doubled when it holds the delimiter, a quote or a line break; as it
// is otherwise.
void appendCsvField(QString& out, QStringView text, QChar delimiter);

// The columns' captions, in the list's words.
QStringList exportHeader();
// A record and what the history knows of it as a row; nothing (checks 0)
// for a record never checked.
ExportRow exportRow(QStringView line, const RecordOverview& history,
                    const QLocale& locale = QLocale::system());

struct ExportOutcome {
    enum class Problem {
        None,
        Stopped,      // asked to stop; nothing written
        TooManyRows,  // more rows than a worksheet holds
        CellTooLong,  // a value longer than a workbook's cell holds (row says which)
        WriteFailed,  // detail says why
    };
    Problem problem = Problem::None;
    QString detail;
    qsizetype row = 0;  // from 1, the header being row 1
    // The history could not be read (a newer program's, damaged): its
    // columns are empty. Empty when it was read or there is none.
    QString historyProblem;

    bool ok() const { return problem == Problem::None; }
};

// Writes the records with their check results to `path` in one step: the
// old file stays until the new one is whole. The history is read in
// batches as the rows are written, so a big list is never held twice.
// `stop`, asked now and then, gives up.
ExportOutcome exportRecords(const QString& path, const RecordStore& records,
                            const ExportOptions& options, const std::function<bool()>& stop = {});

}  // namespace quorvel
