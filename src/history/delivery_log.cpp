#include "history/delivery_log.h"

#include <sqlite3.h>

#include "history/history_file.h"

namespace quorvel {

using namespace Qt::StringLiterals;

namespace {

// A run that never ended is taken as over once it began this long ago: the
// program that ran it was stopped, and its changes are still news.
constexpr qint64 kAbandonedRunSeconds = 24 * 60 * 60;

// Rolls back unless committed.
class Transaction {
  public:
    explicit Transaction(SqliteDatabase& db) : db_(db) {
        // IMMEDIATE: the write lock at once, so that two programs building
        // or claiming the same delivery wait for each other.
        open_ = db_.exec("BEGIN IMMEDIATE") == SQLITE_OK;
    }
    ~Transaction() {
        if (open_) {
            db_.exec("ROLLBACK");
        }
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    bool ok() const { return open_; }
    bool commit() {
        open_ = false;
        if (db_.exec("COMMIT") == SQLITE_OK) {
            return true;
        }
        db_.exec("ROLLBACK");
        return false;
    }

  private:
    SqliteDatabase& db_;
    bool open_ = false;
};

}  // namespace

DeliveryLog::DeliveryLog(const QString& historyPath, std::chrono::milliseconds busyTimeout) {
    OpenedHistory opened = openHistory(historyPath, OpenPurpose::Run, {busyTimeout, nullptr});
    db_ = std::move(opened.db);
    outcome_ = opened.outcome;
}

QString DeliveryLog::unavailable() const {
    return outcome_.usable() ? QString() : outcome_.message;
}

QString DeliveryLog::failed() const {
    return u"history: "_s + db_.errorText();
}

Outcome<QList<RunAwaitingNotice>> DeliveryLog::runsAwaitingNotice(const QDateTime& now) {
    Outcome<QList<RunAwaitingNotice>> answer;
    if (answer.error = unavailable(); !answer.error.isEmpty()) {
        return answer;
    }
    SqliteStatement runs(db_,
                         "SELECT id, started, list FROM runs WHERE notify = 1 AND (ended IS NOT "
                         "NULL OR started < ?1) AND id NOT IN (SELECT run FROM notices) "
                         "ORDER BY id");
    SqliteStatement totals(db_,
                           "SELECT status, count(*) FROM results WHERE run = ?1 GROUP BY status");
    if (!runs.ok() || !totals.ok()) {
        answer.error = failed();
        return answer;
    }
    runs.bind(1, historySeconds(now) - kAbandonedRunSeconds);
    int rc;
    while ((rc = runs.step()) == SQLITE_ROW) {
        RunAwaitingNotice run{runs.int64At(0), historyTime(runs.int64At(1)), runs.textAt(2), {}};
        StatementUse use(totals);
        totals.bind(1, run.run);
        while ((rc = totals.step()) == SQLITE_ROW) {
            run.totals[CheckStatus(totals.int64At(0))] = int(totals.int64At(1));
        }
        if (rc != SQLITE_DONE) {
            break;
        }
        answer.value.append(run);
    }
    if (rc != SQLITE_DONE) {
        answer.error = failed();
    }
    return answer;
}

Outcome<> DeliveryLog::keepNotice(qint64 run, const QString& notice, const QStringList& channels) {
    if (const QString why = unavailable(); !why.isEmpty()) {
        return Outcome<>::failure(why);
    }
    Transaction transaction(db_);
    SqliteStatement keep(db_, "INSERT OR IGNORE INTO notices (run, notice) VALUES (?1, ?2)");
    SqliteStatement deliver(
        db_, "INSERT INTO deliveries (run, channel, state) VALUES (?1, ?2, 'pending')");
    if (!transaction.ok() || !keep.ok() || !deliver.ok()) {
        return Outcome<>::failure(failed());
    }
    keep.bind(1, run);
    keep.bind(2, notice);
    if (keep.step() != SQLITE_DONE) {
        return Outcome<>::failure(failed());
    }
    if (sqlite3_changes(db_.handle()) == 1 && !notice.isEmpty()) {
        for (const QString& channel : channels) {
            StatementUse use(deliver);
            deliver.bind(1, run);
            deliver.bind(2, channel);
            if (deliver.step() != SQLITE_DONE) {
                return Outcome<>::failure(failed());
            }
        }
    }
    return transaction.commit() ? Outcome<>() : Outcome<>::failure(failed());
}

Outcome<QList<OpenDelivery>> DeliveryLog::openDeliveries(const QStringList& channels) {
    Outcome<QList<OpenDelivery>> answer;
    if (answer.error = unavailable(); !answer.error.isEmpty()) {
        return answer;
    }
    SqliteStatement open(db_,
                         "SELECT d.run, r.started, r.list, d.channel, n.notice, d.state, "
                         "d.attempts, d.parts, d.claimed_by, d.last_time FROM deliveries d "
                         "JOIN runs r ON r.id = d.run JOIN notices n ON n.run = d.run "
                         "WHERE d.state <> 'sent' ORDER BY d.run, d.channel");
    if (!open.ok()) {
        answer.error = failed();
        return answer;
    }
    int rc;
    while ((rc = open.step()) == SQLITE_ROW) {
        OpenDelivery d;
        d.run = open.int64At(0);
        d.runStarted = historyTime(open.int64At(1));
        d.list = open.textAt(2);
        d.channel = open.textAt(3);
        d.notice = open.textAt(4);
        d.state = open.textAt(5);
        d.attempts = int(open.int64At(6));
        d.parts = int(open.int64At(7));
        d.claimedBy = open.textAt(8);
        d.lastTime = historyTime(open.int64At(9));
        if (channels.contains(d.channel)) {
            answer.value.append(d);
        }
    }
    if (rc != SQLITE_DONE) {
        answer.error = failed();
    }
    return answer;
}

Outcome<bool> DeliveryLog::claim(const OpenDelivery& delivery, const QString& claimant,
                                 const QDateTime& at) {
    if (const QString why = unavailable(); !why.isEmpty()) {
        return Outcome<bool>::failure(why);
    }
    // Only as it was seen: a claim or an outcome of another program since
    // then changed its state or its attempts.
    SqliteStatement take(db_,
                         "UPDATE deliveries SET state = 'sending', attempts = attempts + 1, "
                         "claimed_by = ?3, last_time = ?4 WHERE run = ?1 AND channel = ?2 AND "
                         "state = ?5 AND attempts = ?6");
    if (!take.ok()) {
        return Outcome<bool>::failure(failed());
    }
    take.bind(1, delivery.run);
    take.bind(2, delivery.channel);
    take.bind(3, claimant);
    take.bind(4, historySeconds(at));
    take.bind(5, delivery.state);
    take.bind(6, delivery.attempts);
    if (take.step() != SQLITE_DONE) {
        return Outcome<bool>::failure(failed());
    }
    return {sqlite3_changes(db_.handle()) == 1, {}};
}

Outcome<> DeliveryLog::noteOutcome(qint64 run, const QString& channel, bool sent, int parts,
                                   const QString& error, const QDateTime& at) {
    if (const QString why = unavailable(); !why.isEmpty()) {
        return Outcome<>::failure(why);
    }
    SqliteStatement note(db_,
                         "UPDATE deliveries SET state = ?3, parts = ?4, last_error = ?5, "
                         "last_time = ?6 WHERE run = ?1 AND channel = ?2");
    if (!note.ok()) {
        return Outcome<>::failure(failed());
    }
    note.bind(1, run);
    note.bind(2, channel);
    note.bind(3, sent ? u"sent"_s : u"failed"_s);
    note.bind(4, parts);
    note.bind(5, error);
    note.bind(6, historySeconds(at));
    return note.step() == SQLITE_DONE ? Outcome<>() : Outcome<>::failure(failed());
}

}  // namespace quorvel
