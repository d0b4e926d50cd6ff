#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "checking/check_run.h"
#include "history/history.h"
#include "records/record_store.h"

namespace quorvel {

class HistoryRecorder;

// Records the window's check runs in the history file. The UI thread only
// queues: a thread of this writer's own opens the history, feeds each run's
// recorder and waits for it to finish, one run after the other, so a run's
// results reach the file before the next run's and the window never waits
// for the disk or for another program that holds the file.
class HistoryWriter {
  public:
    explicit HistoryWriter(QString path);
    // Closes with no time to spare.
    ~HistoryWriter();
    HistoryWriter(const HistoryWriter&) = delete;
    HistoryWriter& operator=(const HistoryWriter&) = delete;

    // UI thread. A run starts over the list as it is now; a record whose
    // identity came earlier in that list is not recorded again.
    void runStarted(const RecordStore& records);
    void recordChecked(const RecordCheck& check);
    void runEnded();
    // Writes what is pending until `deadline`, drops the rest and ends the
    // thread. Nothing is recorded afterwards.
    void close(std::chrono::steady_clock::time_point deadline);

  private:
    struct Task {
        enum class Kind { Start, Check, End };
        Kind kind = Kind::End;
        QDateTime runStartedAt;  // Start
        HistoryEntry entry;      // Check
    };
    void push(Task task);
    void work();

    const QString path_;
    // UI thread only.
    bool running_ = false;
    bool closed_ = false;
    // Where each identity first stood in the list when the run started.
    QHash<RecordIdentity, int> firstAt_;

    std::mutex mutex_;
    std::condition_variable wake_;   // the thread waits for tasks
    std::condition_variable ended_;  // close() waits for the thread
    std::deque<Task> tasks_;
    bool closing_ = false;  // the thread ends once the queue is empty
    bool giveUp_ = false;   // the thread ends now, dropping what is queued
    bool threadEnded_ = false;
    HistoryRecorder* finishing_ = nullptr;  // the recorder the thread waits for
    std::thread thread_;
};

}  // namespace quorvel
