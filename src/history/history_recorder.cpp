#include "history/history_recorder.h"

#include <QDir>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
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
    QStringList notes;  // what the writer mended on the way

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
    // Registers the run in the open history; false when it could not.
    bool registerRun(HistoryStore& store);
    // After a write found the file damaged: the full check, then the
    // indexes rebuilt or the file replaced. True when the write may be tried
    // again (in a new file, the run registered anew).
    bool mend(std::optional<HistoryStore>& store, OpenedHistory& opened,
              const ConnectionOptions& connection);
    // The full check after a run, at most once a day.
    void checkAfterRun(std::optional<HistoryStore>& store, OpenedHistory& opened);
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
    const auto tell = [this](const QString& text) {
        outcome_.message += (outcome_.message.isEmpty() ? u"history: "_s : u"; "_s) + text;
    };
    for (const QString& note : s.notes) {
        tell(note);
    }
    if (s.open.usable() && outcome_.dropped > 0) {
        const QString why = !s.writeError.isEmpty() ? s.writeError : u"time ran out"_s;
        tell(u"%1 results not recorded (%2)"_s.arg(outcome_.dropped).arg(why));
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

bool HistoryRecorder::Shared::registerRun(HistoryStore& store) {
    HistoryStore::WriteStatus status = HistoryStore::WriteStatus::Busy;
    // Busy means another program held the file for the whole busy timeout;
    // it will let go, and finish() bounds the wait.
    while (status == HistoryStore::WriteStatus::Busy && !abandoned()) {
        runId = store.beginRun(runStartedAt, options.source, options.notify, options.list, &status);
        if (status == HistoryStore::WriteStatus::Busy && options.onBusy) {
            options.onBusy();
        }
    }
    if (status != HistoryStore::WriteStatus::Written) {
        if (status == HistoryStore::WriteStatus::Failed ||
            status == HistoryStore::WriteStatus::Damaged) {
            writeError = store.error();
        }
        runId = 0;
    }
    return runId != 0;
}

bool HistoryRecorder::Shared::mend(std::optional<HistoryStore>& store, OpenedHistory& opened,
                                   const ConnectionOptions& connection) {
    const QString seen = store->error();
    const IntegrityCheck check = checkIntegrity(opened.db);
    const QString shownPath = QDir::toNativeSeparators(path);
    switch (check.result) {
        case IntegrityCheck::Result::Sound:
            // Nothing the check can see: one more try tells a passing fault
            // from a lasting one, which then drops the checks with its reason.
            return true;
        case IntegrityCheck::Result::Rebuilt:
            notes += shownPath + u" had a damaged index ("_s + check.why + u"); rebuilt it"_s;
            return true;
        case IntegrityCheck::Result::Unfinished:
            writeError = seen + u"; the full check did not finish: "_s + check.why;
            return false;
        case IntegrityCheck::Result::Damaged:
            break;
    }
    // The checks written so far stay in the file moved aside; the rest of
    // the run goes to a new one.
    store.reset();
    opened.db.closeUntouched();
    opened = replaceDamagedHistory(path, check.why, connection);
    if (!opened.outcome.usable()) {
        writeError = opened.outcome.message.mid(u"history: "_s.size());
        runId = 0;
        return false;
    }
    open.status = opened.outcome.status;
    open.movedTo = opened.outcome.movedTo;
    notes +=
        opened.outcome.message.mid(u"history: "_s.size()) +
        (written > 0 ? u" (%1 results of this run are in the old one)"_s.arg(written) : QString());
    store.emplace(opened.db);
    return registerRun(*store);
}

void HistoryRecorder::Shared::checkAfterRun(std::optional<HistoryStore>& store,
                                            OpenedHistory& opened) {
    if (runId == 0 || abandoned() || !fullCheckDue(opened.db, runId)) {
        return;
    }
    const IntegrityCheck check = checkIntegrity(opened.db);
    const QString shownPath = QDir::toNativeSeparators(path);
    if (check.result == IntegrityCheck::Result::Rebuilt) {
        notes += shownPath + u" had a damaged index ("_s + check.why + u"); rebuilt it"_s;
    } else if (check.result == IntegrityCheck::Result::Damaged) {
        // As a damaged file found at the start of a run, with this run's
        // checks in it; the next run starts a new one.
        store.reset();
        opened.db.closeUntouched();
        const Outcome<QString> moved = moveHistoryAside(path);
        if (!moved) {
            notes += shownPath + u" is damaged ("_s + check.why +
                     u") and could not be moved aside ("_s + moved.error + u")"_s;
        } else {
            notes += shownPath + u" is damaged ("_s + check.why + u"); moved aside to "_s +
                     QDir::toNativeSeparators(moved.value) +
                     u" with this run's checks; the next run starts a new one"_s;
        }
    }
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
        std::optional<HistoryStore> store(std::in_place, opened.db);
        const qint64 startedAt = historySeconds(runStartedAt);
        HistoryStore::WriteStatus status = HistoryStore::WriteStatus::Written;
        const auto busy = [this] {
            if (options.onBusy) {
                options.onBusy();
            }
        };
        registerRun(*store);
        while (runId != 0 && takeBatch(&batch)) {
            // A batch that piled up while the file was busy goes in slices, so
            // no transaction holds the lock for long.
            bool mended = false;  // once per slice
            for (size_t at = 0; at < batch.size();) {
                const size_t count = std::min(batch.size() - at, size_t(options.batchSize));
                const std::span<const HistoryEntry> slice(batch.data() + at, count);
                status = store->write(slice, runId, startedAt);
                if (status == HistoryStore::WriteStatus::Written) {
                    written += qint64(count);
                    at += count;
                    mended = false;
                } else if (status == HistoryStore::WriteStatus::Damaged && !mended &&
                           !abandoned()) {
                    mended = true;
                    if (!mend(store, opened, connection)) {
                        droppedByWriter += qint64(batch.size() - at);
                        break;
                    }
                } else if (status != HistoryStore::WriteStatus::Busy || abandoned()) {
                    if (status == HistoryStore::WriteStatus::Damaged) {
                        writeError = store->error();
                    }
                    droppedByWriter += qint64(batch.size() - at);
                    break;
                } else {
                    busy();
                }
            }
            batch.clear();
            if (status == HistoryStore::WriteStatus::Failed) {
                writeError = store->error();
                break;
            }
            if (status == HistoryStore::WriteStatus::Damaged) {
                break;
            }
        }
        // Every check handed over is written: the run is over.
        if (runId != 0 && store && !abandoned() && droppedByWriter == 0 && writeError.isEmpty()) {
            store->endRun(runId, QDateTime::currentDateTimeUtc());
        }
        if (status == HistoryStore::WriteStatus::Written) {
            checkAfterRun(store, opened);
        }
    }
    refuse();
    opened.db.close();

    std::lock_guard lock(mutex);
    writerDone = true;
    finished.notify_all();
}

}  // namespace quorvel
