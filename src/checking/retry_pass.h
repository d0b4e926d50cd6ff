#pragma once

#include <chrono>
#include <functional>
#include <vector>

#include "checking/check_loop.h"
#include "checking/check_run.h"

namespace quorvel {

// The end of a run's second look at the pages a rate limit turned away: a
// record whose every attempt met a 429 or 503 that named its wait
// (RecordCheck::retryAfter) is checked once more when the run is over,
// after the longest of those waits (at most a cap).
class RetryPass {
  public:
    // Notes a check of the first look.
    void note(const RecordCheck& check);
    bool isEmpty() const { return records_.empty(); }
    // The records to look at again, in list order.
    std::vector<int> records() const;
    // How long to wait first: the longest wait named, at most `cap`.
    std::chrono::seconds wait(std::chrono::seconds cap) const;

    // Waits, then checks the records once more with a run of their own over
    // `host`'s list; `checked` gets each check with its position in that
    // list, and `tick` runs between batches of the host's tasks, as in
    // CheckLoopHost::runUntilIdle. Nothing is checked when `giveUp` (asked
    // every 50 ms) says so during the wait; false then.
    bool run(CheckLoopHost& host, std::chrono::seconds wait, const FetchSettings& settings,
             const CheckRunOptions& options, const std::function<bool()>& giveUp,
             const std::function<void(const RecordCheck&)>& checked,
             const std::function<void(CheckRun&)>& tick) const;

  private:
    std::vector<std::pair<int, int>> records_;  // position, wait in seconds
};

}  // namespace quorvel
