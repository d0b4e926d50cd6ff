#include "cli/table_options.h"

#include <QFile>

#include "cli/cli.h"

namespace quorvel::cli {

QList<QCommandLineOption> tableReadOptions() {
    return {valuedOption(QStringLiteral("encoding")), valuedOption(QStringLiteral("delimiter"))};
}

std::optional<TableReadOptions> tableReadSettings(const Command& command,
                                                  const QCommandLineParser& parser) {
    TableReadOptions options;
    if (parser.isSet(QStringLiteral("encoding"))) {
        const QString name = firstValue(parser, QStringLiteral("encoding"));
        options.encoding = encodingFromName(name);
        if (!options.encoding) {
            usageError(command, u"unknown encoding '" % name %
                                    u"': use UTF-8, UTF-16LE, UTF-16BE, Windows-1251, "
                                    u"Windows-1252, KOI8-R or CP866");
            return std::nullopt;
        }
    }
    if (parser.isSet(QStringLiteral("delimiter"))) {
        const QString name = firstValue(parser, QStringLiteral("delimiter"));
        if (name.compare(u"TAB", Qt::CaseInsensitive) == 0 || name == u"\t") {
            options.delimiter = u'\t';
        } else if (name == u";" || name == u",") {
            options.delimiter = name.at(0);
        } else {
            usageError(command, u"bad --delimiter '" % name % u"': use TAB, ; or ,");
            return std::nullopt;
        }
    }
    return options;
}

std::optional<TableSource> tableSource(const Command& command, const QString& name) {
    if (name != u"-") {
        return TableSource::file(name);
    }
    QFile in;
    QByteArray bytes;
    if (!in.open(stdin, QIODevice::ReadOnly)) {
        reportError(command, u"cannot read standard input: " % in.errorString());
        return std::nullopt;
    }
    switch (readAllLimited(in, TableLimits{}.maxBytes, &bytes)) {
        case ReadEnd::Done:
            return TableSource::memory(std::move(bytes));
        case ReadEnd::TooLarge:
            reportError(command, tableProblemText(name, TableError{TableProblem::TooLarge, 0, {}}));
            return std::nullopt;
        case ReadEnd::Failed:
        case ReadEnd::Refused:
            break;
    }
    reportError(command, u"cannot read standard input: " % in.errorString());
    return std::nullopt;
}

QString tableProblemText(const QString& name, const TableError& error) {
    const TableLimits limits;
    QString why;
    switch (error.problem) {
        case TableProblem::Unreadable:
            why = error.detail;
            break;
        case TableProblem::NotRegularFile:
            why = QStringLiteral("not a regular file");
            break;
        case TableProblem::TooLarge:
            why = QStringLiteral("larger than %1 bytes").arg(limits.maxBytes);
            break;
        case TableProblem::TooManyLines:
            why = QStringLiteral("more than %1 lines").arg(limits.maxLines);
            break;
        case TableProblem::Binary:
            why = QStringLiteral("not a table: it holds NUL bytes");
            break;
        case TableProblem::UnterminatedQuote:
            why = QStringLiteral("line %1: unterminated quote").arg(error.line);
            break;
        case TableProblem::TooManyColumns:
            why = QStringLiteral("line %1: more than %2 columns")
                      .arg(error.line)
                      .arg(limits.maxColumns);
            break;
        case TableProblem::TooManyCells:
            why = QStringLiteral("row %1: more than %2 cells in the sheet")
                      .arg(error.line)
                      .arg(limits.maxCells);
            break;
        case TableProblem::NoSheet:
            why = QStringLiteral("an XLSX workbook without a sheet");
            break;
        case TableProblem::BadWorkbook:
            why = u"a damaged XLSX workbook: " % error.detail;
            break;
    }
    QString text = u"cannot read '" % name % u'\'';
    if (!why.isEmpty()) {
        text += u": " % why;
    }
    return text;
}

}  // namespace quorvel::cli
