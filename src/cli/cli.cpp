#include "cli/cli.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>

#include "records/record_file.h"

#ifdef Q_OS_WIN
#include "cli/windows_console.h"
#endif

namespace quorvel::cli {

extern const Command kFieldsCommand;
extern const Command kScanCommand;
extern const Command kLinksCommand;
extern const Command kFetchCommand;
extern const Command kCheckCommand;
extern const Command kHistoryCommand;
extern const Command kImportCommand;
extern const Command kExportCommand;
extern const Command kNotifyCommand;
extern const Command kScheduleCommand;

std::span<const Command> commands() {
    static const Command list[] = {kCheckCommand,  kHistoryCommand,  kImportCommand, kExportCommand,
                                   kNotifyCommand, kScheduleCommand, kFetchCommand,  kScanCommand,
                                   kLinksCommand,  kFieldsCommand};
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
    return readAllLimited(file, limit, out) == ReadEnd::Done;
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

void reportLosses(const Command& command, const QString& name, const RecordFileContent& content) {
    if (content.outcome == ReadOutcome::ReadLossily) {
        reportError(command, u'\'' % name % u"': " % content.problem);
    }
}

bool parseCommandLine(const Command& command, const QStringList& args,
                      const QList<QCommandLineOption>& options, QCommandLineParser& parser) {
    const QStringList program{QStringLiteral("quorvel-cli")};
    parser.addOptions(options);
    if (parser.parse(program + args)) {
        return true;
    }
    // Qt's messages name an option without its dashes or value; ours quote the argument as
    // given. How an argument reads depends only on those before it, so the shortest prefix
    // that holds an unknown option ends with that option.
    for (qsizetype end = 1; end <= args.size(); ++end) {
        QCommandLineParser prefix;
        prefix.addOptions(options);
        if (prefix.parse(program + args.first(end))) {
            continue;
        }
        const QString& arg = args.at(end - 1);
        if (!prefix.unknownOptionNames().isEmpty()) {
            usageError(command, u"unknown option '" % arg % u'\'');
            return false;
        }
        if (arg.contains(u'=')) {
            usageError(command, u"option '" % arg.section(u'=', 0, 0) % u"' takes no value");
            return false;
        }
    }
    // The only other failure: the last argument is an option that lacks its value.
    usageError(command, u"option '" % args.last() % u"' needs a value");
    return false;
}

QCommandLineOption valuedOption(const QString& name) {
    return QCommandLineOption(name, QString(), QStringLiteral("VALUE"));
}

QCommandLineOption flagOption(const QString& name) {
    return QCommandLineOption(name, QString());
}

QString firstValue(const QCommandLineParser& parser, const QString& name) {
    return parser.values(name).value(0);
}

std::optional<int> wholeNumberOption(const Command& command, const QCommandLineParser& parser,
                                     const QString& name, int fallback, QStringView what,
                                     const std::function<bool(int)>& fits) {
    if (!parser.isSet(name)) {
        return fallback;
    }
    const QString text = firstValue(parser, name);
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || !fits(value)) {
        usageError(command, u"--" % name % u" takes " % what % u", not '" % text % u'\'');
        return std::nullopt;
    }
    return value;
}

std::optional<int> wholeNumberOption(const Command& command, const QCommandLineParser& parser,
                                     const QString& name, int fallback, int low, int high) {
    return wholeNumberOption(
        command, parser, name, fallback,
        QString(u"a whole number from " % QString::number(low) % u" to " % QString::number(high)),
        [low, high](int value) { return value >= low && value <= high; });
}

QList<QCommandLineOption> connectionOptions() {
    return {valuedOption(QStringLiteral("resolve")), valuedOption(QStringLiteral("cacert"))};
}

QList<QCommandLineOption> downloadOptions() {
    return connectionOptions() << valuedOption(QStringLiteral("user-agent"))
                               << flagOption(QStringLiteral("browser"));
}

std::optional<FetchSettings> connectionSettings(const Command& command,
                                                const QCommandLineParser& parser) {
    FetchSettings settings;
    // In the order given: for one host and port, the last mapping counts.
    const QStringList mappings = parser.values(QStringLiteral("resolve"));
    for (const QString& entry : mappings) {
        if (!parseHostMapping(entry)) {
            usageError(command,
                       u"bad --resolve '" % entry % u"': expected HOST:PORT:ADDRESS[,ADDRESS]...");
            return std::nullopt;
        }
    }
    settings.resolve = mappings;
    settings.caFile = firstValue(parser, QStringLiteral("cacert"));
    if (parser.isSet(QStringLiteral("cacert"))) {
        // Otherwise every https page would fail as if its certificate were bad.
        const QFileInfo file(settings.caFile);
        if (!file.isFile() || !file.isReadable()) {
            usageError(command, u"cannot read --cacert '" % settings.caFile % u'\'');
            return std::nullopt;
        }
    }
    return settings;
}

std::optional<FetchSettings> downloadSettings(const Command& command,
                                              const QCommandLineParser& parser) {
    std::optional<FetchSettings> found = connectionSettings(command, parser);
    if (!found) {
        return std::nullopt;
    }
    FetchSettings& settings = *found;
    if (parser.isSet(QStringLiteral("user-agent"))) {
        const QString agent = firstValue(parser, QStringLiteral("user-agent"));
        if (agent.isEmpty() || agent.contains(u'\r') || agent.contains(u'\n')) {
            usageError(command, QStringLiteral("--user-agent takes one line of text"));
            return std::nullopt;
        }
        settings.userAgent = agent.toUtf8();
    }
    settings.browserHeaders = parser.isSet(QStringLiteral("browser"));
    return settings;
}

namespace {

void appendEscaped(QString& out, QChar ch) {
    switch (ch.unicode()) {
        case u'\\':
            out += u"\\\\";
            break;
        case u'\t':
            out += u"\\t";
            break;
        case u'\r':
            out += u"\\r";
            break;
        case u'\n':
            out += u"\\n";
            break;
        default:
            out += ch;
    }
}

}  // namespace

QString escapeField(QStringView text) {
    QString out;
    out.reserve(text.size());
    for (QChar ch : text) {
        appendEscaped(out, ch);
    }
    return out;
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
        cli::appendEscaped(text_, ch);
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
    const Utf8Console console;
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
