#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "checking/check_run.h"
#include "records/record_store.h"

namespace quorvel {

// "The UI thread" of a check run without a window: the thread that calls
// processTasks() runs what the workers hand to it, with standard-library
// primitives only. It owns the record list.
class CheckLoopHost : public CheckRunHost {
  public:
    explicit CheckLoopHost(RecordStore records = {});
    ~CheckLoopHost() override;

    void runOnUiThread(const std::function<void()>& task) override;
    void postToUiThread(std::function<void()> task) override;
    void processPendingTasks(std::chrono::milliseconds wait) override { processTasks(wait); }
    int recordCount() const override { return int(records_.size()); }
    QString recordAt(int index) const override { return records_.at(index); }
    void RepaintRecordList() override { ++repaints_; }

    // The owning thread: runs the tasks that arrive within `wait` (at least
    // the first one, if any comes); returns how many ran.
    int processTasks(std::chrono::milliseconds wait);
    // The owning thread: runs tasks until the run is idle; `tick` runs
    // between batches, at least every 100 ms.
    void runUntilIdle(const CheckRun& run, const std::function<void()>& tick = {});

    RecordStore& records() { return records_; }  // owning thread only
    int repaints() const { return repaints_; }   // owning thread only

  private:
    struct Waiter {
        std::condition_variable ran;
        bool done = false;
    };
    struct Task {
        std::function<void()> run;
        Waiter* waiter = nullptr;  // the worker that waits for it, if any
    };

    RecordStore records_;
    int repaints_ = 0;
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<Task> tasks_;
};

}  // namespace quorvel
