#include "cli/cli.h"
#include "cli/history_options.h"
#include "records/record_file.h"
#include "tables/table_export.h"

namespace quorvel::cli {

namespace {

int runExport(const QStringList& args);

}  // namespace

extern const Command kExportCommand = {
    "export",
    "[--format xlsx|csv|csv-excel] [--history PATH | --no-history] FILE --output OUT",
    "write the partners of a record file with their check results to a table",
    "Writes every record of FILE, in list order, to OUT as the window's export\n"
    "does: the eight fields in the list's column order with the list's captions,\n"
    "then what the check history knows of the record: its state, since when, when\n"
    "the link was last found, the last check's reason, outgoing links and whether\n"
    "they were over the limit, the page's signals, your own page's link to the\n"
    "partner, and whether the partner was overdue (empty for a record never\n"
    "checked). The captions and the history's words are the window's (Russian).\n"
    "\n"
    "  --format xlsx       an XLSX workbook: a frozen header with a filter, the\n"
    "                      deadlines and times as dates, every value a text or a\n"
    "                      number, never a formula (the default for an OUT ending\n"
    "                      in .xlsx)\n"
    "  --format csv-excel  CSV as a Russian-locale spreadsheet opens it with a\n"
    "                      double click: UTF-8 with a byte order mark, ';', CR LF\n"
    "  --format csv        RFC 4180: UTF-8, ',', CR LF (the default otherwise)\n"
    "  --history PATH      the history to read (default: quorvel-history.sqlite\n"
    "                      beside FILE)\n"
    "  --no-history        leave the check results empty\n"
    "  --output OUT        the table to write; it is replaced in one step\n"
    "\n"
    "In CSV a value that begins with =, +, -, @, TAB or CR is written with a\n"
    "leading ' so that no spreadsheet runs it as a formula; import takes it off.\n"
    "A history that cannot be read is named on standard error and its columns\n"
    "stay empty. FILE named - is standard input.\n"
    "\n"
    "Exit status: 0, or 2 on a usage error, a FILE that cannot be read or an OUT\n"
    "that cannot be written.\n",
    runExport,
};

namespace {

int runExport(const QStringList& args) {
    const Command& command = kExportCommand;
    QCommandLineParser parser;
    QList<QCommandLineOption> options = historyOptions(true);
    options << valuedOption(QStringLiteral("format")) << valuedOption(QStringLiteral("output"));
    if (!parseCommandLine(command, args, options, parser)) {
        return kExitUsage;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) {
        return usageError(command, QStringLiteral("give exactly one FILE"));
    }
    if (!parser.isSet(QStringLiteral("output"))) {
        return usageError(command, QStringLiteral("no --output OUT given"));
    }
    if (parser.isSet(QStringLiteral("history")) && parser.isSet(QStringLiteral("no-history"))) {
        return usageError(command, QStringLiteral("give --history or --no-history, not both"));
    }
    const QString out = firstValue(parser, QStringLiteral("output"));
    ExportOptions settings;
    const QString format =
        parser.isSet(QStringLiteral("format"))
            ? firstValue(parser, QStringLiteral("format"))
            : (out.endsWith(u".xlsx", Qt::CaseInsensitive) ? QStringLiteral("xlsx")
                                                           : QStringLiteral("csv"));
    if (format == u"xlsx") {
        settings.format = ExportFormat::Xlsx;
    } else if (format == u"csv-excel") {
        settings.format = ExportFormat::CsvExcel;
    } else if (format == u"csv") {
        settings.format = ExportFormat::Csv;
    } else {
        return usageError(command, u"unknown format '" % format % u"': use xlsx, csv or csv-excel");
    }
    const QString& file = files.first();
    settings.historyPath = historyPathFor(parser, file);

    const RecordFileContent content = readRecordInput(file);
    if (!wasRead(content.outcome)) {
        reportError(command, cannotRead(file, content));
        return kExitUsage;
    }
    const ExportOutcome outcome = exportRecords(out, content.records, settings);
    if (!outcome.historyProblem.isEmpty()) {
        reportError(command, outcome.historyProblem + u"; the check results stay empty");
    }
    switch (outcome.problem) {
        case ExportOutcome::Problem::None:
            return kExitOk;
        case ExportOutcome::Problem::TooManyRows:
            reportError(command, QStringLiteral("more records than an XLSX sheet holds (1048575)"));
            break;
        case ExportOutcome::Problem::CellTooLong:
            reportError(command, QStringLiteral("row %1: a value longer than an XLSX cell holds "
                                                "(32767 characters)")
                                     .arg(outcome.row));
            break;
        case ExportOutcome::Problem::Stopped:
        case ExportOutcome::Problem::WriteFailed:
            reportError(command, u"cannot write '" % out % u"': " % outcome.detail);
            break;
    }
    return kExitUsage;
}

}  // namespace

}  // namespace quorvel::cli
