#pragma once

#include <QDateTime>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "history/history.h"

namespace quorvel {

struct HistoryRecorderOptions {
    // Long enough that the window and a cron job writing the same file
    // both get through.
    std::chrono::milliseconds busyTimeout{10000};
    // A batch is committed when it holds this many checks, or this long
    // after its first one arrived.
    int batchSize = 500;
    std::chrono::milliseconds batchDelay{250};
    // The run's changes are to be sent out as a notice, and the record file
    // it checks (as named), kept with the run from its start: a notice is
    // built for it even when the program is stopped before it does so.
    bool notify = false;
    QString list = QString();
    // Which program runs the checks.
    RunSource source = RunSource::Unknown;
    // On the writer thread, each time another program has held the file for
    // the whole busy timeout (the writer then tries again): how an owner
    // tells that the history waits.
    std::function<void()> onBusy = nullptr;
};

struct HistoryRunOutcome {
    HistoryOpenOutcome open;
    qint64 runId = 0;  // 0 when the run was not recorded at all
    qint64 written = 0;
    qint64 dropped = 0;  // added but not written
    // One line for standard error ("history: ..."), empty when all went
    // well: the open outcome's message, or why checks were dropped.
    QString message;
};

// Records one check run. A writer thread opens the history (only now, at
// the start of a run: it repairs a damaged file or declines a newer one),
// registers the run and writes the checks handed to add() in batched
// transactions, so the caller never waits for the disk.
//
//     HistoryRecorder recorder(dir.filePath(kHistoryFileName),
//                              QDateTime::currentDateTimeUtc());
//     ... for each finished record at a first occurrence:
//     recorder.add({identity, QDateTime::currentDateTimeUtc(), check.outcome,
//                   check.reason, check.pageSignals, check.reciprocal, overdue});
//     ... when the run has ended:
//     HistoryRunOutcome outcome = recorder.finish(std::chrono::seconds(5));
class HistoryRecorder {
  public:
    // With a `previous` recorder (which must outlive this one), the writing
    // starts once that one's has ended, so that one run's checks reach the
    // file before the next run's.
    HistoryRecorder(QString path, QDateTime runStartedAt, HistoryRecorderOptions options = {},
                    const HistoryRecorder* previous = nullptr);
    // Finishes with no time to spare (pending checks are dropped) unless
    // finish() was called.
    ~HistoryRecorder();
    HistoryRecorder(const HistoryRecorder&) = delete;
    HistoryRecorder& operator=(const HistoryRecorder&) = delete;

    // Any thread, cheap: queues the check (or counts it as dropped when the
    // history is not in use). Only the first check of an identity in a run
    // is recorded.
    void add(HistoryEntry entry);
    // Writes what is pending and ends the writer thread. When `bound` runs
    // out first, whatever is not written by then is dropped: this never
    // waits much longer than `bound`. Later calls return the same outcome.
    HistoryRunOutcome finish(std::chrono::milliseconds bound);
    // Any thread: a finish() under way, or the next one, stops waiting soon
    // and drops what is not written yet, as if its bound had run out. For an
    // owner that finishes on a thread of its own and must end in time.
    void abandon();
    // Ends the run without waiting: the writer thread writes what is pending
    // and ends on its own, dropping whatever is not written when `bound` runs
    // out. A finish() afterwards waits for that (within its own bound).
    void finishInBackground(std::chrono::milliseconds bound);
    // Whether the writer thread has ended.
    bool done() const;

  private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
    std::thread writer_;
    bool finished_ = false;
    HistoryRunOutcome outcome_;
};

}  // namespace quorvel
