#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QStringView>

#include <optional>

namespace quorvel {

// A cell as a record field takes it: trimmed, and every line break (which a
// record line cannot hold) a space.
QString cellValue(QStringView cell);

// Spreadsheets run a cell that begins with '=', '+', '-', '@', TAB or CR as
// a formula; a leading apostrophe keeps it text. Our CSV writes that guard,
// and one more apostrophe before a value that already begins with
// apostrophes and such a character, so reading takes one off again and every
// value comes back as it was.
bool needsFormulaGuard(QStringView value);
QString withFormulaGuard(const QString& value);
QString withoutFormulaGuard(const QString& value);

// The deadlines of one column. Most forms tell their date alone; whether
// "03/04/2026" is the 4th of March or the 3rd of April the column decides as
// a whole (d/M when a value has a first part over 12, M/d otherwise), so
// such values wait until the column has been seen.
class DeadlineColumn {
  public:
    explicit DeadlineColumn(const QLocale& locale = QLocale::system(), bool dates1904 = false);

    enum class Reading {
        Empty,       // no value: no deadline
        Date,        // read
        Slashed,     // day and month in an order the column decides: see resolve()
        Unreadable,  // no date this program knows
    };
    // `number`: a spreadsheet's number cell, read as a day number.
    Reading read(QStringView value, bool number, QDate* date);
    // A Slashed value, by the order the column's values gave.
    std::optional<QDate> resolve(QStringView value) const;

  private:
    QLocale locale_;
    bool dates1904_;
    bool firstOver12_ = false;
    bool secondOver12_ = false;
};

}  // namespace quorvel
