#include "checking/retry_pass.h"

#include <algorithm>
#include <thread>

namespace quorvel {

namespace {

// A run over some records of another host's list: everything else goes to
// that host, and each check is handed on with its place in the whole list.
class SubsetHost : public CheckRunHost {
  public:
    SubsetHost(CheckLoopHost& host, std::vector<int> positions,
               const std::function<void(const RecordCheck&)>& checked)
        : host_(host), positions_(std::move(positions)), checked_(checked) {}

    void runOnUiThread(const std::function<void()>& task) override { host_.runOnUiThread(task); }
    void postToUiThread(std::function<void()> task) override {
        host_.postToUiThread(std::move(task));
    }
    void processPendingTasks(std::chrono::milliseconds wait) override {
        host_.processPendingTasks(wait);
    }
    int recordCount() const override { return int(positions_.size()); }
    QString recordAt(int index) const override { return host_.recordAt(positions_.at(index)); }
    void RepaintRecordList() override { host_.RepaintRecordList(); }
    void recordChecked(const RecordCheck& check) override {
        if (check.index < 0 || size_t(check.index) >= positions_.size()) {
            return;
        }
        RecordCheck listed = check;
        listed.index = positions_.at(size_t(check.index));
        checked_(listed);
    }

  private:
    CheckLoopHost& host_;
    const std::vector<int> positions_;
    const std::function<void(const RecordCheck&)>& checked_;
};

}  // namespace

void RetryPass::note(const RecordCheck& check) {
    if (const std::optional<int> wait = check.retryAfter()) {
        records_.emplace_back(check.index, *wait);
    }
}

std::vector<int> RetryPass::records() const {
    std::vector<int> positions;
    for (const auto& [position, wait] : records_) {
        positions.push_back(position);
    }
    std::sort(positions.begin(), positions.end());
    positions.erase(std::unique(positions.begin(), positions.end()), positions.end());
    return positions;
}

std::chrono::seconds RetryPass::wait(std::chrono::seconds cap) const {
    int longest = 0;
    for (const auto& [position, seconds] : records_) {
        longest = std::max(longest, seconds);
    }
    return std::min(std::chrono::seconds(longest), cap);
}

bool RetryPass::run(CheckLoopHost& host, std::chrono::seconds wait, const FetchSettings& settings,
                    const CheckRunOptions& options, const std::function<bool()>& giveUp,
                    const std::function<void(const RecordCheck&)>& checked,
                    const std::function<void(CheckRun&)>& tick) const {
    const auto until = std::chrono::steady_clock::now() + wait;
    while (std::chrono::steady_clock::now() < until) {
        if (giveUp()) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (giveUp()) {
        return false;
    }
    SubsetHost subset(host, records(), checked);
    CheckRun again(subset, settings, options);
    again.start();
    host.runUntilIdle(again, [&] { tick(again); });
    return true;
}

}  // namespace quorvel
