#pragma once

#include <QObject>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace quorvel {

// Work for the window, done on a thread of its own, one piece at a time:
// only the newest piece counts. A piece posted while another waits takes
// its place, and one posted while another runs cancels it. What a piece
// returns is run on the owner's thread, unless a newer piece was posted in
// the meantime or the owner is gone.
class BackgroundWork {
  public:
    // What runs on the owner's thread with a piece's result.
    using Done = std::function<void()>;
    using Work = std::function<Done(const std::atomic<bool>& cancel)>;

    // The owner keeps this as a member, so that it ends before the owner.
    explicit BackgroundWork(QObject* owner);
    // Cancels the piece under way, drops the one waiting and ends the thread.
    ~BackgroundWork();
    BackgroundWork(const BackgroundWork&) = delete;
    BackgroundWork& operator=(const BackgroundWork&) = delete;

    // The owner's thread.
    void post(Work work);
    // Lets go of `garbage` on the thread: a large structure is not freed
    // on the owner's thread.
    void dispose(std::shared_ptr<const void> garbage);
    // Whether a posted piece has not been delivered yet.
    bool busy() const { return delivered_ != posted_; }

  private:
    void run();

    QObject* const owner_;
    quint64 posted_ = 0;     // the owner's thread
    quint64 delivered_ = 0;  // the owner's thread

    std::mutex mutex_;
    std::condition_variable wake_;
    Work waiting_;
    quint64 waitingNumber_ = 0;
    std::vector<std::shared_ptr<const void>> garbage_;
    std::atomic<bool> cancel_{false};  // of the piece under way
    bool ending_ = false;
    std::thread thread_;
};

}  // namespace quorvel
