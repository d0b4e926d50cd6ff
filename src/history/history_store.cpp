#include "history/history_store.h"

#include <sqlite3.h>

namespace quorvel {

namespace {

void bindTime(SqliteStatement& statement, int index, qint64 seconds) {
    if (seconds == 0) {
        statement.bindNull(index);
    } else {
        statement.bind(index, seconds);
    }
}

}  // namespace

HistoryStore::HistoryStore(SqliteDatabase& db)
    : db_(db),
      insertRun_(db, "INSERT INTO runs (started, source) VALUES (?1, ?2)"),
      findRecord_(db,
                  "SELECT id, checks, last_status, last_reason, streak, state, since, "
                  "state_reason, missing_streak, missing_streak_since, failed_streak, "
                  "failed_streak_since, last_found, blocked_streak, blocked_streak_since, "
                  "reciprocal_state, reciprocal_since, reciprocal_missing_streak, "
                  "reciprocal_missing_streak_since FROM records "
                  "WHERE partner_url = ?1 AND link = ?2"),
      insertRecord_(db, "INSERT INTO records (partner_url, link) VALUES (?1, ?2)"),
      insertResult_(db,
                    "INSERT OR IGNORE INTO results (record, run, time, status, count, over_limit, "
                    "reason, signals, reciprocal, overdue) "
                    "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)"),
      extendStreak_(db, "UPDATE streaks SET last_time = ?2, checks = checks + 1 WHERE id = ?1"),
      insertStreak_(db,
                    "INSERT INTO streaks (record, status, reason, first_time, last_time, checks) "
                    "VALUES (?1, ?2, ?3, ?4, ?4, 1)"),
      updateRecord_(db,
                    "UPDATE records SET checks = checks + 1, last_run = ?2, last_time = ?3, "
                    "last_status = ?4, last_reason = ?5, streak = ?6, state = ?7, since = ?8, "
                    "state_reason = ?9, missing_streak = ?10, missing_streak_since = ?11, "
                    "failed_streak = ?12, failed_streak_since = ?13, last_found = ?14, "
                    "last_signals = ?15, last_reciprocal = ?16, last_overdue = ?17, "
                    "blocked_streak = ?18, blocked_streak_since = ?19, reciprocal_state = ?20, "
                    "reciprocal_since = ?21, reciprocal_missing_streak = ?22, "
                    "reciprocal_missing_streak_since = ?23 WHERE id = ?1"),
      insertEvent_(db,
                   "INSERT INTO events (record, run, time, change, previous, state, since, "
                   "reason) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)"),
      // Keeps the record's results of its last kKeptRunsPerRecord runs.
      pruneResults_(db,
                    "DELETE FROM results WHERE record = ?1 AND run <= (SELECT run FROM results "
                    "WHERE record = ?1 ORDER BY run DESC LIMIT 1 OFFSET ?2)") {
    for (const SqliteStatement* statement :
         {&insertRun_, &findRecord_, &insertRecord_, &insertResult_, &extendStreak_, &insertStreak_,
          &updateRecord_, &insertEvent_, &pruneResults_}) {
        prepared_ = prepared_ && statement->ok();
    }
    if (!prepared_) {
        error_ = db_.errorText();
    }
}

HistoryStore::WriteStatus HistoryStore::failure() {
    const int code = db_.errorCode();
    error_ = db_.errorText();
    if (db_.abandoned() || (code & 0xff) == SQLITE_INTERRUPT) {
        return WriteStatus::Interrupted;
    }
    return (code & 0xff) == SQLITE_BUSY ? WriteStatus::Busy : WriteStatus::Failed;
}

qint64 HistoryStore::beginRun(const QDateTime& startedAt, RunSource source, WriteStatus* status) {
    if (!prepared_) {
        *status = WriteStatus::Failed;
        return 0;
    }
    StatementUse use(insertRun_);
    insertRun_.bind(1, historySeconds(startedAt));
    insertRun_.bind(2, runSourceName(source).toString());
    if (insertRun_.step() != SQLITE_DONE) {
        *status = failure();
        return 0;
    }
    *status = WriteStatus::Written;
    return sqlite3_last_insert_rowid(db_.handle());
}

HistoryStore::WriteStatus HistoryStore::write(std::span<const HistoryEntry> entries, qint64 runId,
                                              qint64 runStartedAt) {
    if (!prepared_) {
        return WriteStatus::Failed;
    }
    // IMMEDIATE takes the write lock at once: a deferred transaction that
    // read first could not wait for it and would fail at its first write.
    if (db_.exec("BEGIN IMMEDIATE") != SQLITE_OK) {
        return failure();
    }
    for (const HistoryEntry& entry : entries) {
        if (db_.abandoned() || !writeOne(entry, runId, runStartedAt)) {
            const WriteStatus status = failure();
            db_.exec("ROLLBACK");
            return db_.abandoned() ? WriteStatus::Interrupted : status;
        }
    }
    if (db_.exec("COMMIT") != SQLITE_OK) {
        const WriteStatus status = failure();
        db_.exec("ROLLBACK");
        return status;
    }
    return WriteStatus::Written;
}

bool HistoryStore::writeOne(const HistoryEntry& entry, qint64 runId, qint64 runStartedAt) {
    const qint64 checkedAt = historySeconds(entry.checkedAt);
    const CheckStatus status = entry.outcome.status;
    // By name, so that a signal a later program adds reads back as itself.
    const QString signalText = signalNames(entry.pageSignals).join(u',');

    // The record's row, created on its first check.
    qint64 recordId = 0;
    qint64 checks = 0;
    bool sameStreak = false;
    qint64 streakId = 0;
    TrackedState tracked;
    ReciprocalTracked reciprocal;
    {
        StatementUse use(findRecord_);
        findRecord_.bind(1, entry.identity.partnerUrl);
        findRecord_.bind(2, entry.identity.link);
        const int rc = findRecord_.step();
        if (rc == SQLITE_ROW) {
            recordId = findRecord_.int64At(0);
            checks = findRecord_.int64At(1);
            streakId = findRecord_.int64At(4);
            sameStreak = checks > 0 && streakId != 0 && findRecord_.int64At(2) == qint64(status) &&
                         findRecord_.textAt(3) == entry.reason;
            tracked.state = stateFromName(findRecord_.textAt(5)).value_or(ConfirmedState::None);
            tracked.since = findRecord_.int64At(6);
            tracked.reason = findRecord_.textAt(7);
            tracked.missingStreak = int(findRecord_.int64At(8));
            tracked.missingStreakSince = findRecord_.int64At(9);
            tracked.failedStreak = int(findRecord_.int64At(10));
            tracked.failedStreakSince = findRecord_.int64At(11);
            tracked.lastFound = findRecord_.int64At(12);
            tracked.blockedStreak = int(findRecord_.int64At(13));
            tracked.blockedStreakSince = findRecord_.int64At(14);
            reciprocal.state = stateFromName(findRecord_.textAt(15)).value_or(ConfirmedState::None);
            reciprocal.since = findRecord_.int64At(16);
            reciprocal.missingStreak = int(findRecord_.int64At(17));
            reciprocal.missingStreakSince = findRecord_.int64At(18);
        } else if (rc != SQLITE_DONE) {
            return false;
        }
    }
    if (recordId == 0) {
        StatementUse use(insertRecord_);
        insertRecord_.bind(1, entry.identity.partnerUrl);
        insertRecord_.bind(2, entry.identity.link);
        if (insertRecord_.step() != SQLITE_DONE) {
            return false;
        }
        recordId = sqlite3_last_insert_rowid(db_.handle());
    }

    {
        StatementUse use(insertResult_);
        insertResult_.bind(1, recordId);
        insertResult_.bind(2, runId);
        insertResult_.bind(3, checkedAt);
        insertResult_.bind(4, qint64(status));
        insertResult_.bind(5, qint64(entry.outcome.count));
        insertResult_.bind(6, qint64(entry.outcome.overLimit ? 1 : 0));
        insertResult_.bind(7, entry.reason);
        insertResult_.bind(8, signalText);
        insertResult_.bind(9, qint64(entry.reciprocal));
        insertResult_.bind(10, qint64(entry.overdue ? 1 : 0));
        if (insertResult_.step() != SQLITE_DONE) {
            return false;
        }
        if (sqlite3_changes(db_.handle()) == 0) {
            return true;  // this run has recorded the identity already
        }
    }

    if (sameStreak) {
        StatementUse use(extendStreak_);
        extendStreak_.bind(1, streakId);
        extendStreak_.bind(2, checkedAt);
        if (extendStreak_.step() != SQLITE_DONE) {
            return false;
        }
    } else {
        StatementUse use(insertStreak_);
        insertStreak_.bind(1, recordId);
        insertStreak_.bind(2, qint64(status));
        insertStreak_.bind(3, entry.reason);
        insertStreak_.bind(4, checkedAt);
        if (insertStreak_.step() != SQLITE_DONE) {
            return false;
        }
        streakId = sqlite3_last_insert_rowid(db_.handle());
    }

    const std::optional<StateEvent> event =
        applyCheck(tracked, {status, entry.reason, checkedAt, runStartedAt});
    const std::optional<StateEvent> reciprocalEvent =
        applyReciprocalCheck(reciprocal, entry.reciprocal, runStartedAt);
    {
        StatementUse use(updateRecord_);
        updateRecord_.bind(1, recordId);
        updateRecord_.bind(2, runId);
        updateRecord_.bind(3, checkedAt);
        updateRecord_.bind(4, qint64(status));
        updateRecord_.bind(5, entry.reason);
        updateRecord_.bind(6, streakId);
        updateRecord_.bind(7, stateName(tracked.state).toString());
        bindTime(updateRecord_, 8, tracked.since);
        updateRecord_.bind(9, tracked.reason);
        updateRecord_.bind(10, qint64(tracked.missingStreak));
        bindTime(updateRecord_, 11, tracked.missingStreakSince);
        updateRecord_.bind(12, qint64(tracked.failedStreak));
        bindTime(updateRecord_, 13, tracked.failedStreakSince);
        bindTime(updateRecord_, 14, tracked.lastFound);
        updateRecord_.bind(15, signalText);
        updateRecord_.bind(16, qint64(entry.reciprocal));
        updateRecord_.bind(17, qint64(entry.overdue ? 1 : 0));
        updateRecord_.bind(18, qint64(tracked.blockedStreak));
        bindTime(updateRecord_, 19, tracked.blockedStreakSince);
        updateRecord_.bind(20, stateName(reciprocal.state).toString());
        bindTime(updateRecord_, 21, reciprocal.since);
        updateRecord_.bind(22, qint64(reciprocal.missingStreak));
        bindTime(updateRecord_, 23, reciprocal.missingStreakSince);
        if (updateRecord_.step() != SQLITE_DONE) {
            return false;
        }
    }
    // The partner's event first: readers list a run's events in the order
    // they were written.
    if (event && !insertEvent(recordId, runId, checkedAt, *event, entry.reason)) {
        return false;
    }
    // The check's reason is about the partner's page, not the user's own.
    if (reciprocalEvent && !insertEvent(recordId, runId, checkedAt, *reciprocalEvent, QString())) {
        return false;
    }
    if (checks + 1 > kKeptRunsPerRecord) {
        StatementUse use(pruneResults_);
        pruneResults_.bind(1, recordId);
        pruneResults_.bind(2, qint64(kKeptRunsPerRecord));
        if (pruneResults_.step() != SQLITE_DONE) {
            return false;
        }
    }
    return true;
}

bool HistoryStore::insertEvent(qint64 recordId, qint64 runId, qint64 checkedAt,
                               const StateEvent& event, const QString& reason) {
    StatementUse use(insertEvent_);
    insertEvent_.bind(1, recordId);
    insertEvent_.bind(2, runId);
    insertEvent_.bind(3, checkedAt);
    insertEvent_.bind(4, changeName(event.change).toString());
    insertEvent_.bind(5, stateName(event.previous).toString());
    insertEvent_.bind(6, stateName(event.state).toString());
    insertEvent_.bind(7, event.since);
    insertEvent_.bind(8, reason);
    return insertEvent_.step() == SQLITE_DONE;
}

}  // namespace quorvel
