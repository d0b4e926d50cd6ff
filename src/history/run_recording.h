#pragma once

#include <QDate>
#include <QDateTime>
#include <QHash>
#include <QString>

#include <chrono>
#include <map>
#include <memory>
#include <optional>

#include "checking/check_outcome.h"
#include "history/history.h"
#include "history/history_recorder.h"
#include "records/record_store.h"

namespace quorvel {

// One check run as the history records it, for the window and the command
// line alike: which checks go in (the first record of each identity in the
// list as it was when the run started), the entries they become (overdue
// decided here), and the end of the run, written on the recorder's own
// thread. The owner hands it every RecordCheck on one thread (the UI thread
// of the run).
//
//     RunRecording recording(path, records);
//     ... for each finished record:   recording.add(check);
//     ... at the end:                 recording.finish(bound);
//                                or   recording.finishInBackground(bound);
class RunRecording {
  public:
    // Records into the history at `path` (none: no history is kept, but what
    // is overdue is still told) a run over `records` as they are now. With a
    // `previous` recording, whose writing may still be under way, this one
    // writes after it; it is kept until this one is destroyed or a later
    // one finds its writing done.
    RunRecording(std::optional<QString> path, const RecordStore& records,
                 std::unique_ptr<RunRecording> previous = nullptr,
                 HistoryRecorderOptions options = {});
    // Finishes with no time to spare unless finished: what is not written
    // yet is dropped, the previous recording's too.
    ~RunRecording();
    RunRecording(const RunRecording&) = delete;
    RunRecording& operator=(const RunRecording&) = delete;

    bool keepsHistory() const { return recorder_ != nullptr; }
    // Whether the writing of this run has ended (or there is none): then
    // finish() answers at once.
    bool writingDone() const { return !recorder_ || recorder_->done(); }
    // Whether a check of the record at `index` with `identity` is recorded:
    // no earlier record of the list at the start had the same identity. A
    // record moved by an edit during the run is still recorded, unless its
    // identity stood in the list more than once.
    bool isRecorded(int index, const RecordIdentity& identity) const;
    // Whether the partner is late with the link: the deadline (read by the
    // run) has passed, `status` is neither Found nor Hidden, and the deadline
    // is not before the day of the record's first check, `firstChecked`
    // (invalid when this run is the first: then a passed deadline had passed
    // before the program saw the record). Owner's thread: it reads the date.
    static bool isOverdue(QDate deadline, CheckStatus status, const QDateTime& firstChecked);
    // The entry the history keeps of a check, checked now.
    HistoryEntry entryOf(const RecordCheck& check) const;

    // Hands a finished check in; it replaces one kept back for its record.
    void add(const RecordCheck& check);
    // Keeps a check back: its record is to be looked at once more, and
    // that check's add() replaces it.
    void keepBack(const RecordCheck& check);
    // Hands in what was kept back and not replaced.
    void addKeptBack();

    // Writes what is pending and waits at most `bound` for it (see
    // HistoryRecorder::finish). Without a history: an empty outcome.
    HistoryRunOutcome finish(std::chrono::milliseconds bound);
    // Ends the run without waiting; the recorder's thread writes what is
    // pending within `bound`.
    void finishInBackground(std::chrono::milliseconds bound);

  private:
    // Declared first, so destroyed last: it writes before this one.
    std::unique_ptr<RunRecording> previous_;
    std::unique_ptr<HistoryRecorder> recorder_;
    // The identities that the list held more than once, at their first place.
    QHash<RecordIdentity, int> firstAt_;
    std::map<int, HistoryEntry> keptBack_;
};

}  // namespace quorvel
