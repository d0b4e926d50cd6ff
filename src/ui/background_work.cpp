#include "ui/background_work.h"

#include <QMetaObject>

namespace quorvel {

BackgroundWork::BackgroundWork(QObject* owner) : owner_(owner) {
    thread_ = std::thread([this] { run(); });
}

BackgroundWork::~BackgroundWork() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
        waiting_ = nullptr;
        cancel_.store(true, std::memory_order_relaxed);
    }
    wake_.notify_one();
    thread_.join();
}

void BackgroundWork::post(Work work) {
    const quint64 number = ++posted_;
    {
        std::lock_guard lock(mutex_);
        waiting_ = std::move(work);
        waitingNumber_ = number;
        cancel_.store(true, std::memory_order_relaxed);  // the piece under way is outdated
    }
    wake_.notify_one();
}

void BackgroundWork::dispose(std::shared_ptr<const void> garbage) {
    {
        std::lock_guard lock(mutex_);
        garbage_.push_back(std::move(garbage));
    }
    wake_.notify_one();
}

void BackgroundWork::run() {
    for (;;) {
        Work work;
        quint64 number = 0;
        std::vector<std::shared_ptr<const void>> garbage;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return ending_ || waiting_ || !garbage_.empty(); });
            if (ending_) {
                return;
            }
            garbage.swap(garbage_);
            if (waiting_) {
                work = std::move(waiting_);
                waiting_ = nullptr;
                number = waitingNumber_;
                cancel_.store(false, std::memory_order_relaxed);
            }
        }
        garbage.clear();  // outside the lock
        if (!work) {
            continue;
        }
        Done done = work(cancel_);
        if (cancel_.load(std::memory_order_relaxed) || !done) {
            continue;
        }
        // Queued on the owner, which outlives this thread. A result that a
        // newer piece made stale is let go of here, not there.
        QMetaObject::invokeMethod(
            owner_,
            [this, number, done = std::move(done)]() mutable {
                if (number == posted_) {
                    delivered_ = number;
                    done();
                }
                dispose(std::make_shared<Done>(std::move(done)));
            },
            Qt::QueuedConnection);
    }
}

}  // namespace quorvel
