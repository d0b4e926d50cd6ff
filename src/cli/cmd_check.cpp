#include <QElapsedTimer>
#include <QHash>
#include <QJsonArray>

#include <algorithm>
#include <atomic>
#include <chrono>
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
#include "checking/retry_pass.h"
#include "cli/cli.h"
#include "cli/history_options.h"
#include "cli/report.h"
#include "history/history_reader.h"
#include "history/run_recording.h"
#include "records/record_file.h"
#include "records/record_line.h"

namespace quorvel::cli {

extern const Command kCheckCommand;

namespace {

constexpr int kMaxWorkers = 256;
constexpr int kDefaultPerHost = 2;
constexpr int kMaxPerHost = 16;

int runCheck(const QStringList& args);

}  // namespace

extern const Command kCheckCommand = {
    "check",
    "[--format tsv|csv|json] [--changes] [--history PATH | --no-history]\n"
    "                         [--workers N] [--per-host N] [--resolve HOST:PORT:ADDRESS]...\n"
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
    "  reason       why: for FetchFailed what failed (dns, connect, timeout,\n"
    "               tls ..., http NNN, too-large, redirects, scheme; both\n"
    "               attempts' reasons, separated by \"; \"), for Hidden nofollow or\n"
    "               noindex, for Missing no-link when the record has no link\n"
    "  signals      what the partner page says to search engines beyond the\n"
    "               status: meta-noindex, meta-nofollow (a robots, googlebot or\n"
    "               yandex meta tag), header-noindex, header-nofollow (its\n"
    "               X-Robots-Tag header), rel-sponsored, rel-ugc (the rel of the\n"
    "               link that decided); separated by commas, a list in JSON\n"
    "  reciprocal   whether your page (field 4) links to the partner's site:\n"
    "               Found, Hidden, Missing, FetchFailed, or none without field 4\n"
    "  overdue      1 when the deadline (field D) has passed and the status is\n"
    "               neither Found nor Hidden\n"
    "\n"
    "  --format tsv   (default) TAB-separated, no header; in a text a backslash,\n"
    "                 TAB, CR and LF are written \\\\, \\t, \\r, \\n\n"
    "  --format csv   RFC 4180 with a header of the column names\n"
    "  --format json  an array of objects with those keys\n"
    "  --changes      print only the records whose confirmed state changed in\n"
    "                 this run (see below), with three more columns: change,\n"
    "                 previous (the state before) and since\n"
    "  --history PATH  keep the check history in PATH instead of\n"
    "                 quorvel-history.sqlite beside FILE (standard input has no\n"
    "                 history unless --history names one)\n"
    "  --no-history   keep no history\n"
    "  --workers N    download N pages at a time, 1 to 256 (default 10)\n"
    "  --per-host N   but at most N at a time from one host, 1 to 16 (default 2);\n"
    "                 the other workers go on with records of other hosts\n"
    "                 Many parallel requests can overload a small site or get\n"
    "                 your address blocked: raise these with care.\n"
    "  --browser      send the request headers of a desktop browser (Firefox ESR\n"
    "                 128 on Windows 10, Russian first) and accept compressed\n"
    "                 pages, for firewalls that turn away other clients\n"
    "  --user-agent TEXT  send TEXT as the User-Agent (also with --browser)\n"
    "  --resolve HOST:PORT:ADDRESS   connect to ADDRESS for HOST and PORT\n"
    "  --cacert FILE                 trust the CA certificates in FILE instead of\n"
    "                                the system's\n"
    "\n"
    "While it runs on a terminal, a progress line is shown on standard error.\n"
    "The first Ctrl+C stops the run as a second press of the check button does\n"
    "(a line on standard error says so): no record is taken after it, but each\n"
    "page under way is downloaded to the end, both attempts included (up to\n"
    "about two minutes with the time limits);\n"
    "then it prints what it has and exits with 130. A second Ctrl+C also cuts\n"
    "off the downloads under way; their records get no result (status none).\n"
    "\n"
    "A page that a bot wall answered (a challenge page, or the header\n"
    "cf-mitigated: challenge) failed with the reason \"blocked challenge\"; a rate\n"
    "limit, \"blocked http 429\". A record whose attempts all met a 429 or 503 that\n"
    "named its wait (Retry-After) is checked once more at the end of the run,\n"
    "after the longest of those waits (at most 120 s).\n"
    "\n"
    "Every check is kept in the history. A record's confirmed state is found or\n"
    "hidden after one such check, missing after two Missing checks in a row among\n"
    "those that loaded the page, down after three FetchFailed checks in a row.\n"
    "Its changes are lost (found or hidden -> missing), restored (missing ->\n"
    "found or hidden), hidden (found -> hidden), indexable (hidden -> found),\n"
    "down (-> down, also a first state that is down) and up (down -> any).\n"
    "A history that cannot be used is named on standard error; the run goes on.\n"
    "\n"
    "Exit status: 0 when every record is Found, 1 when any is not, 2 on a usage\n"
    "error or a file that cannot be read, 130 when interrupted.\n"
    "\n"
    "Example for cron, mailing what changed since yesterday:\n"
    "  quorvel-cli check --changes ~/links/data.qvp | mail -E -s links me\n",
    runCheck,
};

namespace {

// How long the end of a run may wait for the history to take its last checks
// (another program may hold the file for a while).
constexpr std::chrono::seconds kHistoryFinishBound(30);

std::atomic<int> interrupts{0};

extern "C" void onInterrupt(int) {
    interrupts.fetch_add(1, std::memory_order_relaxed);
    std::signal(SIGINT, onInterrupt);
}

// The longest wait for rate-limited pages; tests shorten it through the
// environment.
std::chrono::seconds retryWaitCap() {
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("QUORVEL_RETRY_WAIT_CAP", &ok);
    return std::chrono::seconds(ok && seconds >= 0 ? std::min(seconds, 120) : 120);
}

// What the command line asks of a check.
struct CheckOptions {
    CheckRunOptions run;
    Format format = Format::Tsv;
    FetchSettings settings;
    QString file;
    std::optional<QString> historyPath;  // none: --no-history, or standard input
    bool changes = false;
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

// The options, or nothing after a usage error (which has been reported).
std::optional<CheckOptions> checkOptions(const QStringList& args) {
    QCommandLineParser parser;
    const QString workersOption = QStringLiteral("workers");
    const QString perHostOption = QStringLiteral("per-host");
    const QString changesOption = QStringLiteral("changes");
    if (!parseCommandLine(kCheckCommand, args,
                          downloadOptions() + historyOptions(true)
                              << formatOption() << valuedOption(workersOption)
                              << valuedOption(perHostOption) << flagOption(changesOption),
                          parser)) {
        return std::nullopt;
    }
    CheckOptions options;
    const std::optional<int> workers =
        numberOption(parser, workersOption, kCheckWorkers, 1, kMaxWorkers);
    if (!workers) {
        return std::nullopt;
    }
    const std::optional<int> perHost =
        numberOption(parser, perHostOption, kDefaultPerHost, 1, kMaxPerHost);
    if (!perHost) {
        return std::nullopt;
    }
    options.run.workers = *workers;
    options.run.perHost = *perHost;
    const std::optional<Format> format = reportFormat(kCheckCommand, parser);
    if (!format) {
        return std::nullopt;
    }
    options.format = *format;
    std::optional<FetchSettings> settings = downloadSettings(kCheckCommand, parser);
    if (!settings) {
        return std::nullopt;
    }
    options.settings = std::move(*settings);
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) {
        usageError(kCheckCommand, QStringLiteral("give exactly one FILE"));
        return std::nullopt;
    }
    if (parser.isSet(QStringLiteral("history")) && parser.isSet(QStringLiteral("no-history"))) {
        usageError(kCheckCommand, QStringLiteral("give --history or --no-history"));
        return std::nullopt;
    }
    options.file = files.first();
    options.historyPath = historyPathFor(parser, options.file);
    options.changes = parser.isSet(changesOption);
    if (options.changes && !options.historyPath) {
        // Changes are told by the history: without one there would never be any.
        usageError(kCheckCommand, QStringLiteral("--changes needs a history (--history PATH)"));
        return std::nullopt;
    }
    return options;
}

// What a command-line run keeps of each record: a few bytes (and a reason
// where there is one), for any number of records; the window's tables stop
// at 100000.
struct CompactResult {
    int32_t count = 0;
    CheckStatus status = CheckStatus::None;
    bool overLimit = false;
    CheckStatus reciprocal = CheckStatus::None;
    PageSignals pageSignals = 0;
    QString reason;
};

// The loop host of a command-line run: it keeps every record's result,
// hands each check to the run's recording and counts the records checked.
// A record turned away by a rate limit that named its wait is noted for a
// second look at the end of the run; its history waits for that.
class ResultsHost : public CheckLoopHost {
  public:
    ResultsHost(RecordStore records, RunRecording& recording)
        : CheckLoopHost(std::move(records)),
          results(size_t(recordCount())),
          recording_(recording) {}

    // The first look.
    void recordChecked(const RecordCheck& check) override {
        if (keep(check)) {
            retry.note(check);
            if (check.retryAfter()) {
                recording_.keepBack(check);
                return;
            }
            recording_.add(check);
        }
    }
    // The second look: whatever it says is the record's result.
    void recordRechecked(const RecordCheck& check) {
        if (keep(check)) {
            recording_.add(check);
        }
    }

    std::vector<CompactResult> results;  // owning thread only
    int done = 0;
    RetryPass retry;

  private:
    bool keep(const RecordCheck& check) {
        if (check.index < 0 || size_t(check.index) >= results.size()) {
            return false;
        }
        results[size_t(check.index)] = {check.outcome.count,     check.outcome.status,
                                        check.outcome.overLimit, check.reciprocal,
                                        check.pageSignals,       check.reasonCode()};
        ++done;
        return true;
    }

    RunRecording& recording_;
};

// Ctrl+C: the first stops the run (pages under way finish), the second cuts
// off the downloads under way too; one answer per press, even when two come
// between two looks.
class InterruptAnswers {
  public:
    void answer(CheckRun& run) {
        for (const int seen = interrupts.load(std::memory_order_relaxed); handled_ < seen;) {
            ++handled_;
            if (run.state() == CheckRun::State::Running) {
                run.requestStop();
                reportError(kCheckCommand,
                            QStringLiteral("stopping: the pages under way are downloaded to the "
                                           "end (Ctrl+C again cuts them off)"));
            } else {
                run.abortDownloads();
            }
        }
    }
    bool anyPressed() const {
        return handled_ > 0 || interrupts.load(std::memory_order_relaxed) > 0;
    }

  private:
    int handled_ = 0;
};

// The run over every record, then the second look at rate-limited pages
// unless a Ctrl+C came first.
void checkEveryRecord(ResultsHost& host, const CheckOptions& options, InterruptAnswers& answers) {
    CheckRun run(host, options.settings, options.run);
    const bool showProgress = QUORVEL_ISATTY(QUORVEL_FILENO(stderr)) != 0;
    const int total = host.recordCount();
    QElapsedTimer elapsed;
    elapsed.start();
    run.start();
    host.runUntilIdle(run, [&] {
        answers.answer(run);
        if (showProgress) {
            std::fprintf(stderr, "\r%d of %d done, %lld s ", host.done, total,
                         elapsed.elapsed() / 1000);
            std::fflush(stderr);
        }
    });
    if (showProgress) {
        std::fprintf(stderr, "\n");
    }
    if (host.retry.isEmpty() || answers.anyPressed()) {
        return;
    }
    const std::chrono::seconds wait = host.retry.wait(retryWaitCap());
    if (showProgress) {
        std::fprintf(stderr, "%zu rate-limited pages: once more in %lld s\n",
                     host.retry.records().size(), static_cast<long long>(wait.count()));
    }
    host.retry.run(
        host, wait, options.settings, options.run, [&] { return answers.anyPressed(); },
        [&](const RecordCheck& check) { host.recordRechecked(check); },
        [&](CheckRun& again) { answers.answer(again); });
}

// The columns of a checked record, for its line of the record file.
QList<QJsonValue> checkColumns(const RunRecording& recording, int index,
                               const CompactResult& result, const QString& line) {
    const bool overdue = recording.isOverdue(
        parseDeadline(ExtractFieldView(line, QChar(u'D'))).value_or(QDate()), result.status);
    return {index,
            QString::fromLatin1(statusName(result.status)),
            result.count,
            result.overLimit ? 1 : 0,
            ExtractField(line, QChar(u'U')),
            result.reason,
            QJsonArray::fromStringList(signalNames(result.pageSignals)),
            QString::fromLatin1(statusName(result.reciprocal)),
            overdue ? 1 : 0};
}

// One row per record in list order; with --changes, only the records whose
// confirmed state moved in this run: a row per move, the partner page's
// before the user's own page's.
void writeReport(const ResultsHost& host, const RunRecording& recording,
                 const CheckOptions& options, qint64 runId) {
    QStringList columns{
        QStringLiteral("index"),      QStringLiteral("status"),      QStringLiteral("count"),
        QStringLiteral("over_limit"), QStringLiteral("partner_url"), QStringLiteral("reason"),
        QStringLiteral("signals"),    QStringLiteral("reciprocal"),  QStringLiteral("overdue")};
    const int total = host.recordCount();
    if (!options.changes) {
        ReportWriter report(options.format, columns);
        for (int i = 0; i < total; ++i) {
            report.write(checkColumns(recording, i, host.results[size_t(i)], host.recordAt(i)));
        }
        report.finish();
        return;
    }
    QHash<RecordIdentity, QList<HistoryEvent>> changed;
    if (runId != 0) {
        HistoryReader reader(*options.historyPath);
        const QueryOutcome<QList<RunEvent>> events = reader.eventsOfRun(runId);
        if (!events.ok()) {
            writeErr(events.error);
        }
        for (const RunEvent& e : events.value) {
            changed[e.identity] += e.event;
        }
    }
    columns << QStringLiteral("change") << QStringLiteral("previous") << QStringLiteral("since");
    ReportWriter report(options.format, columns);
    for (int i = 0; i < total && !changed.isEmpty(); ++i) {
        const QString line = host.recordAt(i);
        const RecordIdentity identity = identityOf(line);
        if (!recording.isRecorded(i, identity)) {
            continue;
        }
        // Taken, so that the loop ends once every change is out.
        for (const HistoryEvent& event : changed.take(identity)) {
            report.write(checkColumns(recording, i, host.results[size_t(i)], line)
                         << changeName(event.change).toString()
                         << stateName(event.previous).toString() << reportTime(event.since));
        }
    }
    report.finish();
}

int runCheck(const QStringList& args) {
    const std::optional<CheckOptions> options = checkOptions(args);
    if (!options) {
        return kExitUsage;
    }
    RecordFileContent content = readRecordInput(options->file);
    if (!wasRead(content.outcome)) {
        reportError(kCheckCommand, cannotRead(options->file, content));
        return kExitUsage;
    }
    // Opening (and repairing) the history goes on beside the run.
    RunRecording recording(options->historyPath, content.records, nullptr,
                           {.source = RunSource::CommandLine});
    ResultsHost host(std::move(content.records), recording);
    std::signal(SIGINT, onInterrupt);
    InterruptAnswers answers;
    checkEveryRecord(host, *options, answers);
    // What the second look did not reach keeps its first result.
    recording.addKeptBack();

    const HistoryRunOutcome recorded = recording.finish(kHistoryFinishBound);
    if (!recorded.message.isEmpty()) {
        writeErr(recorded.message);
    }
    writeReport(host, recording, *options, recorded.runId);
    // Until the rows are out, a Ctrl+C only asks for an end: no row is lost.
    std::signal(SIGINT, SIG_DFL);
    if (answers.anyPressed()) {
        return 130;
    }
    const bool allFound =
        std::all_of(host.results.begin(), host.results.end(),
                    [](const CompactResult& r) { return r.status == CheckStatus::Found; });
    return allFound ? kExitOk : kExitNegative;
}

}  // namespace

}  // namespace quorvel::cli
