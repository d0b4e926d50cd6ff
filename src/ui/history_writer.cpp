#include "ui/history_writer.h"

#include <memory>

#include "checking/deadline.h"
#include "history/history_recorder.h"

namespace quorvel {

namespace {

// How long the end of a run may take to reach the file. Another program may
// hold the file for a while (a cron job's batch); a minute means something
// is wrong, and what is not written by then is dropped rather than kept.
constexpr std::chrono::seconds kRunEndBound(60);

}  // namespace

HistoryWriter::HistoryWriter(QString path) : path_(std::move(path)) {}

HistoryWriter::~HistoryWriter() {
    close(std::chrono::steady_clock::now());
}

void HistoryWriter::runStarted(const RecordStore& records) {
    if (closed_) {
        return;
    }
    if (running_) {
        runEnded();
    }
    // Only identities that the list holds more than once need their first
    // place: every other record is recorded wherever it is handed out, even
    // when an edit during the run has moved it.
    QHash<RecordIdentity, int> firstPlace;
    firstPlace.reserve(records.size());
    firstAt_.clear();
    for (qsizetype i = 0; i < records.size(); ++i) {
        RecordIdentity identity = identityOf(records.view(i));
        if (const auto first = firstPlace.constFind(identity); first != firstPlace.cend()) {
            firstAt_.insert(std::move(identity), *first);
        } else {
            firstPlace.insert(std::move(identity), int(i));
        }
    }
    running_ = true;
    if (!thread_.joinable()) {
        thread_ = std::thread([this] { work(); });
    }
    push({Task::Kind::Start, QDateTime::currentDateTimeUtc(), {}});
}

void HistoryWriter::recordChecked(const RecordCheck& check) {
    if (!running_) {
        return;
    }
    RecordIdentity identity{check.partnerUrl, check.link};
    const auto first = firstAt_.constFind(identity);
    if (first != firstAt_.cend() && *first != check.index) {
        return;  // a later copy of a record in the list
    }
    push({Task::Kind::Check,
          {},
          {std::move(identity), QDateTime::currentDateTimeUtc(), check.outcome, check.reasonCode(),
           check.pageSignals, check.reciprocal, isOverdue(check.deadline, check.outcome.status)}});
}

void HistoryWriter::runEnded() {
    if (!running_) {
        return;
    }
    running_ = false;
    firstAt_.clear();
    push({Task::Kind::End, {}, {}});
}

void HistoryWriter::close(std::chrono::steady_clock::time_point deadline) {
    if (closed_) {
        return;
    }
    runEnded();
    closed_ = true;
    if (!thread_.joinable()) {
        return;
    }
    {
        std::unique_lock lock(mutex_);
        closing_ = true;
        wake_.notify_one();
        if (!ended_.wait_until(lock, deadline, [this] { return threadEnded_; })) {
            giveUp_ = true;
            if (finishing_) {
                finishing_->abandon();
            }
            wake_.notify_one();
        }
    }
    thread_.join();
}

void HistoryWriter::push(Task task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_one();
}

void HistoryWriter::work() {
    std::unique_ptr<HistoryRecorder> recorder;
    for (;;) {
        Task task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return !tasks_.empty() || closing_ || giveUp_; });
            if (giveUp_ || tasks_.empty()) {
                break;
            }
            task = std::move(tasks_.front());
            tasks_.pop_front();
            if (task.kind == Task::Kind::End) {
                finishing_ = recorder.get();
            }
        }
        switch (task.kind) {
            case Task::Kind::Start:
                recorder = std::make_unique<HistoryRecorder>(path_, task.runStartedAt);
                break;
            case Task::Kind::Check:
                if (recorder) {
                    recorder->add(std::move(task.entry));
                }
                break;
            case Task::Kind::End:
                if (recorder) {
                    recorder->finish(kRunEndBound);
                    std::lock_guard lock(mutex_);
                    finishing_ = nullptr;
                }
                recorder.reset();
                break;
        }
    }
    // A recorder still open here was given up on: it drops what it has not
    // written yet.
    recorder.reset();
    std::lock_guard lock(mutex_);
    threadEnded_ = true;
    ended_.notify_all();
}

}  // namespace quorvel
