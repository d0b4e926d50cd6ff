#include "history/history_reader.h"

#include <sqlite3.h>

#include <QHash>
#include <QMap>
#include <QSet>

#include "history/history_file.h"

namespace quorvel {

using namespace Qt::StringLiterals;

namespace {

// The columns that summaryAt() reads, after the record's id. A file of
// version 1 (not migrated until the next run) has no columns for the facts
// that version 2 added: its checks read as checks without them.
// The record's first check is the first of its rows of equal results.
constexpr char kRecordColumns[] =
    "id, checks, last_status, last_reason, last_time, state, state_reason, since, last_found, "
    "last_signals, last_reciprocal, last_overdue, reciprocal_state, reciprocal_since, "
    "(SELECT s.first_time FROM streaks s WHERE s.record = records.id ORDER BY s.id LIMIT 1)";
constexpr char kRecordColumnsVersion1[] =
    "id, checks, last_status, last_reason, last_time, state, state_reason, since, last_found, "
    "'', 0, 0, '', NULL, "
    "(SELECT s.first_time FROM streaks s WHERE s.record = records.id ORDER BY s.id LIMIT 1)";
// Then the facts of the link, which later versions keep.
constexpr char kLinkColumns[] =
    ", last_anchor, last_near_link, last_canonical, last_robots_agent, "
    "coalesce(last_external, -1), render_found";
constexpr char kLinkColumnsBefore[] = ", '', '', '', '', -1, 0";
constexpr int kRecordColumnCount = 21;
constexpr int kFirstVersionWithFacts = 2;
constexpr int kFirstVersionWithSources = 3;

// The columns of a kept check that pastCheckAt() reads, by the same rule.
constexpr char kCheckColumns[] =
    "r.time, r.status, r.reason, r.count, r.over_limit, r.signals, r.reciprocal, r.overdue";
constexpr char kCheckColumnsVersion1[] =
    "r.time, r.status, r.reason, r.count, r.over_limit, '', 0, 0";

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
    summary.firstChecked = historyTime(row.int64At(first + 13));
    summary.lastAnchor = row.textAt(first + 14);
    summary.lastNearLink = row.textAt(first + 15);
    summary.lastCanonical = row.textAt(first + 16);
    summary.lastRobotsAgent = row.textAt(first + 17);
    summary.lastExternal = int(row.int64At(first + 18));
    summary.renderedOnly =
        row.int64At(first + 19) != 0 &&
        (summary.state == ConfirmedState::Found || summary.state == ConfirmedState::Hidden);
    return summary;
}

PastCheck pastCheckAt(const SqliteStatement& row, int first) {
    PastCheck check;
    check.checkedAt = historyTime(row.int64At(first));
    check.status = CheckStatus(row.int64At(first + 1));
    check.reason = row.textAt(first + 2);
    check.count = int32_t(row.int64At(first + 3));
    check.overLimit = row.int64At(first + 4) != 0;
    check.signalNames = row.textAt(first + 5).split(u',', Qt::SkipEmptyParts);
    check.reciprocal = CheckStatus(row.int64At(first + 6));
    check.overdue = row.int64At(first + 7) != 0;
    check.source = runSourceFromName(row.textAt(first + 8));
    check.anchor = row.textAt(first + 9);
    check.nearLink = row.textAt(first + 10);
    check.canonical = row.textAt(first + 11);
    check.robotsAgent = row.textAt(first + 12);
    check.external = int(row.int64At(first + 13));
    check.rendered = row.int64At(first + 14) != 0;
    return check;
}

// Reads the event columns run, time, change, previous, state, since, reason,
// previous_anchor, anchor from `first` on; false for a change this program
// does not know.
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
    event->previousAnchor = row.textAt(first + 7);
    event->anchor = row.textAt(first + 8);
    return true;
}

// A read transaction, so that a query sees one state of the file while a
// writer goes on. Its queries are written for the schema of that state (a
// run may have migrated the file since the reader opened it).
class ReadSnapshot {
  public:
    explicit ReadSnapshot(SqliteDatabase& db) : db_(db) {
        db_.exec("BEGIN");
        SqliteStatement version(db_, "PRAGMA user_version");
        if (version.ok() && version.step() == SQLITE_ROW) {
            version_ = int(version.int64At(0));
        }
    }
    ~ReadSnapshot() { db_.exec("COMMIT"); }
    ReadSnapshot(const ReadSnapshot&) = delete;
    ReadSnapshot& operator=(const ReadSnapshot&) = delete;

    // The record of an identity (?1, ?2): the summary's columns, then `more`.
    SqliteStatement findRecord(const char* more = "") const {
        const QByteArray sql =
            QByteArray("SELECT ") +
            (version_ < kFirstVersionWithFacts ? kRecordColumnsVersion1 : kRecordColumns) +
            linkColumns(kLinkColumns, kLinkColumnsBefore) + more +
            " FROM records WHERE partner_url = ?1 AND link = ?2";
        return SqliteStatement(db_, sql.constData());
    }
    // The kept checks of a record (?1), newest first, at most ?2.
    SqliteStatement pastChecks() const {
        const QByteArray sql =
            QByteArray("SELECT ") +
            (version_ < kFirstVersionWithFacts ? kCheckColumnsVersion1 : kCheckColumns) +
            (version_ < kFirstVersionWithSources ? ", ''" : ", u.source") +
            linkColumns(
                ", r.anchor, r.near_link, r.canonical, r.robots_agent, "
                "coalesce(r.external, -1), r.rendered",
                ", '', '', '', '', -1, 0") +
            " FROM results r JOIN runs u ON u.id = r.run WHERE r.record = ?1 "
            "ORDER BY r.run DESC LIMIT ?2";
        return SqliteStatement(db_, sql.constData());
    }
    // A run's start and source (?1).
    SqliteStatement run() const {
        return SqliteStatement(db_, version_ < kFirstVersionWithSources
                                        ? "SELECT started, '' FROM runs WHERE id = ?1"
                                        : "SELECT started, source FROM runs WHERE id = ?1");
    }

    // The columns of events that eventAt() reads, from `prefix`'s table;
    // then `rest`.
    SqliteStatement events(const char* select, const char* rest) const {
        const QByteArray sql = QByteArray("SELECT ") + select +
                               "run, e.time, e.change, e.previous, e.state, e.since, e.reason" +
                               linkColumns(", e.previous_anchor, e.anchor", ", '', ''") + rest;
        return SqliteStatement(db_, sql.constData());
    }

  private:
    const char* linkColumns(const char* kept, const char* before) const {
        return version_ < kFirstVersionWithLinkFacts ? before : kept;
    }

    SqliteDatabase& db_;
    int version_ = 0;
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

Outcome<QList<RecordSummary>> HistoryReader::summaries(const QList<RecordIdentity>& identities) {
    Outcome<QList<RecordSummary>> answer;
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

Outcome<RecordHistory> HistoryReader::recordHistory(const RecordIdentity& identity) {
    Outcome<RecordHistory> answer;
    if (answer.error = unavailable(); !answer.error.isEmpty() || !db_.isOpen()) {
        return answer;
    }
    ReadSnapshot snapshot(db_);
    SqliteStatement find = snapshot.findRecord();
    SqliteStatement events =
        snapshot.events("e.", " FROM events e WHERE e.record = ?1 ORDER BY e.id DESC");
    SqliteStatement checks = snapshot.pastChecks();
    if (!find.ok() || !events.ok() || !checks.ok()) {
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
        return answer;
    }
    checks.bind(1, find.int64At(0));
    checks.bind(2, qint64(kKeptRunsPerRecord));
    while ((rc = checks.step()) == SQLITE_ROW) {
        answer.value.checks.append(pastCheckAt(checks, 0));
    }
    if (rc != SQLITE_DONE) {
        answer.error = failed();
    }
    return answer;
}

Outcome<QList<RunEvent>> HistoryReader::eventsOfRun(qint64 runId) {
    Outcome<QList<RunEvent>> answer;
    if (answer.error = unavailable(); !answer.error.isEmpty() || !db_.isOpen()) {
        return answer;
    }
    ReadSnapshot snapshot(db_);
    SqliteStatement events = snapshot.events(
        "r.partner_url, r.link, e.",
        " FROM events e JOIN records r ON r.id = e.record WHERE e.run = ?1 ORDER BY e.id");
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

namespace {

// After the summary's columns: when the record's last partner-side change
// was blocked with no check since that loaded the page, that change's since
// (?3 blocked, ?4 and ?5 the reciprocal changes, ?6 a lapsed deadline: none
// of them says anything of the partner's page).
constexpr char kOverviewColumns[] =
    ", (SELECT CASE WHEN e.change = ?3 AND NOT EXISTS (SELECT 1 FROM streaks s "
    "WHERE s.record = records.id AND s.status BETWEEN 1 AND 3 AND s.last_time > e.time) "
    "THEN e.since END FROM events e WHERE e.record = records.id AND e.change NOT IN (?4, ?5, ?6) "
    "ORDER BY e.id DESC LIMIT 1)";

}  // namespace

Outcome<ListOverview> HistoryReader::overview(const QList<RecordIdentity>& identities, int runCount,
                                              const std::atomic<bool>* cancel) {
    Outcome<ListOverview> answer;
    if (answer.error = unavailable(); !answer.error.isEmpty()) {
        return answer;
    }
    answer.value.records.resize(identities.size());
    if (!db_.isOpen() || runCount < 0) {
        return answer;
    }
    ReadSnapshot snapshot(db_);
    SqliteStatement find = snapshot.findRecord(kOverviewColumns);
    // A record's results of its own last runCount runs hold all it adds to
    // the list's last runCount runs.
    SqliteStatement results(db_,
                            "SELECT run, status, count, over_limit FROM results WHERE record = ?1 "
                            "ORDER BY run DESC LIMIT ?2");
    if (!find.ok() || !results.ok()) {
        answer.error = failed();
        return answer;
    }
    const auto cancelled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };

    // Each identity once: a record that the list holds twice is one record
    // to the history, and its results count once.
    QHash<RecordIdentity, qsizetype> firstOf;
    firstOf.reserve(identities.size());
    QList<qint64> recordIds(identities.size(), 0);
    QMap<qint64, std::array<int, 4>> tallies;
    for (qsizetype i = 0; i < identities.size(); ++i) {
        const auto first = firstOf.constFind(identities.at(i));
        if (first != firstOf.cend()) {
            answer.value.records[i] = answer.value.records.at(*first);
            recordIds[i] = recordIds.at(*first);
            continue;
        }
        firstOf.insert(identities.at(i), i);
        if ((i & 1023) == 0 && cancelled()) {
            answer.error = u"cancelled"_s;
            return answer;
        }
        StatementUse use(find);
        find.bind(1, identities.at(i).partnerUrl);
        find.bind(2, identities.at(i).link);
        find.bind(3, changeName(ChangeKind::Blocked).toString());
        find.bind(4, changeName(ChangeKind::ReciprocalLost).toString());
        find.bind(5, changeName(ChangeKind::ReciprocalRestored).toString());
        find.bind(6, changeName(ChangeKind::Overdue).toString());
        const int rc = find.step();
        if (rc == SQLITE_DONE) {
            continue;  // never checked
        }
        if (rc != SQLITE_ROW) {
            answer.error = failed();
            return answer;
        }
        RecordOverview& record = answer.value.records[i];
        recordIds[i] = find.int64At(0);
        record.summary = summaryAt(find, 1);
        record.blockedSince = historyTime(find.int64At(kRecordColumnCount));

        StatementUse useResults(results);
        results.bind(1, recordIds[i]);
        results.bind(2, qint64(runCount));
        int step;
        for (bool latest = true; (step = results.step()) == SQLITE_ROW; latest = false) {
            if (latest) {
                record.lastCount = int32_t(results.int64At(2));
                record.lastOverLimit = results.int64At(3) != 0;
            }
            const qint64 status = results.int64At(1);
            if (status >= 1 && status <= 4) {
                ++tallies[results.int64At(0)][size_t(status - 1)];
            }
        }
        if (step != SQLITE_DONE) {
            answer.error = failed();
            return answer;
        }
    }

    // The list's last runs, and who ran them.
    while (tallies.size() > runCount) {
        tallies.erase(tallies.begin());
    }
    SqliteStatement run = snapshot.run();
    if (!run.ok()) {
        answer.error = failed();
        return answer;
    }
    for (auto it = tallies.cbegin(); it != tallies.cend(); ++it) {
        StatementUse use(run);
        run.bind(1, it.key());
        RunTally tally{it.key(), {}, RunSource::Unknown, it.value()};
        if (run.step() == SQLITE_ROW) {
            tally.startedAt = historyTime(run.int64At(0));
            tally.source = runSourceFromName(run.textAt(1));
        }
        answer.value.runs.append(tally);
    }

    // The records that the latest of those runs changed.
    if (!tallies.isEmpty()) {
        SqliteStatement changed(db_, "SELECT DISTINCT record FROM events WHERE run = ?1");
        if (!changed.ok()) {
            answer.error = failed();
            return answer;
        }
        changed.bind(1, tallies.lastKey());
        QSet<qint64> changedIds;
        int step;
        while ((step = changed.step()) == SQLITE_ROW) {
            changedIds.insert(changed.int64At(0));
        }
        if (step != SQLITE_DONE) {
            answer.error = failed();
            return answer;
        }
        for (qsizetype i = 0; i < identities.size(); ++i) {
            answer.value.records[i].changedInLatestRun =
                recordIds.at(i) != 0 && changedIds.contains(recordIds.at(i));
        }
    }
    return answer;
}

Outcome<std::optional<LatestRun>> HistoryReader::latestRun(RunSource source) {
    Outcome<std::optional<LatestRun>> answer;
    if (answer.error = unavailable(); !answer.error.isEmpty() || !db_.isOpen()) {
        return answer;
    }
    ReadSnapshot snapshot(db_);
    SqliteStatement version(db_, "PRAGMA user_version");
    if (!version.ok() || version.step() != SQLITE_ROW ||
        version.int64At(0) < kFirstVersionWithSources) {
        return answer;  // no run of a file this old says who ran it
    }
    SqliteStatement latest(
        db_, "SELECT id, started FROM runs WHERE source = ?1 ORDER BY id DESC LIMIT 1");
    SqliteStatement results(db_,
                            "SELECT status, count(*) FROM results WHERE run = ?1 GROUP BY status");
    SqliteStatement changed(db_, "SELECT count(DISTINCT record) FROM events WHERE run = ?1");
    if (!latest.ok() || !results.ok() || !changed.ok()) {
        answer.error = failed();
        return answer;
    }
    latest.bind(1, runSourceName(source).toString());
    int rc = latest.step();
    if (rc == SQLITE_DONE) {
        return answer;
    }
    if (rc != SQLITE_ROW) {
        answer.error = failed();
        return answer;
    }
    LatestRun run;
    run.tally.runId = latest.int64At(0);
    run.tally.startedAt = historyTime(latest.int64At(1));
    run.tally.source = source;
    results.bind(1, run.tally.runId);
    while ((rc = results.step()) == SQLITE_ROW) {
        const qint64 status = results.int64At(0);
        if (status >= 1 && status <= 4) {
            run.tally.byStatus[size_t(status - 1)] = int(results.int64At(1));
        }
    }
    changed.bind(1, run.tally.runId);
    if (rc != SQLITE_DONE || changed.step() != SQLITE_ROW) {
        answer.error = failed();
        return answer;
    }
    run.changed = int(changed.int64At(0));
    answer.value = run;
    return answer;
}

}  // namespace quorvel
