#include "cli/cli.h"

#include <QFile>

#include <cstdio>

#include "records/record_file.h"

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#endif

namespace quorvel::cli {

extern const Command kFieldsCommand;
extern const Command kScanCommand;
extern const Command kLinksCommand;
extern const Command kFetchCommand;
extern const Command kCheckCommand;

std::span<const Command> commands() {
    static const Command list[] = {kCheckCommand, kFetchCommand, kScanCommand, kLinksCommand,
                                   kFieldsCommand};
    return list;
}

void writeOut(QByteArrayView bytes) {
    std::fwrite(bytes.data(), 1, size_t(bytes.size()), stdout);
}

void writeErr(const QString& text) {
    const QByteArray bytes = text.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

void reportError(const Command& command, const QString& message) {
    writeErr(u"quorvel-cli: " % QString::fromLatin1(command.name) % u": " % message);
}

int usageError(const Command& command, const QString& message) {
    reportError(command, message);
    writeErr(u"Try 'quorvel-cli " % QString::fromLatin1(command.name) % u" --help'.");
    return kExitUsage;
}

bool readInput(const QString& name, qint64 limit, QByteArray* out) {
    QFile file;
    if (name == u"-") {
        if (!file.open(stdin, QIODevice::ReadOnly)) {
            return false;
        }
    } else {
        file.setFileName(name);
        if (!file.open(QIODevice::ReadOnly)) {
            return false;
        }
    }
    return readAllLimited(file, limit, out);
}

RecordFileContent readRecordInput(const QString& name) {
    if (name != u"-") {
        return readRecordFile(name);
    }
    QFile file;
    if (!file.open(stdin, QIODevice::ReadOnly)) {
        return RecordFileContent{ReadOutcome::Unreadable, {}, file.errorString()};
    }
    return readRecordDevice(file);
}

QString cannotRead(const QString& name, const RecordFileContent& content) {
    QString text = u"cannot read '" % name % u'\'';
    if (!content.problem.isEmpty()) {
        text += u": " % content.problem;
    }
    return text;
}

std::optional<ParsedArgs> parseArgs(const Command& command, const QStringList& args,
                                    const QStringList& valued, const QStringList& flags) {
    ParsedArgs parsed;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == u"--") {
            parsed.positional += args.mid(i + 1);
            break;
        }
        if (!arg.startsWith(u'-') || arg == u"-") {
            parsed.positional += arg;
            continue;
        }
        const qsizetype eq = arg.indexOf(u'=');
        const QString name = eq < 0 ? arg : arg.left(eq);
        if (valued.contains(name)) {
            if (eq >= 0) {
                parsed.options[name] += arg.mid(eq + 1);
            } else if (i + 1 < args.size()) {
                parsed.options[name] += args.at(++i);
            } else {
                usageError(command, u"option '" % name % u"' needs a value");
                return std::nullopt;
            }
        } else if (flags.contains(name) && eq < 0) {
            parsed.options[name] += QString();
        } else {
            usageError(command, u"unknown option '" % arg % u'\'');
            return std::nullopt;
        }
    }
    return parsed;
}

OutputBuffer& OutputBuffer::operator+=(QStringView text) {
    while (!text.isEmpty()) {
        const QStringView part = text.first(qMin(text.size(), kFlushUnits));
        text_ += part;
        text = text.sliced(part.size());
        spill();
    }
    return *this;
}

void OutputBuffer::appendEscaped(QStringView text) {
    for (const QChar ch : text) {
        switch (ch.unicode()) {
            case u'\\':
                text_ += u"\\\\";
                break;
            case u'\t':
                text_ += u"\\t";
                break;
            case u'\r':
                text_ += u"\\r";
                break;
            case u'\n':
                text_ += u"\\n";
                break;
            default:
                text_ += ch;
        }
        spill();
    }
}

void OutputBuffer::write(bool all) {
    qsizetype n = text_.size();
    if (!all && n > 0 && text_.at(n - 1).isHighSurrogate()) {
        --n;  // its other half is still to come
    }
    writeOut(QStringView(text_).first(n).toUtf8());
    text_.remove(0, n);
}

namespace {

void printMainHelp() {
    QString text = QStringLiteral(
        "Usage: quorvel-cli COMMAND [OPTION]... [ARGUMENT]...\n"
        "Checks link exchange partners from the command line: reads the record files\n"
        "of the Quorvel window program (data.qvp and project files).\n"
        "\n"
        "Commands:\n");
    for (const Command& c : commands()) {
        text += u"  " % QString::fromLatin1(c.name).leftJustified(10) % u' ' %
                QString::fromLatin1(c.summary) % u'\n';
    }
    text += QStringLiteral(
        "\n"
        "Run 'quorvel-cli COMMAND --help' for the options of a command.\n"
        "A FILE named - is standard input.\n"
        "\n"
        "Exit status: 0 success, 1 a negative answer (see each command), 2 a usage\n"
        "error or a file that cannot be read.\n");
    writeOut(text.toUtf8());
}

void printCommandHelp(const Command& c) {
    writeOut((u"Usage: quorvel-cli " % QString::fromLatin1(c.name) % u' ' %
              QString::fromLatin1(c.synopsis) % u'\n' % QString::fromLatin1(c.summary) % u"\n\n" %
              QString::fromUtf8(c.help))
                 .toUtf8());
}

}  // namespace

int runCli(const QStringList& args) {
#ifdef Q_OS_WIN
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    if (args.isEmpty()) {
        printMainHelp();
        return kExitUsage;
    }
    const QString& name = args.first();
    if (name == u"--help" || name == u"-h" || name == u"help") {
        if (name == u"help" && args.size() > 1) {
            for (const Command& c : commands()) {
                if (args.at(1) == QLatin1StringView(c.name)) {
                    printCommandHelp(c);
                    return kExitOk;
                }
            }
        }
        printMainHelp();
        return kExitOk;
    }
    if (name == u"--version") {
        writeOut("quorvel-cli 1.00\n");
        return kExitOk;
    }
    for (const Command& c : commands()) {
        if (name == QLatin1StringView(c.name)) {
            const QStringList rest = args.mid(1);
            if (rest.contains(QStringLiteral("--help")) || rest.contains(QStringLiteral("-h"))) {
                printCommandHelp(c);
                return kExitOk;
            }
            const int status = c.run(rest);
            std::fflush(stdout);
            return status;
        }
    }
    writeErr(u"quorvel-cli: unknown command '" % name % u"'. Try 'quorvel-cli --help'.");
    return kExitUsage;
}

}  // namespace quorvel::cli
