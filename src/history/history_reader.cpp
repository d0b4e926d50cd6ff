#include "history/history_reader.h"

#include <sqlite3.h>

#include "history/history_file.h"

namespace quorvel {

using namespace Qt::StringLiterals;

namespace {

// The columns that summaryAt() reads, after the record's id. A file of
// version 1 (not migrated until the next run) has no columns for the facts
// that version 2 added: its checks read as checks without them.
// The last check's count and over-limit flag are those of the result of the
// record's last run, which is always among the kept ones.
constexpr char kFindRecord[] =
    "SELECT id, checks, last_status, last_reason, last_time, state, state_reason, since, "
    "last_found, last_signals, last_reciprocal, last_overdue, reciprocal_state, "
    "reciprocal_since, "
    "(SELECT count FROM results WHERE record = records.id AND run = records.last_run), "
    "(SELECT over_limit FROM results WHERE record = records.id AND run = records.last_run) "
    "FROM records WHERE partner_url = ?1 AND link = ?2";
constexpr int kFirstVersionWithFacts = 2;
constexpr char kFindRecordVersion1[] =
    "SELECT id, checks, last_status, last_reason, last_time, state, state_reason, since, "
    "last_found, '', 0, 0, '', NULL, "
    "(SELECT count FROM results WHERE record = records.id AND run = records.last_run), "
    "(SELECT over_limit FROM results WHERE record = records.id AND run = records.last_run) "
    "FROM records WHERE partner_url = ?1 AND link = ?2";

RecordSummary summaryAt(const SqliteStatement& row, int first) {
    RecordSummary summary;
    summary.checks = row.int64At(first);
    summary.lastStatus = CheckStatus(row.int64At(first + 1));
    summary.lastReason = row.textAt(first + 2);
    summary.lastCheckedAt = historyTime(row.int64At(first + 3));
    summary.state = stateFromName(row.textAt(first + 4)).value_or(ConfirmedState::None);
    summary.stateReason = row.textAt(first + 5);
    summary.since = historyTime(row.int64At(first + 6));
    summary.lastFound = historyTime(row.int64At(first + 7));
    summary.lastSignals = row.textAt(first + 8).split(u',', Qt::SkipEmptyParts);
    summary.lastReciprocal = CheckStatus(row.int64At(first + 9));
    summary.lastOverdue = row.int64At(first + 10) != 0;
    summary.reciprocalState = stateFromName(row.textAt(first + 11)).value_or(ConfirmedState::None);
    summary.reciprocalSince = historyTime(row.int64At(first + 12));
    summary.lastCount = row.int64At(first + 13);
    summary.lastOverLimit = row.int64At(first + 14) != 0;
    return summary;
}

// Reads the event columns run, time, change, previous, state, since, reason
// from `first` on; false for a change this program does not know.
bool eventAt(const SqliteStatement& row, int first, HistoryEvent* event) {
    const std::optional<ChangeKind> change = changeFromName(row.textAt(first + 2));
    if (!change) {
        return false;
    }
    event->runId = row.int64At(first);
    event->checkedAt = historyTime(row.int64At(first + 1));
    event->change = *change;
    event->previous = stateFromName(row.textAt(first + 3)).value_or(ConfirmedState::None);
    event->state = stateFromName(row.textAt(first + 4)).value_or(ConfirmedState::None);
    event->since = historyTime(row.int64At(first + 5));
    event->reason = row.textAt(first + 6);
    return true;
}

// A read transaction, so that a query sees one state of the file while a
// writer goes on.
class ReadSnapshot {
  public:
    explicit ReadSnapshot(SqliteDatabase& db) : db_(db) { db_.exec("BEGIN"); }
    ~ReadSnapshot() { db_.exec("COMMIT"); }
    ReadSnapshot(const ReadSnapshot&) = delete;
    ReadSnapshot& operator=(const ReadSnapshot&) = delete;

    // The record query for the schema of this state of the file (a run may
    // have migrated it since the reader opened it).
    SqliteStatement findRecord() {
        SqliteStatement version(db_, "PRAGMA user_version");
        const bool older = version.ok() && version.step() == SQLITE_ROW &&
                           version.int64At(0) < kFirstVersionWithFacts;
        return SqliteStatement(db_, older ? kFindRecordVersion1 : kFindRecord);
    }

  private:
    SqliteDatabase& db_;
};

}  // namespace

HistoryReader::HistoryReader(const QString& path, std::chrono::milliseconds busyTimeout) {
    OpenedHistory opened = openHistory(path, OpenPurpose::Reading, {busyTimeout, nullptr});
    db_ = std::move(opened.db);
    outcome_ = opened.outcome;
}

QString HistoryReader::unavailable() const {
    if (outcome_.usable() || outcome_.status == HistoryOpenStatus::Absent) {
        return QString();
    }
    return outcome_.message;
}

QString HistoryReader::failed() const {
    return u"history: "_s + db_.errorText();
}

QueryOutcome<QList<RecordSummary>> HistoryReader::summaries(
    const QList<RecordIdentity>& identities) {
    QueryOutcome<QList<RecordSummary>> answer;
    if (answer.error = unavailable(); !answer.error.isEmpty()) {
        return answer;
    }
    answer.value.resize(identities.size());
    if (!db_.isOpen()) {
        return answer;
    }
    ReadSnapshot snapshot(db_);
    SqliteStatement find = snapshot.findRecord();
    if (!find.ok()) {
        answer.error = failed();
        return answer;
    }
    for (qsizetype i = 0; i < identities.size(); ++i) {
        StatementUse use(find);
        find.bind(1, identities.at(i).partnerUrl);
        find.bind(2, identities.at(i).link);
        const int rc = find.step();
        if (rc == SQLITE_ROW) {
            answer.value[i] = summaryAt(find, 1);
        } else if (rc != SQLITE_DONE) {
            answer.error = failed();
            return answer;
        }
    }
    return answer;
}

QueryOutcome<RecordHistory> HistoryReader::recordHistory(const RecordIdentity& identity) {
    QueryOutcome<RecordHistory> answer;
    if (answer.error = unavailable(); !answer.error.isEmpty() || !db_.isOpen()) {
        return answer;
    }
    ReadSnapshot snapshot(db_);
    SqliteStatement find = snapshot.findRecord();
    SqliteStatement events(db_,
                           "SELECT run, time, change, previous, state, since, reason FROM events "
                           "WHERE record = ?1 ORDER BY id DESC");
    if (!find.ok() || !events.ok()) {
        answer.error = failed();
        return answer;
    }
    find.bind(1, identity.partnerUrl);
    find.bind(2, identity.link);
    int rc = find.step();
    if (rc == SQLITE_DONE) {
        return answer;  // never checked
    }
    if (rc != SQLITE_ROW) {
        answer.error = failed();
        return answer;
    }
    answer.value.summary = summaryAt(find, 1);
    events.bind(1, find.int64At(0));
    while ((rc = events.step()) == SQLITE_ROW) {
        HistoryEvent event;
        if (eventAt(events, 0, &event)) {
            answer.value.events.append(event);
        }
    }
    if (rc != SQLITE_DONE) {
        answer.error = failed();
    }
    return answer;
}

QueryOutcome<QList<RunEvent>> HistoryReader::eventsOfRun(qint64 runId) {
    QueryOutcome<QList<RunEvent>> answer;
    if (answer.error = unavailable(); !answer.error.isEmpty() || !db_.isOpen()) {
        return answer;
    }
    ReadSnapshot snapshot(db_);
    SqliteStatement events(db_,
                           "SELECT r.partner_url, r.link, e.run, e.time, e.change, e.previous, "
                           "e.state, e.since, e.reason FROM events e JOIN records r "
                           "ON r.id = e.record WHERE e.run = ?1 ORDER BY e.id");
    if (!events.ok()) {
        answer.error = failed();
        return answer;
    }
    events.bind(1, runId);
    int rc;
    while ((rc = events.step()) == SQLITE_ROW) {
        RunEvent event{{events.textAt(0), events.textAt(1)}, {}};
        if (eventAt(events, 2, &event.event)) {
            answer.value.append(event);
        }
    }
    if (rc != SQLITE_DONE) {
        answer.error = failed();
    }
    return answer;
}

}  // namespace quorvel
