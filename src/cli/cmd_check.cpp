#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <optional>

#ifdef Q_OS_WIN
#include <io.h>
#define QUORVEL_ISATTY _isatty
#define QUORVEL_FILENO _fileno
#else
#include <unistd.h>
#define QUORVEL_ISATTY isatty
#define QUORVEL_FILENO fileno
#endif

#include "checking/check_loop.h"
#include "cli/cli.h"
#include "records/record_file.h"
#include "records/record_line.h"

namespace quorvel::cli {

extern const Command kCheckCommand;

namespace {

constexpr int kMaxWorkers = 256;
constexpr int kDefaultPerHost = 2;
constexpr int kMaxPerHost = 16;

int runCheck(const QStringList& args);

std::atomic<int> interrupts{0};

extern "C" void onInterrupt(int) {
    interrupts.fetch_add(1, std::memory_order_relaxed);
    std::signal(SIGINT, onInterrupt);
}

const char* statusName(CheckStatus status) {
    switch (status) {
        case CheckStatus::Found:
            return "Found";
        case CheckStatus::Hidden:
            return "Hidden";
        case CheckStatus::Missing:
            return "Missing";
        case CheckStatus::FetchFailed:
            return "FetchFailed";
        case CheckStatus::None:
            break;
    }
    return "none";
}

// What a command-line run keeps of each record: a few bytes, for any number
// of records (the window's tables stop at 100000).
struct CompactResult {
    int32_t count = 0;
    CheckStatus status = CheckStatus::None;
    bool overLimit = false;
};

// The loop host of a command-line run: it keeps every record's result and
// counts the records checked.
class ResultsHost : public CheckLoopHost {
  public:
    explicit ResultsHost(QStringList records)
        : CheckLoopHost(std::move(records)), results(size_t(recordCount())) {}
    void recordChecked(const RecordCheck& check) override {
        if (check.index >= 0 && size_t(check.index) < results.size()) {
            results[size_t(check.index)] = {check.outcome.count, check.outcome.status,
                                            check.outcome.overLimit};
        }
        ++done;
    }
    std::vector<CompactResult> results;  // owning thread only
    int done = 0;
};

// A whole number from `low` to `high` for an option; nothing after a usage error.
std::optional<int> numberOption(const QCommandLineParser& parser, const QString& name, int fallback,
                                int low, int high) {
    if (!parser.isSet(name)) {
        return fallback;
    }
    const QString text = firstValue(parser, name);
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high) {
        usageError(kCheckCommand, u"--" % name % u" takes a whole number from " %
                                      QString::number(low) % u" to " % QString::number(high) %
                                      u", not '" % text % u'\'');
        return std::nullopt;
    }
    return value;
}

QString csvField(const QString& text) {
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\r') &&
        !text.contains(u'\n')) {
        return text;
    }
    QString quoted = text;
    quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

enum class Format { Tsv, Csv, Json };

std::optional<Format> formatNamed(const QString& name) {
    if (name == u"tsv") {
        return Format::Tsv;
    }
    if (name == u"csv") {
        return Format::Csv;
    }
    if (name == u"json") {
        return Format::Json;
    }
    return std::nullopt;
}

struct ReportRow {
    int index = 0;
    CheckStatus status = CheckStatus::None;
    int count = 0;
    bool overLimit = false;
    QString partnerUrl;
};

// Writes the report a row at a time, in list order, through the buffer of standard output, so
// that the report of a long list never sits in memory whole.
class ReportWriter {
  public:
    explicit ReportWriter(Format format) : format_(format) {
        if (format_ == Format::Csv) {
            writeOut("index,status,count,over_limit,partner_url\r\n");
        } else if (format_ == Format::Json) {
            writeOut("[");
        }
    }

    void write(const ReportRow& row) {
        const QString index = QString::number(row.index);
        const QLatin1StringView status(statusName(row.status));
        const QString count = QString::number(row.count);
        const char16_t over = row.overLimit ? u'1' : u'0';
        switch (format_) {
            case Format::Tsv:
                writeOut((index % u'\t' % status % u'\t' % count % u'\t' % over % u'\t' %
                          escapeField(row.partnerUrl) % u'\n')
                             .toUtf8());
                break;
            case Format::Csv:
                writeOut((index % u',' % status % u',' % count % u',' % over % u',' %
                          csvField(row.partnerUrl) % u"\r\n")
                             .toUtf8());
                break;
            case Format::Json: {
                const QJsonObject object{
                    {QStringLiteral("index"), row.index},
                    {QStringLiteral("status"), status},
                    {QStringLiteral("count"), row.count},
                    {QStringLiteral("over_limit"), row.overLimit ? 1 : 0},
                    {QStringLiteral("partner_url"), row.partnerUrl},
                };
                writeOut(rows_ > 0 ? ",\n " : "\n ");
                writeOut(QJsonDocument(object).toJson(QJsonDocument::Compact));
                break;
            }
        }
        ++rows_;
    }

    void finish() {
        if (format_ == Format::Json) {
            writeOut(rows_ > 0 ? "\n]\n" : "]\n");
        }
    }

  private:
    Format format_;
    int rows_ = 0;
};

}  // namespace

extern const Command kCheckCommand = {
    "check",
    "[--format tsv|csv|json] [--workers N] [--per-host N] [--resolve HOST:PORT:ADDRESS]...\n"
    "                         [--cacert FILE] FILE",
    "check every partner of a record file, ten pages at a time",
    "Reads FILE (data.qvp or a project file) and checks every record as the\n"
    "window's check button does: ten pages are downloaded at a time (--workers\n"
    "changes that), each is searched for your link (field 6) and its outgoing\n"
    "links are counted. When the run has ended, one row per record is printed\n"
    "in list order:\n"
    "\n"
    "  index        position in the file, from 0\n"
    "  status       Found (your link is there and indexable), Hidden (there, but\n"
    "               nofollow or inside noindex), Missing (not there, or no link to\n"
    "               look for), FetchFailed (the page could not be loaded), none\n"
    "               (not checked: the run was stopped)\n"
    "  count        outgoing links on the partner page\n"
    "  over_limit   1 when that is more than the record's maximum (field 5)\n"
    "  partner_url  the partner page (field U)\n"
    "\n"
    "  --format tsv   (default) TAB-separated, no header; in the URL a backslash,\n"
    "                 TAB, CR and LF are written \\\\, \\t, \\r, \\n\n"
    "  --format csv   RFC 4180 with the header index,status,count,over_limit,partner_url\n"
    "  --format json  an array of objects with those keys\n"
    "  --workers N    download N pages at a time, 1 to 256 (default 10)\n"
    "  --per-host N   but at most N at a time from one host, 1 to 16 (default 2);\n"
    "                 the other workers go on with records of other hosts\n"
    "                 Many parallel requests can overload a small site or get\n"
    "                 your address blocked: raise these with care.\n"
    "  --resolve HOST:PORT:ADDRESS   connect to ADDRESS for HOST and PORT\n"
    "  --cacert FILE                 trust the CA certificates in FILE instead of\n"
    "                                the system's\n"
    "\n"
    "While it runs on a terminal, a progress line is shown on standard error.\n"
    "The first Ctrl+C stops the run as a second press of the check button does\n"
    "(pages under way are finished), prints what it has and exits with 130; a\n"
    "second Ctrl+C also cuts off the downloads under way; their records get no\n"
    "result (status none).\n"
    "\n"
    "Exit status: 0 when every record is Found, 1 when any is not, 2 on a usage\n"
    "error or a file that cannot be read, 130 when interrupted.\n"
    "\n"
    "Example for cron, mailing the partners that need a look:\n"
    "  quorvel-cli check ~/links/data.qvp | grep -v '\tFound\t' | mail -E -s links me\n",
    runCheck,
};

namespace {

int runCheck(const QStringList& args) {
    QCommandLineParser parser;
    const QString formatOption = QStringLiteral("format");
    const QString workersOption = QStringLiteral("workers");
    const QString perHostOption = QStringLiteral("per-host");
    if (!parseCommandLine(kCheckCommand, args,
                          downloadOptions()
                              << valuedOption(formatOption) << valuedOption(workersOption)
                              << valuedOption(perHostOption),
                          parser)) {
        return kExitUsage;
    }
    const std::optional<int> workers =
        numberOption(parser, workersOption, kCheckWorkers, 1, kMaxWorkers);
    if (!workers) {
        return kExitUsage;
    }
    const std::optional<int> perHost =
        numberOption(parser, perHostOption, kDefaultPerHost, 1, kMaxPerHost);
    if (!perHost) {
        return kExitUsage;
    }
    const QString formatName =
        parser.isSet(formatOption) ? firstValue(parser, formatOption) : QStringLiteral("tsv");
    const std::optional<Format> format = formatNamed(formatName);
    if (!format) {
        return usageError(kCheckCommand, u"unknown format '" % formatName % u'\'');
    }
    const std::optional<FetchSettings> settings = downloadSettings(kCheckCommand, parser);
    if (!settings) {
        return kExitUsage;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) {
        return usageError(kCheckCommand, QStringLiteral("give exactly one FILE"));
    }
    const QString& file = files.first();
    QByteArray bytes;
    if (!readInput(file, kMaxRecordFileBytes, &bytes)) {
        reportError(kCheckCommand, u"cannot read '" % file % u'\'');
        return kExitUsage;
    }

    ResultsHost host(parseRecordFile(bytes).records);
    bytes.clear();
    bytes.squeeze();
    CheckRun run(host, *settings, CheckRunOptions{*workers, *perHost});
    std::signal(SIGINT, onInterrupt);

    const bool showProgress = QUORVEL_ISATTY(QUORVEL_FILENO(stderr)) != 0;
    const int total = host.recordCount();
    QElapsedTimer elapsed;
    elapsed.start();
    int handled = 0;
    run.start();
    host.runUntilIdle(run, [&] {
        const int seen = interrupts.load(std::memory_order_relaxed);
        if (seen > handled) {
            handled = seen;
            if (run.state() == CheckRun::State::Running) {
                run.requestStop();  // pages under way finish
            } else {
                run.abortDownloads();  // a second Ctrl+C: cut them off too
            }
        }
        if (showProgress) {
            std::fprintf(stderr, "\r%d of %d done, %lld s ", host.done, total,
                         elapsed.elapsed() / 1000);
            std::fflush(stderr);
        }
    });
    std::signal(SIGINT, SIG_DFL);
    if (showProgress) {
        std::fprintf(stderr, "\n");
    }

    bool allFound = true;
    ReportWriter report(*format);
    for (int i = 0; i < total; ++i) {
        const CompactResult& result = host.results[size_t(i)];
        const ReportRow row{i, result.status, result.count, result.overLimit,
                            ExtractField(host.recordAt(i), QChar(u'U'))};
        allFound = allFound && row.status == CheckStatus::Found;
        report.write(row);
    }
    report.finish();
    if (handled > 0) {
        return 130;
    }
    return allFound ? kExitOk : kExitNegative;
}

}  // namespace

}  // namespace quorvel::cli
