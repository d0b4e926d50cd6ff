#pragma once

#include <QIODevice>
#include <QString>

#include <memory>
#include <optional>

#include "tables/table_reader.h"

namespace quorvel {

// The first worksheet of an XLSX workbook, row by row: shared and inline
// strings, numbers (dates are numbers there, marked as such), formulas by
// their last value. Everything unpacked counts against the byte limit and
// every row against the row limit, so a zip or XML bomb stops there; a
// document type declaration (the XML bomb's tool) is refused outright.
class XlsxReader {
  public:
    // `device` is not open yet; the reader opens it.
    XlsxReader(std::unique_ptr<QIODevice> device, const TableLimits& limits);
    ~XlsxReader();

    std::optional<TableError> open();
    // False at the end, or with `error` set.
    bool next(TableRow* row, std::optional<TableError>* error);
    std::optional<TableError> rewind();
    // The workbook counts days from 1904 instead of 1900.
    bool dates1904() const;

    struct State;

  private:
    std::unique_ptr<State> d_;
};

// An Excel day number as a date: days since 30 December 1899 (so that the
// 1900 system's phantom 29 February 1900 falls out for every real date), or
// since 1 January 1904; a fraction of a day is a time and is dropped.
QDate dateFromSerial(double serial, bool dates1904 = false);

}  // namespace quorvel
