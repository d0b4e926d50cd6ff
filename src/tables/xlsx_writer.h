#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

#include "tables/table_export.h"

namespace quorvel {

// What a workbook of the list is made of.
struct XlsxExport {
    qsizetype rows = 0;  // below the header
    QStringList header;
    QList<int> columnWidths;  // pixels of the first columns
    QString dateFormat;       // the deadlines' format, as Qt writes it ("dd.MM.yyyy")
    std::function<bool(ExportRow*)> next;
    std::function<bool()> stop;
};

// Writes a one-sheet workbook with libxlsxwriter, a row at a time (its
// constant-memory mode): a bold, frozen header with a filter, every value a
// text or a number and never a formula, the deadlines and times as dates,
// the state cells in the colours of the list's markers. The library writes
// to a file name only, so it writes a temporary file beside `path`, which
// then takes its place.
ExportOutcome writeXlsx(const QString& path, const XlsxExport& book);

// A Qt date format ("dd.MM.yyyy", "M/d/yyyy") as a workbook's number format
// ("dd.mm.yyyy", "m/d/yyyy"); empty when it holds more than days, months,
// years and separators.
QString excelDateFormat(const QString& qtFormat);

}  // namespace quorvel
