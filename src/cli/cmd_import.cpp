#include <QFileInfo>

#include <algorithm>
#include <memory>

#include "cli/cli.h"
#include "cli/table_options.h"
#include "records/file_io.h"
#include "records/record_file.h"
#include "records/record_line.h"
#include "tables/table_import.h"

namespace quorvel::cli {

namespace {

int runImport(const QStringList& args);

}  // namespace

extern const Command kImportCommand = {
    "import",
    "[--encoding E] [--delimiter TAB|;|,] [--no-header] [--map COLUMN=FIELD]... [--update] "
    "(--append-to FILE | --output FILE [--force]) TABLE...",
    "turn tables of partners (CSV, TSV, XLSX) into records of a record file",
    "Reads each TABLE (CSV or TSV in any of the encodings below, or the first\n"
    "sheet of an XLSX workbook) and makes one record of each row, as the window's\n"
    "import does. A row is skipped when it has no partner page, when it holds a\n"
    "record field's tag, or when a record with the same partner page and link (the\n"
    "history's identity) is there already or came earlier.\n"
    "\n"
    "  --encoding E        the encoding of text tables: UTF-8, UTF-16LE, UTF-16BE,\n"
    "                      Windows-1251, Windows-1252, KOI8-R or CP866 (default: a\n"
    "                      byte order mark, else UTF-8 when the bytes are valid\n"
    "                      UTF-8, else Windows-1251)\n"
    "  --delimiter D       TAB, ; or , (default: a first line sep=X, else the one\n"
    "                      that splits the first 50 lines most consistently)\n"
    "  --no-header         the first row is a partner, not the columns' names\n"
    "                      (default: a header when a cell of the first row names a\n"
    "                      field, or when --map names a column by its header)\n"
    "  --map COLUMN=FIELD  put COLUMN (its header text, or its number from 1) into\n"
    "                      FIELD: U (partner page), I (ICQ), E (e-mail), D (deadline),\n"
    "                      4 (your page), 5 (maximum of outgoing links), 6 (your\n"
    "                      link) or 7 (notes); several columns in 7 are joined with\n"
    "                      \" | \". With --map only the columns given are read;\n"
    "                      without it, known header names map the columns, and a\n"
    "                      table without a header gives its first column of web\n"
    "                      addresses to U and the second to 6\n"
    "  --update            a row whose record is there already puts its non-empty\n"
    "                      values into that record instead of being skipped\n"
    "  --append-to FILE    add the records to the record file FILE (made when it\n"
    "                      does not exist)\n"
    "  --output FILE       write the records to a new record file FILE\n"
    "  --force             replace FILE of --output when it exists\n"
    "\n"
    "Deadlines are read as dd.MM.yyyy, yyyy-MM-dd (also with a time), M/d/yyyy\n"
    "(d/M/yyyy when a date of the column has a first part over 12), a day number\n"
    "of an XLSX cell, \"Sep 15, 2026\", or the locale's short date format, and are\n"
    "written in that short format; a date that cannot be read leaves the deadline\n"
    "empty. Values are trimmed, and a line break inside one becomes a space.\n"
    "\n"
    "The record file is written as the window writes data.qvp (Windows-1251, or\n"
    "UTF-8 with a byte order mark when needed), replacing FILE atomically. The\n"
    "counts go to standard error. A TABLE named - is standard input.\n"
    "\n"
    "Exit status: 0, or 2 on a usage error or a table or file that cannot be read\n"
    "or written; then nothing is written at all, while the other tables are still\n"
    "read so that every problem is told.\n",
    runImport,
};

namespace {

struct ColumnChoice {
    QString column;  // header text, or a number from 1
    ImportField field = ImportField::None;
};

std::optional<ColumnChoice> parseMap(const QString& text) {
    const qsizetype eq = text.lastIndexOf(u'=');
    if (eq <= 0 || eq + 2 != text.size()) {
        return std::nullopt;
    }
    const QChar code = text.at(eq + 1).toUpper();
    for (int k = 0; k < kImportFieldCount; ++k) {
        if (code == QChar(kFieldCodes[k])) {
            return ColumnChoice{text.first(eq), ImportField(k)};
        }
    }
    return std::nullopt;
}

// The mapping the --map options make for a table with these header cells;
// nothing when a column named is not there (`missing` says which).
std::optional<ColumnMapping> chosenMapping(const QList<ColumnChoice>& choices,
                                           const QStringList& header, QString* missing) {
    ColumnMapping mapping(header.size(), ImportField::None);
    for (const ColumnChoice& choice : choices) {
        bool isNumber = false;
        qsizetype column = choice.column.toLongLong(&isNumber) - 1;
        if (!isNumber || column < 0) {
            column = header.indexOf(choice.column);
            if (column < 0) {
                // A header in another letter case, or with spaces around it.
                for (qsizetype i = 0; i < header.size() && column < 0; ++i) {
                    if (header.at(i).trimmed().compare(choice.column.trimmed(),
                                                       Qt::CaseInsensitive) == 0) {
                        column = i;
                    }
                }
            }
            if (column < 0) {
                *missing = choice.column;
                return std::nullopt;
            }
        }
        if (column >= mapping.size()) {
            mapping.resize(column + 1, ImportField::None);
        }
        mapping[column] = choice.field;
    }
    return withoutRepeats(mapping);
}

int runImport(const QStringList& args) {
    const Command& command = kImportCommand;
    QCommandLineParser parser;
    QList<QCommandLineOption> options = tableReadOptions();
    options << flagOption(QStringLiteral("no-header")) << valuedOption(QStringLiteral("map"))
            << flagOption(QStringLiteral("update")) << valuedOption(QStringLiteral("append-to"))
            << valuedOption(QStringLiteral("output")) << flagOption(QStringLiteral("force"));
    if (!parseCommandLine(command, args, options, parser)) {
        return kExitUsage;
    }
    const std::optional<TableReadOptions> read = tableReadSettings(command, parser);
    if (!read) {
        return kExitUsage;
    }
    QList<ColumnChoice> choices;
    for (const QString& text : parser.values(QStringLiteral("map"))) {
        const std::optional<ColumnChoice> choice = parseMap(text);
        if (!choice) {
            return usageError(command, u"bad --map '" % text %
                                           u"': expected COLUMN=FIELD, FIELD one of "
                                           u"U I E D 4 5 6 7");
        }
        choices += *choice;
    }
    const bool append = parser.isSet(QStringLiteral("append-to"));
    const bool output = parser.isSet(QStringLiteral("output"));
    if (append == output) {
        return usageError(command, QStringLiteral("give either --append-to FILE or --output FILE"));
    }
    const QString target =
        firstValue(parser, append ? QStringLiteral("append-to") : QStringLiteral("output"));
    if (output && !parser.isSet(QStringLiteral("force")) &&
        (QFileInfo::exists(target) || QFileInfo(target).isSymLink())) {
        return usageError(command, u"'" % target % u"' exists: give --force to replace it");
    }
    const QStringList tables = parser.positionalArguments();
    if (tables.isEmpty()) {
        return usageError(command, QStringLiteral("no TABLE given"));
    }

    RecordStore records;
    if (append) {
        RecordFileContent content = readRecordFile(target);
        if (content.outcome == ReadOutcome::Unreadable) {
            reportError(command, cannotRead(target, content));
            return kExitUsage;
        }
        if (content.outcome == ReadOutcome::ReadLossily) {
            // Writing it back would lose what could not be read.
            reportError(command, u"'" % target %
                                     u"' holds damaged bytes; it is left as it is, nothing "
                                     u"was imported");
            return kExitUsage;
        }
        records = std::move(content.records);
    }

    auto import = std::make_unique<RecordImport>(records, parser.isSet(QStringLiteral("update")));
    bool failed = false;
    for (const QString& name : tables) {
        std::optional<TableSource> source = tableSource(command, name);
        if (!source) {
            failed = true;
            continue;
        }
        TableReader reader(std::move(*source), *read);
        if (!reader.open()) {
            reportError(command, tableProblemText(name, *reader.error()));
            failed = true;
            continue;
        }
        TablePlan plan;
        if (parser.isSet(QStringLiteral("no-header"))) {
            plan.header = false;
        } else if (std::any_of(choices.begin(), choices.end(), [](const ColumnChoice& choice) {
                       bool isNumber = false;
                       choice.column.toLongLong(&isNumber);
                       return !isNumber;
                   })) {
            plan.header = true;  // a column named by its header has one
        }
        TablePreview preview;
        if (const std::optional<TableError> problem = previewTable(reader, plan, 0, &preview)) {
            reportError(command, tableProblemText(name, *problem));
            failed = true;
            continue;
        }
        ColumnMapping mapping = preview.mapping;
        if (!choices.isEmpty()) {
            QString missing;
            const std::optional<ColumnMapping> chosen =
                chosenMapping(choices, preview.headerCells, &missing);
            if (!chosen) {
                reportError(command, u"'" % name % u"': no column '" % missing % u'\'');
                failed = true;
                continue;
            }
            mapping = *chosen;
        }
        if (const std::optional<TableError> problem =
                importTable(reader, preview.header, mapping, *import)) {
            reportError(command, tableProblemText(name, *problem));
            failed = true;
        }
    }
    if (failed) {
        reportError(command, u"nothing written to '" % target % u'\'');
        return kExitUsage;
    }

    // The list is written as it is made, a record at a time: the new records
    // wait without their tags and never all become lines at once.
    import->dropIndex();
    if (const Outcome<> written = writeRecordFile(target, import->result()); !written) {
        reportError(command, u"'" % target % u"': cannot write: " % written.error);
        return kExitUsage;
    }
    const ImportCounts& n = import->counts();
    writeErr(QStringLiteral("added: %1, updated: %2, skipped: duplicates %3, without address %4, "
                            "with record tags %5; unreadable dates: %6")
                 .arg(n.added)
                 .arg(n.updated)
                 .arg(n.duplicates)
                 .arg(n.noAddress)
                 .arg(n.withTags)
                 .arg(n.badDates));
    return kExitOk;
}

}  // namespace

}  // namespace quorvel::cli
