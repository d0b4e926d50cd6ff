#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

#include "checking/check_outcome.h"

namespace quorvel::cli {

struct Command;

// "Found", "Hidden", "Missing", "FetchFailed" or "none".
const char* statusName(CheckStatus status);

enum class Format { Tsv, Csv, Json };

// --format, of the commands that print a report.
QCommandLineOption formatOption();
// The format it asks for, tsv when it is not given; nothing, after a usage
// error, for a name other than tsv, csv and json.
std::optional<Format> reportFormat(const Command& command, const QCommandLineParser& parser);

// Writes a report a row at a time, in the order given, through the buffer of
// standard output, so that the report of a long list never sits in memory
// whole. A value is a number, a text or a list of texts: TAB-separated with
// \\, \t, \r and \n escaped (no header); RFC 4180 with a header; or a JSON
// array with one object per row. A TSV report may have its header too,
// written just before the first row, so that a report without rows stays
// empty.
class ReportWriter {
  public:
    enum class TsvHeader { None, BeforeFirstRow };
    ReportWriter(Format format, QStringList columns, TsvHeader tsvHeader = TsvHeader::None);
    void write(const QList<QJsonValue>& values);  // one per column, in column order
    void finish();

  private:
    Format format_;
    QStringList columns_;
    TsvHeader tsvHeader_;
    qint64 rows_ = 0;
};

}  // namespace quorvel::cli
