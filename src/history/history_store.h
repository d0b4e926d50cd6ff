#pragma once

// Writing checks into an open history. Internal to the history library: the
// recorder's writer thread owns one.

#include <QString>

#include <span>

#include "history/history.h"
#include "history/sqlite_db.h"

namespace quorvel {

class HistoryStore {
  public:
    explicit HistoryStore(SqliteDatabase& db);

    enum class WriteStatus {
        Written,
        Busy,         // another writer held the file too long; nothing written, try again
        Interrupted,  // abandoned; nothing written
        Failed,       // nothing written; error() says why
        // The file contradicts itself (an index that leads to another row,
        // an update that found no row, a damaged page): nothing written;
        // error() says what was seen. A full integrity check tells more.
        Damaged,
    };

    // Registers a run of the program `source` (that asks for a notice of its
    // changes, for the record file `list`, when `notify`); its id, or 0 with
    // the status.
    qint64 beginRun(const QDateTime& startedAt, RunSource source, bool notify, const QString& list,
                    WriteStatus* status);
    // Notes that the run's last check is written.
    WriteStatus endRun(qint64 runId, const QDateTime& at);
    // Writes the entries of a run in one transaction: all or nothing. An
    // identity that already has a result in this run is skipped; every other
    // entry adds its rows, or the write fails.
    WriteStatus write(std::span<const HistoryEntry> entries, qint64 runId, qint64 runStartedAt);
    QString error() const { return error_; }

  private:
    bool writeOne(const HistoryEntry& entry, qint64 runId, qint64 runStartedAt);
    bool insertEvent(qint64 recordId, qint64 runId, qint64 checkedAt, const StateEvent& event,
                     const QString& reason, const AnchorChange& anchors = {});
    WriteStatus failure();
    // Fails the write as Damaged, saying what was seen.
    bool damaged(const QString& what);

    SqliteDatabase& db_;
    QString error_;
    bool damaged_ = false;  // set by damaged(), for the write that saw it
    bool prepared_ = true;
    SqliteStatement insertRun_;
    SqliteStatement endRun_;
    SqliteStatement findRecord_;
    SqliteStatement confirmRecord_;
    SqliteStatement insertRecord_;
    SqliteStatement insertResult_;
    SqliteStatement extendStreak_;
    SqliteStatement insertStreak_;
    SqliteStatement updateRecord_;
    SqliteStatement insertEvent_;
    SqliteStatement pruneResults_;
};

}  // namespace quorvel
