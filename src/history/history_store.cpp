#include "history/history_store.h"

#include <sqlite3.h>

namespace quorvel {

using namespace Qt::StringLiterals;

namespace {

void bindTime(SqliteStatement& statement, int index, qint64 seconds) {
    if (seconds == 0) {
        statement.bindNull(index);
    } else {
        statement.bind(index, seconds);
    }
}

void bindExternal(SqliteStatement& statement, int index, int external) {
    if (external < 0) {
        statement.bindNull(index);
    } else {
        statement.bind(index, qint64(external));
    }
}

// What the rendering of a Missing check found.
CheckStatus renderedStatusOf(const HistoryEntry& entry) {
    if (!entry.rendered) {
        return CheckStatus::None;
    }
    if (entry.pageSignals & RenderedFound) {
        return CheckStatus::Found;
    }
    return (entry.pageSignals & RenderedHidden) ? CheckStatus::Hidden : CheckStatus::Missing;
}

}  // namespace

HistoryStore::HistoryStore(SqliteDatabase& db)
    : db_(db),
      insertRun_(db, "INSERT INTO runs (started, source, notify, list) VALUES (?1, ?2, ?3, ?4)"),
      endRun_(db, "UPDATE runs SET ended = ?2 WHERE id = ?1"),
      findRecord_(db,
                  "SELECT id, checks, last_status, last_reason, streak, state, since, "
                  "state_reason, missing_streak, missing_streak_since, failed_streak, "
                  "failed_streak_since, last_found, blocked_streak, blocked_streak_since, "
                  "reciprocal_state, reciprocal_since, reciprocal_missing_streak, "
                  "reciprocal_missing_streak_since, last_overdue, (SELECT s.first_time "
                  "FROM streaks s WHERE s.record = records.id ORDER BY s.id LIMIT 1), "
                  "found_anchor, render_found FROM records "
                  "WHERE partner_url = ?1 AND link = ?2"),
      // The row an index led to, read by its id: only the table knows whose
      // it is (a query through the index reads the index's copy of the key).
      confirmRecord_(db, "SELECT partner_url = ?2 AND link = ?3 FROM records WHERE id = ?1"),
      insertRecord_(db, "INSERT INTO records (partner_url, link) VALUES (?1, ?2)"),
      insertResult_(db,
                    "INSERT OR IGNORE INTO results (record, run, time, status, count, over_limit, "
                    "reason, signals, reciprocal, overdue, anchor, near_link, canonical, "
                    "robots_agent, external, rendered) "
                    "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, ?12, ?13, ?14, ?15, "
                    "?16)"),
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
                    "reciprocal_missing_streak_since = ?23, last_anchor = ?24, "
                    "last_near_link = ?25, last_canonical = ?26, last_robots_agent = ?27, "
                    "last_external = ?28, found_anchor = ?29, render_found = ?30 WHERE id = ?1"),
      insertEvent_(db,
                   "INSERT INTO events (record, run, time, change, previous, state, since, "
                   "reason, previous_anchor, anchor) "
                   "VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)"),
      // Keeps the record's results of its last kKeptRunsPerRecord runs.
      pruneResults_(db,
                    "DELETE FROM results WHERE record = ?1 AND run <= (SELECT run FROM results "
                    "WHERE record = ?1 ORDER BY run DESC LIMIT 1 OFFSET ?2)") {
    for (const SqliteStatement* statement :
         {&insertRun_, &endRun_, &findRecord_, &confirmRecord_, &insertRecord_, &insertResult_,
          &extendStreak_, &insertStreak_, &updateRecord_, &insertEvent_, &pruneResults_}) {
        if (prepared_ && !statement->ok()) {
            prepared_ = false;
            error_ = statement->prepareError();  // the connection's error is a later one's
        }
    }
}

HistoryStore::WriteStatus HistoryStore::failure() {
    if (damaged_) {
        return WriteStatus::Damaged;  // error_ says what
    }
    const int code = db_.errorCode();
    error_ = db_.errorText();
    if (db_.abandoned() || (code & 0xff) == SQLITE_INTERRUPT) {
        return WriteStatus::Interrupted;
    }
    if (isDamageCode(code)) {
        return WriteStatus::Damaged;
    }
    return (code & 0xff) == SQLITE_BUSY ? WriteStatus::Busy : WriteStatus::Failed;
}

bool HistoryStore::damaged(const QString& what) {
    damaged_ = true;
    error_ = what;
    return false;
}

qint64 HistoryStore::beginRun(const QDateTime& startedAt, RunSource source, bool notify,
                              const QString& list, WriteStatus* status) {
    if (!prepared_) {
        *status = WriteStatus::Failed;
        return 0;
    }
    StatementUse use(insertRun_);
    insertRun_.bind(1, historySeconds(startedAt));
    insertRun_.bind(2, runSourceName(source).toString());
    insertRun_.bind(3, notify ? 1 : 0);
    insertRun_.bind(4, list);
    if (insertRun_.step() != SQLITE_DONE) {
        *status = failure();
        return 0;
    }
    *status = WriteStatus::Written;
    return sqlite3_last_insert_rowid(db_.handle());
}

HistoryStore::WriteStatus HistoryStore::endRun(qint64 runId, const QDateTime& at) {
    if (!prepared_) {
        return WriteStatus::Failed;
    }
    StatementUse use(endRun_);
    endRun_.bind(1, runId);
    endRun_.bind(2, historySeconds(at));
    return endRun_.step() == SQLITE_DONE ? WriteStatus::Written : failure();
}

HistoryStore::WriteStatus HistoryStore::write(std::span<const HistoryEntry> entries, qint64 runId,
                                              qint64 runStartedAt) {
    if (!prepared_) {
        return WriteStatus::Failed;
    }
    damaged_ = false;
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
    bool wasOverdue = true;  // a first check tells no news of a deadline
    std::optional<QString> foundAnchor;
    qint64 firstCheckedAt = 0;  // 0: this is the record's first check
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
            wasOverdue = checks > 0 && findRecord_.int64At(19) != 0;
            firstCheckedAt = findRecord_.int64At(20);
            if (!findRecord_.isNull(21)) {
                foundAnchor = findRecord_.textAt(21);
            }
            tracked.renderFound = findRecord_.int64At(22) != 0;
        } else if (rc != SQLITE_DONE) {
            return false;
        }
    }
    if (recordId != 0) {
        StatementUse use(confirmRecord_);
        confirmRecord_.bind(1, recordId);
        confirmRecord_.bind(2, entry.identity.partnerUrl);
        confirmRecord_.bind(3, entry.identity.link);
        const int rc = confirmRecord_.step();
        if (rc != SQLITE_ROW) {
            return rc == SQLITE_DONE
                       ? damaged(u"an index leads to record %1, which is not there"_s.arg(recordId))
                       : false;
        }
        if (confirmRecord_.int64At(0) != 1) {
            return damaged(u"an index leads to record %1, which is another one"_s.arg(recordId));
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

    // A deadline that had passed before the record's first check was never
    // a promise the program saw lapse.
    const qint64 firstCheck = firstCheckedAt != 0 ? firstCheckedAt : checkedAt;
    const bool overdue = entry.overdue && firstCheck < entry.deadlineEndsAt;

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
        insertResult_.bind(10, qint64(overdue ? 1 : 0));
        insertResult_.bind(11, entry.anchor);
        insertResult_.bind(12, entry.nearLink);
        insertResult_.bind(13, entry.canonical);
        insertResult_.bind(14, entry.robotsAgent);
        bindExternal(insertResult_, 15, entry.external);
        insertResult_.bind(16, qint64(entry.rendered ? 1 : 0));
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
        if (sqlite3_changes(db_.handle()) != 1) {
            return damaged(
                u"record %1 names streak %2, which is not there"_s.arg(recordId).arg(streakId));
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

    const std::optional<StateEvent> event = applyCheck(
        tracked,
        {status, entry.reason, checkedAt, runStartedAt, entry.rendered, renderedStatusOf(entry)});
    const std::optional<AnchorChange> anchorChange = applyAnchor(foundAnchor, status, entry.anchor);
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
        updateRecord_.bind(17, qint64(overdue ? 1 : 0));
        updateRecord_.bind(18, qint64(tracked.blockedStreak));
        bindTime(updateRecord_, 19, tracked.blockedStreakSince);
        updateRecord_.bind(20, stateName(reciprocal.state).toString());
        bindTime(updateRecord_, 21, reciprocal.since);
        updateRecord_.bind(22, qint64(reciprocal.missingStreak));
        bindTime(updateRecord_, 23, reciprocal.missingStreakSince);
        updateRecord_.bind(24, entry.anchor);
        updateRecord_.bind(25, entry.nearLink);
        updateRecord_.bind(26, entry.canonical);
        updateRecord_.bind(27, entry.robotsAgent);
        bindExternal(updateRecord_, 28, entry.external);
        if (foundAnchor) {
            updateRecord_.bind(29, *foundAnchor);
        } else {
            updateRecord_.bindNull(29);
        }
        updateRecord_.bind(30, qint64(tracked.renderFound ? 1 : 0));
        if (updateRecord_.step() != SQLITE_DONE) {
            return false;
        }
        if (sqlite3_changes(db_.handle()) != 1) {
            return damaged(u"record %1 could not be updated"_s.arg(recordId));
        }
    }
    // The partner's event first: readers list a run's events in the order
    // they were written.
    if (event && !insertEvent(recordId, runId, checkedAt, *event, entry.reason)) {
        return false;
    }
    if (anchorChange &&
        !insertEvent(recordId, runId, checkedAt,
                     {ChangeKind::AnchorChanged, tracked.state, tracked.state, runStartedAt},
                     entry.reason, *anchorChange)) {
        return false;
    }
    // The check's reason is about the partner's page, not the user's own.
    if (reciprocalEvent && !insertEvent(recordId, runId, checkedAt, *reciprocalEvent, QString())) {
        return false;
    }
    // A lapsed deadline is news once, when a check first finds it (the
    // flag stays up until the link is there or the deadline moves).
    if (overdue && !wasOverdue &&
        !insertEvent(recordId, runId, checkedAt,
                     {ChangeKind::Overdue, tracked.state, tracked.state, runStartedAt},
                     QString())) {
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
                               const StateEvent& event, const QString& reason,
                               const AnchorChange& anchors) {
    StatementUse use(insertEvent_);
    insertEvent_.bind(1, recordId);
    insertEvent_.bind(2, runId);
    insertEvent_.bind(3, checkedAt);
    insertEvent_.bind(4, changeName(event.change).toString());
    insertEvent_.bind(5, stateName(event.previous).toString());
    insertEvent_.bind(6, stateName(event.state).toString());
    insertEvent_.bind(7, event.since);
    insertEvent_.bind(8, reason);
    insertEvent_.bind(9, anchors.previous);
    insertEvent_.bind(10, anchors.anchor);
    return insertEvent_.step() == SQLITE_DONE;
}

}  // namespace quorvel
