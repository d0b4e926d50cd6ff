#include <QElapsedTimer>
#include <QHash>
#include <QJsonArray>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <memory>
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

std::atomic<int> interrupts{0};

extern "C" void onInterrupt(int) {
    interrupts.fetch_add(1, std::memory_order_relaxed);
    std::signal(SIGINT, onInterrupt);
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
    int retryAfter = -1;  // seconds a rate limit asked to wait
    QString reason;
};

// The longest wait for rate-limited pages; tests shorten it through the
// environment.
int retryWaitCap() {
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("QUORVEL_RETRY_WAIT_CAP", &ok);
    return ok && seconds >= 0 ? std::min(seconds, 120) : 120;
}

// The loop host of a command-line run: it keeps every record's result,
// hands the first check of each identity to the history, and counts the
// records checked. A record turned away by a rate limit that named its wait
// is kept for a second look at the end of the run; its history waits too.
class ResultsHost : public CheckLoopHost {
  public:
    explicit ResultsHost(RecordStore records)
        : CheckLoopHost(std::move(records)), results(size_t(CheckLoopHost::recordCount())) {}

    int recordCount() const override {
        return subset_.empty() ? CheckLoopHost::recordCount() : int(subset_.size());
    }
    QString recordAt(int index) const override {
        return CheckLoopHost::recordAt(subset_.empty() ? index : subset_.at(size_t(index)));
    }

    void recordChecked(const RecordCheck& check) override {
        const int index = subset_.empty() ? check.index : subset_.at(size_t(check.index));
        if (index < 0 || size_t(index) >= results.size()) {
            return;
        }
        // Only the first look may ask for another.
        const int retryAfter = subset_.empty() ? check.retryAfter().value_or(-1) : -1;
        results[size_t(index)] = {
            check.outcome.count, check.outcome.status, check.outcome.overLimit, check.reciprocal,
            check.pageSignals,   retryAfter,           check.reasonCode()};
        ++done;
        RecordCheck listed = check;
        listed.index = index;
        if (retryAfter >= 0) {
            recording->keepBack(listed);  // its history waits for the second look
        } else {
            recording->add(listed);
        }
    }

    // From now on the run's records are these, until retried() ends it.
    void retry(std::vector<int> indices) { subset_ = std::move(indices); }
    // The second look is over: what it did not reach keeps its first result,
    // and that goes to the history now.
    void retried() {
        subset_.clear();
        recording->addKeptBack();
    }

    std::vector<CompactResult> results;  // owning thread only
    int done = 0;
    RunRecording* recording = nullptr;

  private:
    std::vector<int> subset_;
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
    "The first Ctrl+C stops the run as a second press of the check button does:\n"
    "no record is taken after it, but each page under way is downloaded to the\n"
    "end, both attempts included (up to about two minutes with the time limits);\n"
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

int runCheck(const QStringList& args) {
    QCommandLineParser parser;
    const QString workersOption = QStringLiteral("workers");
    const QString perHostOption = QStringLiteral("per-host");
    const QString changesOption = QStringLiteral("changes");
    if (!parseCommandLine(kCheckCommand, args,
                          downloadOptions() + historyOptions(true)
                              << formatOption() << valuedOption(workersOption)
                              << valuedOption(perHostOption) << flagOption(changesOption),
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
    const std::optional<Format> format = reportFormat(kCheckCommand, parser);
    if (!format) {
        return kExitUsage;
    }
    const std::optional<FetchSettings> settings = downloadSettings(kCheckCommand, parser);
    if (!settings) {
        return kExitUsage;
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() != 1) {
        return usageError(kCheckCommand, QStringLiteral("give exactly one FILE"));
    }
    if (parser.isSet(QStringLiteral("history")) && parser.isSet(QStringLiteral("no-history"))) {
        return usageError(kCheckCommand, QStringLiteral("give --history or --no-history"));
    }
    const QString& file = files.first();
    const std::optional<QString> historyPath = historyPathFor(parser, file);
    if (parser.isSet(changesOption) && !historyPath) {
        // Changes are told by the history: without one there would never be any.
        return usageError(kCheckCommand,
                          QStringLiteral("--changes needs a history (--history PATH)"));
    }
    RecordFileContent content = readRecordInput(file);
    if (!wasRead(content.outcome)) {
        reportError(kCheckCommand, cannotRead(file, content));
        return kExitUsage;
    }

    ResultsHost host(std::move(content.records));
    // Opening (and repairing) the history goes on beside the run.
    RunRecording recording(historyPath, host.records(), nullptr,
                           {.source = RunSource::CommandLine});
    host.recording = &recording;
    CheckRun run(host, *settings, CheckRunOptions{*workers, *perHost});
    std::signal(SIGINT, onInterrupt);

    const bool showProgress = QUORVEL_ISATTY(QUORVEL_FILENO(stderr)) != 0;
    const int total = host.recordCount();
    QElapsedTimer elapsed;
    elapsed.start();
    int handled = 0;
    // Ctrl+C: the first stops the run (pages under way finish), the second
    // cuts off the downloads under way too.
    const auto answerInterrupts = [&] {
        // One answer per press, even when two come between two looks.
        for (const int seen = interrupts.load(std::memory_order_relaxed); handled < seen;) {
            ++handled;
            if (run.state() == CheckRun::State::Running) {
                run.requestStop();
            } else {
                run.abortDownloads();
            }
        }
    };
    run.start();
    host.runUntilIdle(run, [&] {
        answerInterrupts();
        if (showProgress) {
            std::fprintf(stderr, "\r%d of %d done, %lld s ", host.done, total,
                         elapsed.elapsed() / 1000);
            std::fflush(stderr);
        }
    });
    if (showProgress) {
        std::fprintf(stderr, "\n");
    }

    // Rate-limited pages once more, after the longest wait they asked for.
    std::vector<int> again;
    int longestWait = 0;
    for (int i = 0; i < total; ++i) {
        if (host.results[size_t(i)].retryAfter >= 0) {
            again.push_back(i);
            longestWait = std::max(longestWait, host.results[size_t(i)].retryAfter);
        }
    }
    if (!again.empty() && handled == 0) {
        const int wait = std::min(longestWait, retryWaitCap());
        if (showProgress) {
            std::fprintf(stderr, "%zu rate-limited pages: once more in %d s\n", again.size(), wait);
        }
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < qint64(wait) * 1000 &&
               interrupts.load(std::memory_order_relaxed) == handled) {
            QThread::msleep(50);
        }
        handled = interrupts.load(std::memory_order_relaxed);
        if (handled == 0) {
            host.retry(again);
            run.start();
            host.runUntilIdle(run, answerInterrupts);
        }
    }
    host.retried();

    const HistoryRunOutcome recorded = recording.finish(kHistoryFinishBound);
    if (!recorded.message.isEmpty()) {
        writeErr(recorded.message);
    }
    const qint64 runId = recorded.runId;

    bool allFound = true;
    for (const CompactResult& result : host.results) {
        allFound = allFound && result.status == CheckStatus::Found;
    }
    QStringList columns{
        QStringLiteral("index"),      QStringLiteral("status"),      QStringLiteral("count"),
        QStringLiteral("over_limit"), QStringLiteral("partner_url"), QStringLiteral("reason"),
        QStringLiteral("signals"),    QStringLiteral("reciprocal"),  QStringLiteral("overdue")};
    if (!parser.isSet(changesOption)) {
        ReportWriter report(*format, columns);
        for (int i = 0; i < total; ++i) {
            report.write(checkColumns(recording, i, host.results[size_t(i)], host.recordAt(i)));
        }
        report.finish();
    } else {
        // Only the records whose confirmed state moved in this run: a row
        // per move, the partner page's before the user's own page's.
        QHash<RecordIdentity, QList<HistoryEvent>> changed;
        if (runId != 0) {
            HistoryReader reader(*historyPath);
            const QueryOutcome<QList<RunEvent>> events = reader.eventsOfRun(runId);
            if (!events.ok()) {
                writeErr(events.error);
            }
            for (const RunEvent& e : events.value) {
                changed[e.identity] += e.event;
            }
        }
        columns << QStringLiteral("change") << QStringLiteral("previous")
                << QStringLiteral("since");
        ReportWriter report(*format, columns);
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
    // Until the rows are out, a Ctrl+C only asks for an end: no row is lost.
    std::signal(SIGINT, SIG_DFL);
    if (handled > 0 || interrupts.load(std::memory_order_relaxed) > 0) {
        return 130;
    }
    return allFound ? kExitOk : kExitNegative;
}

}  // namespace

}  // namespace quorvel::cli
