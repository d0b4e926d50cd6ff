#pragma once

#include <QByteArray>
#include <QChar>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

#include "records/record_file.h"
#include "tables/text_encoding.h"

namespace quorvel {

// How much of a table is read at all: the same ceilings as a record file's,
// and a row never has more columns than a spreadsheet can hold.
struct TableLimits {
    qint64 maxBytes = kMaxRecordFileBytes;     // the file, or all a workbook unpacks to
    qsizetype maxLines = kMaxRecordFileLines;  // lines of a text table, rows of a sheet
    qsizetype maxColumns = 16384;
    // The cells a sheet may make, empty ones it skips included: a sheet
    // names its cells' places, so a few bytes could ask for huge empty rows.
    qsizetype maxCells = 32 * 1024 * 1024;
};

// One row of a table.
struct TableRow {
    QStringList cells;
    // For a sheet: which cells hold numbers (dates are numbers there).
    // Empty for a text table, whose cells are all text.
    QList<bool> numbers;
    // Where it starts: the line of a text table, the row of a sheet (from 1).
    qsizetype line = 0;

    QString cell(qsizetype column) const { return cells.value(column); }
    bool isNumber(qsizetype column) const { return numbers.value(column, false); }
};

// Why a table cannot be read.
enum class TableProblem {
    Unreadable,         // cannot be opened or read (detail says why)
    NotRegularFile,     // a folder, a pipe, a device
    TooLarge,           // over maxBytes (for a workbook: what it unpacks to)
    TooManyLines,       // over maxLines
    Binary,             // a NUL byte without a UTF-16 byte order mark
    UnterminatedQuote,  // a quoted field runs to the end (line: where it opened)
    TooManyColumns,     // a row over maxColumns (line: the row's)
    TooManyCells,       // a sheet asks for more than maxCells cells
    NoSheet,            // a workbook without a worksheet
    BadWorkbook,        // a damaged zip or sheet (detail says what)
};

struct TableError {
    TableProblem problem = TableProblem::Unreadable;
    qsizetype line = 0;  // for the problems that have one
    QString detail;
};

enum class TableFormat { Text, Xlsx };

// Choices that override what the reader would detect.
struct TableReadOptions {
    std::optional<TextEncoding> encoding;
    std::optional<QChar> delimiter;
};

// What the reader detected, or was told.
struct TableLayout {
    TableFormat format = TableFormat::Text;
    TextEncoding encoding = TextEncoding::Utf8;
    bool byteOrderMark = false;     // the text began with a mark (which is skipped)
    QChar delimiter = u',';         // TAB, ';' or ',' as detected, or any character given
    bool delimiterFromSep = false;  // a first line "sep=X" said so (and is skipped)
    bool dates1904 = false;         // a workbook that counts days from 1904
};

// Where a table's bytes are: a file, or bytes in memory (the clipboard,
// standard input).
struct TableSource {
    QString path;
    QByteArray bytes;
    bool inMemory = false;

    static TableSource file(const QString& path) { return {path, {}, false}; }
    static TableSource memory(QByteArray bytes) { return {{}, std::move(bytes), true}; }
};

// Reads a table row by row, without holding it whole: a text table (CSV,
// TSV: encoding, delimiter and quoting as RFC 4180, detected) or the first
// worksheet of an XLSX workbook (told by its zip signature).
//
//     TableReader reader(TableSource::file(path));
//     if (!reader.open()) { report(*reader.error()); }
//     TableRow row;
//     while (reader.next(&row)) { ... }
//     if (reader.error()) { report(*reader.error()); }  // a problem further on
class TableReader {
  public:
    explicit TableReader(TableSource source, TableReadOptions options = {},
                         TableLimits limits = {});
    ~TableReader();
    TableReader(const TableReader&) = delete;
    TableReader& operator=(const TableReader&) = delete;

    // Looks at the table as a whole: its size, its kind, its lines and
    // encoding, its delimiter. False when it is no table (error() says why).
    bool open();
    const TableLayout& layout() const { return layout_; }
    // The next row; false at the end, or at a problem (error() is set then).
    bool next(TableRow* row);
    // Starts again at the first row.
    bool rewind();
    const std::optional<TableError>& error() const { return error_; }

    class Backend;

  private:
    TableSource source_;
    TableReadOptions options_;
    TableLimits limits_;
    TableLayout layout_;
    std::unique_ptr<Backend> backend_;
    std::optional<TableError> error_;
};

}  // namespace quorvel
