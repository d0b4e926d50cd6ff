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
extern const char kCheckHelp[];

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
    kCheckHelp,
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
        wholeNumberOption(kCheckCommand, parser, workersOption, kCheckWorkers, 1, kMaxWorkers);
    if (!workers) {
        return std::nullopt;
    }
    const std::optional<int> perHost =
        wholeNumberOption(kCheckCommand, parser, perHostOption, kDefaultPerHost, 1, kMaxPerHost);
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
        const Outcome<QList<RecordSummary>> summaries = reader.summaries(identities);
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
        const Outcome<QList<RunEvent>> events = reader.eventsOfRun(runId);
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
