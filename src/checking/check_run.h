#pragma once

#include <QString>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "checking/http_client.h"

namespace quorvel {

enum CheckStatus : int32_t {
    CheckStatusNone = 0,
    Found = 1,        // the link is there and indexable
    Hidden = 2,       // there, but nofollow or inside noindex
    Missing = 3,      // not there, or no link to look for
    FetchFailed = 4,  // the page could not be downloaded
};

inline constexpr int kResultTableSize = 100000;
inline constexpr int kCheckWorkers = 10;

// The results of the latest run, by the position a record had when it was
// handed out. Workers write whole entries without a lock while the list view
// reads them; the tables have a fixed size and records beyond it get none.
struct CheckResults {
    std::array<std::atomic<int32_t>, kResultTableSize> status{};
    std::array<std::atomic<int32_t>, kResultTableSize> count{};
    std::array<std::atomic<int32_t>, kResultTableSize> overLimit{};

    void clear();
    // 0 for positions outside the tables.
    int32_t statusAt(qsizetype index) const;
    int32_t countAt(qsizetype index) const;
    bool overLimitAt(qsizetype index) const;
};

class CheckRun;

// The side of the program that owns the record list and "the UI thread".
class CheckRunHost {
  public:
    virtual ~CheckRunHost() = default;
    // From a worker: run `task` on the UI thread and return once it has run.
    virtual void runOnUiThread(const std::function<void()>& task) = 0;
    // From a worker that is ending: run `task` on the UI thread later.
    virtual void postToUiThread(std::function<void()> task) = 0;
    // UI thread only.
    virtual int recordCount() const = 0;
    virtual QString recordAt(int index) const = 0;
    virtual void RepaintRecordList() = 0;
    virtual void runStateChanged() {}
};

// The outcome of one scan, read from ScanBacklink's "VERDICT@COUNT" text.
struct RecordOutcome {
    CheckStatus status = Missing;
    int32_t count = 0;
    bool overLimit = false;
};
RecordOutcome outcomeOf(const QString& verdict, const QString& maximum);

// A check run: ten workers take the records one at a time, download and scan
// each partner page and store the outcome by position. All methods but the
// workers' own run on the UI thread.
class CheckRun {
  public:
    enum class State {
        Idle,      // no worker alive
        Running,   // workers alive
        Stopping,  // workers alive, a stop requested
    };

    CheckRun(CheckRunHost& host, FetchSettings settings = {});
    // Waits for the workers of the last run; destroy only when idle.
    ~CheckRun();
    CheckRun(const CheckRun&) = delete;
    CheckRun& operator=(const CheckRun&) = delete;

    // The check button: starts a run when idle, asks the running one to stop
    // (downloads under way finish first), and does nothing while stopping.
    void ToolButton3Click();

    State state() const { return state_; }
    const CheckResults& results() const { return CheckResults_; }
    void setFetchSettings(const FetchSettings& settings) { settings_ = settings; }

    // The list view draws results only while this is set; a run sets it,
    // commands that change the list clear it.
    bool MarkersShown = false;

  private:
    friend class checkurls;

    void TakeNextRecord();
    void WorkerTerminated();

    CheckRunHost& host_;
    FetchSettings settings_;
    CheckResults CheckResults_;
    std::atomic<bool> StopRequested{false};
    // Written on the UI thread, read by the worker that holds CursorLock.
    int32_t NextRecordIndex = 0;
    QString CurrentRecordText;
    bool CurrentRecordIsEnd = false;  // the end of the records, apart from any text
    std::shared_ptr<std::mutex> CursorLock;
    State state_ = State::Idle;
    int liveWorkers_ = 0;
    std::vector<std::thread> threads_;
};

// A worker of a check run.
class checkurls {
  public:
    checkurls(CheckRun& run, std::shared_ptr<std::mutex> cursorLock, FetchSettings settings);
    void run();

  private:
    CheckRun& run_;
    std::shared_ptr<std::mutex> cursorLock_;
    FetchSettings settings_;
};

}  // namespace quorvel
