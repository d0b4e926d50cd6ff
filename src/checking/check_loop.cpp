#include "checking/check_loop.h"

namespace quorvel {

CheckLoopHost::CheckLoopHost(RecordStore records) : records_(std::move(records)) {}

CheckLoopHost::~CheckLoopHost() = default;

void CheckLoopHost::runOnUiThread(const std::function<void()>& task) {
    // Each caller waits on a signal of its own: with hundreds of workers, one
    // shared signal would wake all of them for every task.
    Waiter waiter;
    std::unique_lock lock(mutex_);
    tasks_.push_back(Task{task, &waiter});
    arrived_.notify_one();
    waiter.ran.wait(lock, [&] { return waiter.done; });
}

void CheckLoopHost::postToUiThread(std::function<void()> task) {
    std::lock_guard lock(mutex_);
    tasks_.push_back(Task{std::move(task), nullptr});
    arrived_.notify_one();
}

int CheckLoopHost::processTasks(std::chrono::milliseconds wait) {
    int ran = 0;
    std::unique_lock lock(mutex_);
    arrived_.wait_for(lock, wait, [&] { return !tasks_.empty(); });
    while (!tasks_.empty()) {
        Task task = std::move(tasks_.front());
        tasks_.pop_front();
        lock.unlock();
        task.run();
        lock.lock();
        ++ran;
        if (task.waiter) {
            task.waiter->done = true;
            task.waiter->ran.notify_one();
        }
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
