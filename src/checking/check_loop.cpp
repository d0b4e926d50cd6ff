#include "checking/check_loop.h"

namespace quorvel {

void CheckLoopHost::runOnUiThread(const std::function<void()>& task) {
    std::unique_lock lock(mutex_);
    tasks_.push_back(task);
    const quint64 ticket = ++queued_;
    arrived_.notify_one();
    // Tasks run in order, so this one has run once `ticket` tasks have.
    done_.wait(lock, [&] { return finished_ >= ticket; });
}

void CheckLoopHost::postToUiThread(std::function<void()> task) {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    ++queued_;
    arrived_.notify_one();
}

int CheckLoopHost::processTasks(std::chrono::milliseconds wait) {
    int ran = 0;
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, wait, [&] { return !tasks_.empty(); });
    while (!tasks_.empty()) {
        std::function<void()> task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        task();
        lock.lock();
        ++finished_;
        ++ran;
        done_.notify_all();
    }
    return ran;
}

void CheckLoopHost::runUntilIdle(const CheckRun& run, const std::function<void()>& tick) {
    while (run.state() != CheckRun::State::Idle) {
        processTasks(std::chrono::milliseconds(100));
        if (tick) {
            tick();
        }
    }
}

}  // namespace quorvel
