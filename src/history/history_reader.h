#pragma once

#include <QList>
#include <QString>

#include <atomic>
#include <chrono>
#include <optional>

#include "history/history.h"
#include "history/sqlite_db.h"

namespace quorvel {

// Answers questions about a history file on the thread that made it (each
// reader is one connection). It never creates, repairs, migrates or moves
// the file: an absent history answers every question with "nothing yet",
// and a file of an older version is read as it is. Reading may block on the
// disk, so the window asks from a worker thread.
//
//     HistoryReader reader(path);
//     if (!reader.outcome().message.isEmpty()) { print it; }
//     // quorvel-cli check --changes: the events of the run just recorded
//     for (const RunEvent& e : reader.eventsOfRun(runOutcome.runId).value) ...
//     // quorvel-cli history: one summary per record, in list order
//     QList<RecordSummary> rows = reader.summaries(identities).value;
//     // the window's history of the current record
//     RecordHistory one = reader.recordHistory(identityOf(line)).value;
class HistoryReader {
  public:
    explicit HistoryReader(const QString& path,
                           std::chrono::milliseconds busyTimeout = std::chrono::seconds(10));

    // Absent: no history yet; other unusable outcomes make every query fail
    // with the outcome's message.
    const HistoryOpenOutcome& outcome() const { return outcome_; }

    // One summary per identity, in the same order; a record never checked
    // gets an empty summary (checks 0, status None).
    Outcome<QList<RecordSummary>> summaries(const QList<RecordIdentity>& identities);
    // The record's summary, every event of its confirmed states (the
    // partner's, the blocked rows and the reciprocal state's) and the checks
    // kept of it, newest first.
    Outcome<RecordHistory> recordHistory(const RecordIdentity& identity);
    // What the overview of a list shows: one entry per identity, in the
    // same order (an identity given twice gets the same entry twice), and
    // the last `runCount` runs that have a result for any of them, with the
    // results of these identities only. `cancel`, when set, ends the query
    // early with an error.
    Outcome<ListOverview> overview(const QList<RecordIdentity>& identities, int runCount,
                                   const std::atomic<bool>* cancel = nullptr);
    // The events that the run with this id made, in the order they were
    // written: at most two per identity, the partner's (a move or blocked)
    // before the reciprocal state's.
    Outcome<QList<RunEvent>> eventsOfRun(qint64 runId);
    // The latest run of `source`, if any: when it began, its results by
    // status and how many records it changed.
    Outcome<std::optional<LatestRun>> latestRun(RunSource source);

  private:
    // Why a query cannot be answered; empty when it can (possibly with
    // nothing in it).
    QString unavailable() const;
    QString failed() const;

    SqliteDatabase db_;
    HistoryOpenOutcome outcome_;
};

}  // namespace quorvel
