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
#include "checking/deadline.h"
#include "checking/retry_pass.h"
#include "cli/check_notices.h"
#include "cli/cli.h"
#include "cli/history_options.h"
#include "cli/look_options.h"
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
    "                         [--notify [--notify-config PATH]]\n"
    "                         [--workers N] [--per-host N] [--memory-budget SIZE]\n"
    "                         [--resolve HOST:PORT:ADDRESS]... [--cacert FILE]\n"
    "                         [--render [--render-workers N]] [--no-robots] FILE",
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
    "               tls ..., http NNN, too-large, redirects, scheme, encoding;\n"
    "               both attempts' reasons, separated by \"; \"; no-host or\n"
    "               scheme alone for an address without a host or with another\n"
    "               scheme, which is not tried twice), for Hidden nofollow or\n"
    "               noindex, for Missing no-link when the record has no link\n"
    "  signals      what the partner page says to search engines beyond the\n"
    "               status: meta-noindex, meta-nofollow (a robots, googlebot or\n"
    "               yandex meta tag), header-noindex, header-nofollow (its\n"
    "               X-Robots-Tag header), rel-sponsored, rel-ugc (the rel of the\n"
    "               link that decided), challenge-marker (marks of a bot wall's\n"
    "               challenge on the page); and what else was learnt of your\n"
    "               link: other-link-to-you (Missing, but the page links to your\n"
    "               site: see near_link), canonical-elsewhere (the page names\n"
    "               another page canonical: see canonical), robots-disallow (its\n"
    "               site's robots.txt forbids the page to Googlebot or Yandex,\n"
    "               or to every crawler when it names neither), rendered-found,\n"
    "               rendered-hidden (with --render: Missing, but the page a\n"
    "               browser renders carries your link, indexable or not);\n"
    "               separated by commas, a list in JSON\n"
    "  reciprocal   whether your page (field 4) links to the partner's site:\n"
    "               Found, Hidden, Missing, FetchFailed, or none without field 4\n"
    "  overdue      1 when the deadline (field D) has passed, the status is\n"
    "               neither Found nor Hidden, and the deadline is not before the\n"
    "               day of the record's first check in the history: a deadline\n"
    "               that had passed before the record was ever checked is not\n"
    "               reported (without a history this run is the first check)\n"
    "  anchor       Found or Hidden: the text of the link that decided, tags left\n"
    "               out, at most 200 characters; \"[img] \" and its alt text for\n"
    "               an image link\n"
    "  near_link    with other-link-to-you: the first link to your site's host\n"
    "               (\"www.\", the scheme and letter case aside) on the page\n"
    "  canonical    with canonical-elsewhere: the page's canonical address, from\n"
    "               its <link rel=\"canonical\"> or its Link header\n"
    "  external     a page that loaded: its distinct http and https link targets\n"
    "               on other sites than its own (its host without \"www.\" and\n"
    "               the subdomains), under any domain; empty otherwise\n"
    "\n"
    "  --format tsv   (default) TAB-separated, no header (with --changes: a header\n"
    "                 line just before the first row); in a text a backslash,\n"
    "                 TAB, CR and LF are written \\\\, \\t, \\r, \\n\n"
    "  --format csv   RFC 4180 with a header of the column names\n"
    "  --format json  an array of objects with those keys\n"
    "  --changes      print only the records whose confirmed state changed in\n"
    "                 this run (see below), with five more columns: change,\n"
    "                 previous (the state before; for anchor-changed the link's\n"
    "                 text before), since (on your clock with its offset, as in\n"
    "                 2026-12-11T04:14:14+03:00), and the record's email (field\n"
    "                 E) and notes (field 7); a run without changes prints nothing\n"
    "  --history PATH  keep the check history in PATH instead of\n"
    "                 quorvel-history.sqlite beside FILE (standard input has no\n"
    "                 history unless --history names one)\n"
    "  --no-history   keep no history\n"
    "  --notify       after the run, send what changed to the channels of the\n"
    "                 notify settings (Telegram, mail, webhook; see 'quorvel-cli\n"
    "                 notify --help'): one message per channel, nothing when\n"
    "                 nothing changed. What was sent is kept in the history; a\n"
    "                 channel that failed is tried again at the start of the next\n"
    "                 check --notify. A failed delivery adds a line on standard\n"
    "                 error and leaves the exit status as it is.\n"
    "  --notify-config PATH  the notify settings in PATH\n"
    "  --workers N    download N pages at a time, 1 to 256 (default 10)\n"
    "  --per-host N   but at most N at a time from one host, 1 to 16 (default 2);\n"
    "                 the other workers go on with records of other hosts\n"
    "                 Many parallel requests can overload a small site or get\n"
    "                 your address blocked: raise these with care.\n"
    "  --memory-budget SIZE  hold at most SIZE of partner pages at once (default\n"
    "                 1G; 512M, 2G, ...): a page takes about three times its size\n"
    "                 while it is read and decoded, twice while it is searched; a\n"
    "                 download that would pass SIZE waits for room, and a page\n"
    "                 larger than SIZE loads alone\n"
    "  --browser      send the request headers of a desktop browser (Firefox ESR\n"
    "                 128 on Windows 10, Russian first) and accept compressed\n"
    "                 pages, for firewalls that turn away other clients\n"
    "  --user-agent TEXT  send TEXT as the User-Agent (also with --browser)\n"
    "  --resolve HOST:PORT:ADDRESS   connect to ADDRESS for HOST and PORT\n"
    "  --cacert FILE                 trust the CA certificates in FILE instead of\n"
    "                                the system's\n"
    "  --render       look at every page that loaded without your link once more\n"
    "                 in a real browser that runs its scripts (the package\n"
    "                 chromium-headless-shell; without it, exit 2); what the\n"
    "                 browser could not do goes to standard error\n"
    "  --render-workers N  at most N browsers at a time, 1 to 16 (default 2)\n"
    "  --no-robots    do not read the sites' robots.txt (read once per site,\n"
    "                 after its page; a failure to read it changes nothing)\n"
    "\n"
    "While it runs on a terminal, a progress line is shown on standard error.\n"
    "The first Ctrl+C stops the run (a line on standard error says so): no\n"
    "record is taken after it, but each record under way is checked to its end,\n"
    "both attempts included (up to about two minutes with the time limits),\n"
    "and its real result, loaded or failed, is printed and kept in the history;\n"
    "records never taken get status none. Then it prints every row and exits\n"
    "with 130. A second Ctrl+C also cuts off the downloads under way; their\n"
    "records get no result (status none) and are not kept. SIGTERM acts as the\n"
    "first Ctrl+C, and the exit status is then 143.\n"
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
    "down (-> down, also a first state that is down) and up (down -> any);\n"
    "overdue is told once, by the run that first finds the deadline passed.\n"
    "A new text of the link between two checks that found it is anchor-changed.\n"
    "A Missing page whose rendering (--render) carries the link counts as found;\n"
    "while the link was last seen that way, a Missing check without --render is\n"
    "no evidence, so runs with and without it make no lost and restored pair.\n"
    "A history that cannot be used is named on standard error; the run goes on.\n"
    "\n"
    "Exit status: 0 when every record is Found, 1 when any is not, 2 on a usage\n"
    "error or a file that cannot be read, 130 when interrupted (143 after SIGTERM).\n"
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
std::atomic<bool> terminated{false};

extern "C" void onInterrupt(int) {
    interrupts.fetch_add(1, std::memory_order_relaxed);
    std::signal(SIGINT, onInterrupt);
}

// A SIGTERM (a timeout(1) around the run, a shutdown) is answered as a
// Ctrl+C, so the rows of what was checked are not lost.
extern "C" void onTerminate(int) {
    terminated.store(true, std::memory_order_relaxed);
    interrupts.fetch_add(1, std::memory_order_relaxed);
    std::signal(SIGTERM, onTerminate);
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
    std::optional<NoticeQueue> notices;  // with --notify
    // Set by the second Ctrl+C: cuts off the browsers of --render too.
    std::shared_ptr<AbortFlag> lookAbort = std::make_shared<AbortFlag>();
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

// A size in bytes for an option: a whole number, with K, M or G after it for
// KiB, MiB or GiB (2G, 512M), from 1 MiB to 1 TiB; nothing after a usage
// error.
std::optional<qint64> sizeOption(const QCommandLineParser& parser, const QString& name,
                                 qint64 fallback) {
    if (!parser.isSet(name)) {
        return fallback;
    }
    const QString text = firstValue(parser, name);
    QStringView digits = text;
    qint64 unit = 1;
    if (!digits.isEmpty()) {
        const int shift = QStringLiteral("KMG").indexOf(digits.back().toUpper());
        if (shift >= 0) {
            unit = qint64(1) << (10 * (shift + 1));
            digits.chop(1);
        }
    }
    bool ok = false;
    const qint64 value = digits.toLongLong(&ok);
    constexpr qint64 kLow = qint64(1) << 20;
    constexpr qint64 kHigh = qint64(1) << 40;
    if (!ok || value <= 0 || value > kHigh / unit || value * unit < kLow) {
        usageError(kCheckCommand, u"--" % name %
                                      u" takes a size from 1M to 1024G (a number of bytes, or "
                                      u"with K, M or G after it), not '" %
                                      text % u'\'');
        return std::nullopt;
    }
    return value * unit;
}

// The options, or nothing after a usage error (which has been reported).
std::optional<CheckOptions> checkOptions(const QStringList& args) {
    QCommandLineParser parser;
    const QString workersOption = QStringLiteral("workers");
    const QString perHostOption = QStringLiteral("per-host");
    const QString changesOption = QStringLiteral("changes");
    const QString memoryOption = QStringLiteral("memory-budget");
    if (!parseCommandLine(
            kCheckCommand, args,
            downloadOptions() + historyOptions(true) + checkNoticeOptions() + lookOptions()
                << formatOption() << valuedOption(workersOption) << valuedOption(perHostOption)
                << valuedOption(memoryOption) << flagOption(changesOption),
            parser)) {
        return std::nullopt;
    }
    CheckOptions options;
    const std::optional<qint64> pageMemory = sizeOption(parser, memoryOption, kDefaultPageMemory);
    if (!pageMemory) {
        return std::nullopt;
    }
    options.run.pageMemory = *pageMemory;
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
    // A stop keeps every record already taken: its row and its history tell
    // what its page really gave, loaded or not.
    options.run.finishTakenRecords = true;
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
    if (!checkNoticeQueue(kCheckCommand, parser, options.file, options.historyPath,
                          options.settings, &options.notices)) {
        return std::nullopt;
    }
    if (!applyLookOptions(kCheckCommand, parser, options.settings, options.lookAbort.get(),
                          &options.run)) {
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
    int external = -1;  // a page that did not load has none
    QString anchor;
    QString nearLink;
    QString canonical;
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
        results[size_t(check.index)] = {
            check.outcome.count, check.outcome.status, check.outcome.overLimit, check.reciprocal,
            check.pageSignals,   check.reasonCode(),   check.external,          check.anchor,
            check.nearLink,      check.canonical};
        if (!check.renderFailure.isEmpty()) {
            writeErr(u"render: " % check.pageAddress % u": " % check.renderFailure);
        }
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
    explicit InterruptAnswers(AbortFlag& lookAbort) : lookAbort_(lookAbort) {}

    void answer(CheckRun& run) {
        for (const int seen = interrupts.load(std::memory_order_relaxed); handled_ < seen;) {
            ++handled_;
            if (run.state() == CheckRun::State::Running) {
                run.requestStop();
                reportError(kCheckCommand,
                            QStringLiteral("stopping: the pages under way are checked to the end "
                                           "(Ctrl+C again cuts them off)"));
            } else {
                run.abortDownloads();
                lookAbort_.set();
            }
        }
    }
    bool anyPressed() const {
        return handled_ > 0 || interrupts.load(std::memory_order_relaxed) > 0;
    }

  private:
    AbortFlag& lookAbort_;
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

QDate deadlineOf(QStringView line) {
    return parseDeadline(ExtractFieldView(line, QChar(u'D'))).value_or(QDate());
}

// The columns of a checked record, for its line of the record file, whose
// first check in the history is `firstChecked` (invalid: this run's).
QList<QJsonValue> checkColumns(int index, const CompactResult& result, const QString& line,
                               const QDateTime& firstChecked) {
    const bool overdue = RunRecording::isOverdue(deadlineOf(line), result.status, firstChecked);
    return {index,
            QString::fromLatin1(statusName(result.status)),
            result.count,
            result.overLimit ? 1 : 0,
            ExtractField(line, QChar(u'U')),
            result.reason,
            QJsonArray::fromStringList(signalNames(result.pageSignals)),
            QString::fromLatin1(statusName(result.reciprocal)),
            overdue ? 1 : 0,
            result.anchor,
            result.nearLink,
            result.canonical,
            result.external >= 0 ? QJsonValue(result.external) : QJsonValue()};
}

// A passed deadline is overdue only when it lapsed after the record's first
// check: the history says when that was, for the records whose deadline has
// passed without the link (the others stay invalid).
std::vector<QDateTime> firstChecksOf(const ResultsHost& host, const CheckOptions& options) {
    const int total = host.recordCount();
    std::vector<QDateTime> firstChecks(static_cast<size_t>(total));
    if (!options.historyPath) {
        return firstChecks;
    }
    QList<int> late;
    QList<RecordIdentity> identities;
    for (int i = 0; i < total; ++i) {
        const QString line = host.recordAt(i);
        if (isOverdue(deadlineOf(line), host.results[size_t(i)].status)) {
            late += i;
            identities += identityOf(line);
        }
    }
    if (!late.isEmpty()) {
        HistoryReader reader(*options.historyPath);
        const QueryOutcome<QList<RecordSummary>> summaries = reader.summaries(identities);
        for (qsizetype k = 0; summaries.ok() && k < late.size(); ++k) {
            firstChecks[size_t(late.at(k))] = summaries.value.at(k).firstChecked;
        }
    }
    return firstChecks;
}

// One row per record in list order; with --changes, only the records whose
// confirmed state moved in this run: a row per move, the partner page's
// before the user's own page's.
void writeReport(const ResultsHost& host, const RunRecording& recording,
                 const CheckOptions& options, qint64 runId) {
    QStringList columns{
        QStringLiteral("index"),      QStringLiteral("status"),      QStringLiteral("count"),
        QStringLiteral("over_limit"), QStringLiteral("partner_url"), QStringLiteral("reason"),
        QStringLiteral("signals"),    QStringLiteral("reciprocal"),  QStringLiteral("overdue"),
        QStringLiteral("anchor"),     QStringLiteral("near_link"),   QStringLiteral("canonical"),
        QStringLiteral("external")};
    const int total = host.recordCount();
    const std::vector<QDateTime> firstChecks = firstChecksOf(host, options);
    if (!options.changes) {
        ReportWriter report(options.format, columns);
        for (int i = 0; i < total; ++i) {
            report.write(
                checkColumns(i, host.results[size_t(i)], host.recordAt(i), firstChecks[size_t(i)]));
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
    columns << QStringLiteral("change") << QStringLiteral("previous") << QStringLiteral("since")
            << QStringLiteral("email") << QStringLiteral("notes");
    // The header comes with the first row: a run without changes prints
    // nothing at all, so that mail -E sends nothing.
    ReportWriter report(options.format, columns, ReportWriter::TsvHeader::BeforeFirstRow);
    for (int i = 0; i < total && !changed.isEmpty(); ++i) {
        const QString line = host.recordAt(i);
        const RecordIdentity identity = identityOf(line);
        if (!recording.isRecorded(i, identity)) {
            continue;
        }
        // Taken, so that the loop ends once every change is out.
        for (const HistoryEvent& event : changed.take(identity)) {
            // A new text of the link: what it was, beside the anchor column's now.
            const QString previous = event.change == ChangeKind::AnchorChanged
                                         ? event.previousAnchor
                                         : stateName(event.previous).toString();
            report.write(checkColumns(i, host.results[size_t(i)], line, firstChecks[size_t(i)])
                         << changeName(event.change).toString() << previous
                         << localIsoTime(event.since) << ExtractField(line, QChar(u'E'))
                         << ExtractField(line, QChar(u'7')));
        }
    }
    report.finish();
}

int runCheck(const QStringList& args) {
    std::optional<CheckOptions> options = checkOptions(args);
    if (!options) {
        return kExitUsage;
    }
    RecordFileContent content = readRecordInput(options->file);
    if (!wasRead(content.outcome)) {
        reportError(kCheckCommand, cannotRead(options->file, content));
        return kExitUsage;
    }
    reportLosses(kCheckCommand, options->file, content);
    HistoryRecorderOptions recorderOptions;
    // A schedule's service names itself, so that the history can tell its runs.
    recorderOptions.source = qEnvironmentVariableIsEmpty("QUORVEL_SCHEDULE")
                                 ? RunSource::CommandLine
                                 : RunSource::Schedule;
    std::optional<NoticeQueue>& notices = options->notices;
    if (notices) {
        setRecordLookup(&*notices, content.records);
        // Unsent notices of earlier runs go first, before this run is
        // registered; then the run asks for its own.
        sendLeftNotices(*notices);
        recorderOptions.notify = true;
        recorderOptions.list = notices->list;
    }
    const QDateTime runStarted = QDateTime::currentDateTimeUtc();
    // Opening (and repairing) the history goes on beside the run.
    RunRecording recording(options->historyPath, content.records, nullptr, recorderOptions);
    ResultsHost host(std::move(content.records), recording);
    std::signal(SIGINT, onInterrupt);
#ifdef SIGTERM
    std::signal(SIGTERM, onTerminate);
#endif
    InterruptAnswers answers(*options->lookAbort);
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
#ifdef SIGTERM
    std::signal(SIGTERM, SIG_DFL);
#endif
    if (notices) {
        std::fflush(stdout);
        std::map<CheckStatus, int> totals;
        for (const CompactResult& result : host.results) {
            ++totals[result.status];
        }
        sendRunNotice(*notices, recorded.runId, runStarted, totals);
    }
    if (answers.anyPressed()) {
        return terminated.load(std::memory_order_relaxed) ? 143 : 130;
    }
    const bool allFound =
        std::all_of(host.results.begin(), host.results.end(),
                    [](const CompactResult& r) { return r.status == CheckStatus::Found; });
    return allFound ? kExitOk : kExitNegative;
}

}  // namespace

}  // namespace quorvel::cli
