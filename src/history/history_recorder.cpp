#include "history/history_recorder.h"

#include <QDir>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "history/history_file.h"
#include "history/history_store.h"

namespace quorvel {

using namespace Qt::StringLiterals;
using Clock = std::chrono::steady_clock;

struct HistoryRecorder::Shared {
    QString path;
    QDateTime runStartedAt;
    HistoryRecorderOptions options;

    std::mutex mutex;
    std::condition_variable wake;      // the writer waits for checks or the finish
    std::condition_variable finished;  // finish() waits for the writer
    std::vector<HistoryEntry> pending;
    Clock::time_point firstPendingAt;
    bool finishing = false;
    bool writerDone = false;
    bool refusing = false;  // no history for this run: add() drops at once
    qint64 droppedOnAdd = 0;

    // Set when finish() runs out of time, or when the steady clock reaches
    // abandonAt (a background finish's bound): every wait and statement of
    // the writer ends soon after.
    std::atomic<bool> abandon{false};
    std::atomic<Clock::rep> abandonAt{0};
    // The recorder of the run before, whose writing comes first.
    std::shared_ptr<Shared> previous;

    // Written by the writer, read after it has been joined.
    HistoryOpenOutcome open;
    qint64 runId = 0;
    qint64 written = 0;
    qint64 droppedByWriter = 0;
    QString writeError;

    bool abandoned() const {
        if (abandon.load(std::memory_order_relaxed)) {
            return true;
        }
        const Clock::rep at = abandonAt.load(std::memory_order_relaxed);
        return at != 0 && Clock::now().time_since_epoch().count() >= at;
    }
    // Waits until the writer is done, at most until `deadline`.
    bool waitUntilDone(Clock::time_point deadline) {
        std::unique_lock lock(mutex);
        return finished.wait_until(lock, deadline, [this] { return writerDone; });
    }
    void runWriter();
    // Waits for a batch to be due; false when the writer should end.
    bool takeBatch(std::vector<HistoryEntry>* batch);
    // From now on add() drops; what is queued is dropped too.
    void refuse();
};

HistoryRecorder::HistoryRecorder(QString path, QDateTime runStartedAt,
                                 HistoryRecorderOptions options, const HistoryRecorder* previous)
    : shared_(std::make_shared<Shared>()) {
    if (previous) {
        shared_->previous = previous->shared_;
    }
    shared_->path = std::move(path);
    shared_->runStartedAt = std::move(runStartedAt);
    shared_->options = options;
    shared_->options.batchSize = std::max(1, options.batchSize);
    writer_ = std::thread([shared = shared_] { shared->runWriter(); });
}

HistoryRecorder::~HistoryRecorder() {
    finish(std::chrono::milliseconds(0));
}

void HistoryRecorder::add(HistoryEntry entry) {
    Shared& s = *shared_;
    std::lock_guard lock(s.mutex);
    if (s.refusing || s.finishing) {
        ++s.droppedOnAdd;
        return;
    }
    if (s.pending.empty()) {
        s.firstPendingAt = Clock::now();
    }
    s.pending.push_back(std::move(entry));
    // The writer needs a nudge only to start its batch clock or to write a
    // full batch; the checks in between cost a push.
    if (s.pending.size() == 1 || s.pending.size() == size_t(s.options.batchSize)) {
        s.wake.notify_one();
    }
}

HistoryRunOutcome HistoryRecorder::finish(std::chrono::milliseconds bound) {
    if (finished_) {
        return outcome_;
    }
    finished_ = true;
    Shared& s = *shared_;
    {
        std::unique_lock lock(s.mutex);
        s.finishing = true;
        s.wake.notify_one();
        if (!s.finished.wait_for(lock, bound, [&] { return s.writerDone; })) {
            s.abandon.store(true, std::memory_order_relaxed);
            s.wake.notify_one();
        }
    }
    writer_.join();

    outcome_.open = s.open;
    outcome_.runId = s.runId;
    outcome_.written = s.written;
    outcome_.dropped = s.droppedOnAdd + s.droppedByWriter;
    outcome_.message = s.open.message;
    if (s.open.usable() && outcome_.dropped > 0) {
        const QString why = !s.writeError.isEmpty() ? s.writeError : u"time ran out"_s;
        outcome_.message += (outcome_.message.isEmpty() ? u"history: "_s : u"; "_s) +
                            u"%1 results not recorded (%2)"_s.arg(outcome_.dropped).arg(why);
    }
    return outcome_;
}

void HistoryRecorder::abandon() {
    Shared& s = *shared_;
    std::lock_guard lock(s.mutex);
    s.abandon.store(true, std::memory_order_relaxed);
    s.wake.notify_one();
}

void HistoryRecorder::finishInBackground(std::chrono::milliseconds bound) {
    Shared& s = *shared_;
    std::lock_guard lock(s.mutex);
    if (s.finishing) {
        return;
    }
    s.finishing = true;
    s.abandonAt.store((Clock::now() + bound).time_since_epoch().count(), std::memory_order_relaxed);
    s.wake.notify_one();
}

bool HistoryRecorder::done() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->writerDone;
}

void HistoryRecorder::Shared::refuse() {
    std::lock_guard lock(mutex);
    refusing = true;
    droppedByWriter += qint64(pending.size());
    pending.clear();
}

bool HistoryRecorder::Shared::takeBatch(std::vector<HistoryEntry>* batch) {
    std::unique_lock lock(mutex);
    for (;;) {
        if (abandoned()) {
            return false;
        }
        const bool full = pending.size() >= size_t(options.batchSize);
        const bool due = !pending.empty() && Clock::now() >= firstPendingAt + options.batchDelay;
        if (full || due || (finishing && !pending.empty())) {
            break;
        }
        if (finishing) {
            return false;  // all written
        }
        if (pending.empty()) {
            wake.wait(lock);
        } else {
            wake.wait_until(lock, firstPendingAt + options.batchDelay);
        }
    }
    batch->clear();
    batch->swap(pending);
    return true;
}

void HistoryRecorder::Shared::runWriter() {
    // The run before writes first; its own bound keeps this wait short.
    while (previous && !abandoned() &&
           !previous->waitUntilDone(Clock::now() + std::chrono::milliseconds(50))) {
    }
    previous.reset();
    ConnectionOptions connection{options.busyTimeout, &abandon, &abandonAt};
    OpenedHistory opened = openHistory(path, OpenPurpose::Run, connection);
    open = opened.outcome;
    if (open.status == HistoryOpenStatus::Failed && abandoned()) {
        // Whatever the open ran into, the reason it gave up is the bound.
        open.message = u"history: "_s + QDir::toNativeSeparators(path) +
                       u" was not ready before the end of the run; not recorded"_s;
    }

    std::vector<HistoryEntry> batch;
    if (open.usable()) {
        HistoryStore store(opened.db);
        const qint64 startedAt = historySeconds(runStartedAt);
        HistoryStore::WriteStatus status = HistoryStore::WriteStatus::Busy;
        // Busy means another program held the file for the whole busy
        // timeout; it will let go, and finish() bounds the wait.
        const auto busy = [this] {
            if (options.onBusy) {
                options.onBusy();
            }
        };
        while (status == HistoryStore::WriteStatus::Busy && !abandoned()) {
            runId = store.beginRun(runStartedAt, options.source, &status);
            if (status == HistoryStore::WriteStatus::Busy) {
                busy();
            }
        }
        if (status != HistoryStore::WriteStatus::Written) {
            if (status == HistoryStore::WriteStatus::Failed) {
                writeError = store.error();
            }
            runId = 0;
        }
        while (runId != 0 && takeBatch(&batch)) {
            // A batch that piled up while the file was busy goes in slices, so
            // no transaction holds the lock for long.
            for (size_t at = 0; at < batch.size();) {
                const size_t count = std::min(batch.size() - at, size_t(options.batchSize));
                const std::span<const HistoryEntry> slice(batch.data() + at, count);
                status = store.write(slice, runId, startedAt);
                if (status == HistoryStore::WriteStatus::Written) {
                    written += qint64(count);
                    at += count;
                } else if (status != HistoryStore::WriteStatus::Busy || abandoned()) {
                    droppedByWriter += qint64(batch.size() - at);
                    break;
                } else {
                    busy();
                }
            }
            batch.clear();
            if (status == HistoryStore::WriteStatus::Failed) {
                writeError = store.error();
                break;
            }
        }
    }
    refuse();
    opened.db.close();

    std::lock_guard lock(mutex);
    writerDone = true;
    finished.notify_all();
}

}  // namespace quorvel
