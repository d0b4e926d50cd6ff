#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "checking/check_outcome.h"
#include "checking/http_client.h"
#include "checking/page_memory.h"

namespace quorvel {

class PageRenderer;

inline constexpr int kResultTableSize = 100000;
inline constexpr int kCheckWorkers = 10;

// How a run spreads its work. The window's run is the default: ten workers,
// records handed out strictly in list order.
struct CheckRunOptions {
    int workers = kCheckWorkers;
    // At most this many attempts at a time against one host (0: no limit); a
    // record whose host is at its limit is handed out later.
    int perHost = 0;
    // How long destroying a run waits for its workers to end; a worker still
    // busy after that ends on its own later, without the run.
    std::chrono::milliseconds endBound{10000};
    // After a loaded page has shown: whether its site's robots.txt is read
    // (each site's once a run).
    bool robots = true;
    // A loaded page without the link is looked at once more in this
    // browser (the command line's --render).
    std::shared_ptr<PageRenderer> renderer = nullptr;
    // Room in bytes for the pages the workers hold at once (see PageMemory).
    qint64 pageMemory = kDefaultPageMemory;
    // After a stop, each record already taken is checked to its end, its
    // page scanned and the user's own page looked at, and reported as any
    // other. Without it (the window) a page that loads after a stop gets no
    // result, and what ends after the stop is reported with afterStop set.
    bool finishTakenRecords = false;
};

// The results of the latest run, by the position a record had when it was
// handed out. Workers write whole entries without a lock while the list view
// reads them; the tables have a fixed size and records beyond it get none.
struct CheckResults {
    std::array<std::atomic<int32_t>, kResultTableSize> status{};
    std::array<std::atomic<int32_t>, kResultTableSize> count{};
    std::array<std::atomic<int32_t>, kResultTableSize> overLimit{};

    void clear();
    // A finished record's outcome under its position (nothing beyond the tables).
    void store(int index, const RecordOutcome& outcome);
    // None and 0 for positions outside the tables.
    CheckStatus statusAt(qsizetype index) const;
    int32_t countAt(qsizetype index) const;
    bool overLimitAt(qsizetype index) const;
};

// What the UI thread hands a worker that asks for the next record.
struct Handout {
    enum class Kind {
        Record,  // a record to check
        // With a per-host limit: every record left waits for its host; the
        // worker waits for an attempt to end and asks again.
        Wait,
        End,  // every record has been handed out: the end, apart from any text
    };
    Kind kind = Kind::End;
    int32_t index = 0;          // Record: its position
    QString CurrentRecordText;  // Record: its line
    QByteArray host;            // Record: the host the gate let the first attempt in for
};

// The side of the program that owns the record list and "the UI thread".
class CheckRunHost {
  public:
    virtual ~CheckRunHost() = default;
    // From a worker: run `task` on the UI thread and return once it has run.
    virtual void runOnUiThread(const std::function<void()>& task) = 0;
    // From a worker that is ending: run `task` on the UI thread later.
    virtual void postToUiThread(std::function<void()> task) = 0;
    // The UI thread, while a run shuts down: run the tasks that workers
    // handed over, waiting at most `wait` for one to come.
    virtual void processPendingTasks(std::chrono::milliseconds wait) = 0;
    // UI thread only.
    virtual int recordCount() const = 0;
    virtual QString recordAt(int index) const = 0;
    virtual void RepaintRecordList() = 0;
    virtual void runStateChanged() {}
    // A record has been checked to the end (its result is in the tables and
    // the list has been repainted).
    virtual void recordChecked(const RecordCheck& check) { Q_UNUSED(check); }
};

// A check run: workers (ten unless told otherwise) take the records one at a
// time, download and scan each partner page and store the outcome by
// position. All methods but the workers' own run on the UI thread.
class CheckRun {
  public:
    enum class State {
        Idle,      // no worker alive
        Running,   // workers alive
        Stopping,  // workers alive, a stop requested
    };

    CheckRun(CheckRunHost& host, FetchSettings settings = {}, CheckRunOptions options = {});
    // Shuts the run down (see shutdown) within the options' end bound. A
    // worker that has not ended by then keeps what it uses alive, calls the
    // host no more and ends when its download does.
    ~CheckRun();
    CheckRun(const CheckRun&) = delete;
    CheckRun& operator=(const CheckRun&) = delete;

    // Idle only: clears the results, repaints the list and starts the workers.
    void start();
    // Running only: no worker takes another record; a record already taken
    // is checked to the end, both attempts included.
    void requestStop();
    // Cuts off the downloads under way at once; a record cut off gets no
    // result, like one a stop left untaken. Until the next start, further
    // downloads of this run fail at once too.
    void abortDownloads();
    // Stops the run, cuts off its downloads and waits for its workers,
    // running the tasks they hand to the UI thread meanwhile (so that none
    // stays blocked on it). True when every worker has ended within `bound`.
    bool shutdown(std::chrono::milliseconds bound);

    State state() const { return state_; }
    // Workers that have not ended yet: while stopping, the downloads that
    // the stop waits for.
    int workersAlive() const { return liveWorkers_; }
    const CheckResults& results() const { return *CheckResults_; }
    // The same tables, for a reader that may outlive the run.
    std::shared_ptr<const CheckResults> sharedResults() const { return CheckResults_; }
    // Takes effect at the next start.
    void setFetchSettings(const FetchSettings& settings) { settings_ = settings; }

    // What the workers of one run share with it (defined in check_run.cpp).
    struct Shared;

  private:
    friend class checkurls;

    Handout TakeNextRecord();
    Handout takeWithinHostLimits();
    void WorkerTerminated();
    void joinEndedWorkers();

    CheckRunHost& host_;
    FetchSettings settings_;
    CheckRunOptions options_;
    // Kept across runs: the list view reads them between runs too.
    std::shared_ptr<CheckResults> CheckResults_;
    // The run under way or the last one; each start makes a fresh one, with
    // a fresh CursorLock, stop flag and abort flag.
    std::shared_ptr<Shared> shared_;
    // UI thread only: the position of the next record to hand out.
    int32_t NextRecordIndex = 0;
    // Records passed over because their host was at its limit, by host in
    // list order, and the first of each host by position (UI thread).
    QHash<QByteArray, std::deque<int32_t>> deferred_;
    std::map<int32_t, QByteArray> deferredHeads_;
    State state_ = State::Idle;
    int liveWorkers_ = 0;
    std::vector<std::thread> threads_;
};

// A worker of a check run.
class checkurls {
  public:
    explicit checkurls(std::shared_ptr<CheckRun::Shared> shared);
    void run();

  private:
    std::shared_ptr<CheckRun::Shared> shared_;
};

}  // namespace quorvel
