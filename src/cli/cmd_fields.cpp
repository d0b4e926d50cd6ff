#include "cli/cli.h"
#include "records/record_file.h"
#include "records/record_line.h"

namespace quorvel::cli {

namespace {

int runFields(const QStringList& args);

}  // namespace

extern const Command kFieldsCommand = {
    "fields",
    "FILE...",
    "print the eight fields of every record, one record per line",
    "Reads each record file and prints each of its records as one line: the\n"
    "fields U (partner page), I (ICQ), E (e-mail), D (deadline), 4 (your page),\n"
    "5 (maximum of outgoing links), 6 (your link) and 7 (notes), in that order,\n"
    "separated by TAB, in UTF-8, each line ended by LF. Inside a field a\n"
    "backslash, TAB, CR and LF are written as \\\\, \\t, \\r and \\n.\n"
    "\n"
    "A file that cannot be read is named on standard error, the other files are\n"
    "still printed, and the exit status is 2.\n",
    runFields,
};

namespace {

int runFields(const QStringList& args) {
    QCommandLineParser parser;
    if (!parseCommandLine(kFieldsCommand, args, {}, parser)) {
        return kExitUsage;
    }
    const QStringList files = parser.positionalArguments();
    if (files.isEmpty()) {
        return usageError(kFieldsCommand, QStringLiteral("no FILE given"));
    }
    int status = kExitOk;
    for (const QString& file : files) {
        const RecordFileContent content = readRecordInput(file);
        if (!wasRead(content.outcome)) {
            reportError(kFieldsCommand, cannotRead(file, content));
            status = kExitUsage;
            continue;
        }
        reportLosses(kFieldsCommand, file, content);
        OutputBuffer out;
        for (QStringView record : content.records) {
            const std::array<QStringView, 8> fields = ExtractAllFields(record);
            for (size_t k = 0; k < fields.size(); ++k) {
                if (k > 0) {
                    out += u'\t';
                }
                out.appendEscaped(fields[k]);
            }
            out += u'\n';
        }
    }
    return status;
}

}  // namespace

}  // namespace quorvel::cli
