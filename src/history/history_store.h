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
    };

    // Registers a run; its id, or 0 with the status.
    qint64 beginRun(const QDateTime& startedAt, RunSource source, WriteStatus* status);
    // Writes the entries of a run in one transaction: all or nothing. An
    // identity that already has a result in this run is skipped.
    WriteStatus write(std::span<const HistoryEntry> entries, qint64 runId, qint64 runStartedAt);
    QString error() const { return error_; }

  private:
    bool writeOne(const HistoryEntry& entry, qint64 runId, qint64 runStartedAt);
    bool insertEvent(qint64 recordId, qint64 runId, qint64 checkedAt, const StateEvent& event,
                     const QString& reason);
    WriteStatus failure();

    SqliteDatabase& db_;
    QString error_;
    bool prepared_ = true;
    SqliteStatement insertRun_;
    SqliteStatement findRecord_;
    SqliteStatement insertRecord_;
    SqliteStatement insertResult_;
    SqliteStatement extendStreak_;
    SqliteStatement insertStreak_;
    SqliteStatement updateRecord_;
    SqliteStatement insertEvent_;
    SqliteStatement pruneResults_;
};

}  // namespace quorvel
