#pragma once

// The check history: every finished check of a record with its reason and
// the facts beyond its verdict (page signals, the user's own page, a missed
// deadline), the record's confirmed states (the partner's and the user's
// side of the exchange), since when they hold, and the changes between
// runs. It sits on records and checking, uses Qt Core only, and is written
// by the window and quorvel-cli (the check run never sees it).
//
// Storage is SQLite through its C API rather than Qt SQL: each thread opens
// its own connection without a connection registry, we set WAL, the busy
// handler, user_version and the integrity check ourselves and can cut a
// statement short with a progress handler, and there is no driver plugin to
// find and package at run time.

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <array>
#include <vector>

#include "checking/check_outcome.h"
#include "checking/page_signals.h"
#include "history/confirmed_state.h"
#include "records/outcome.h"

namespace quorvel {

inline constexpr char16_t kHistoryFileName[] = u"quorvel-history.sqlite";
// The schema this program writes (PRAGMA user_version). Older files are
// migrated step by step when they are opened; newer ones are left alone.
inline constexpr int kHistorySchemaVersion = 5;
// The first version that keeps notices and their deliveries.
inline constexpr int kFirstVersionWithDeliveries = 4;
// The first version that keeps what a check learnt of the link beside its
// verdict (its text, a near miss, a canonical page, robots.txt, the external
// links, a rendering).
inline constexpr int kFirstVersionWithLinkFacts = 5;
// A record keeps the individual results of at most its last runs; its
// streaks and its count of checks are kept forever.
inline constexpr int kKeptRunsPerRecord = 100;

// A record as the history knows it: its partner address and its link, as
// typed. Editing either starts a new identity; the old one's data stays.
struct RecordIdentity {
    QString partnerUrl;  // QV_U
    QString link;        // QV_6

    friend bool operator==(const RecordIdentity&, const RecordIdentity&) = default;
};
size_t qHash(const RecordIdentity& identity, size_t seed = 0) noexcept;
RecordIdentity identityOf(QStringView recordLine);

// Which program ran a check run. Runs recorded before the history kept it
// have Unknown.
enum class RunSource : uint8_t {
    Unknown,
    Window,       // the window's check button
    CommandLine,  // quorvel-cli check
    Schedule,     // quorvel-cli check, started by a schedule
};
// The names the history stores: "", "window", "quorvel-cli", "schedule".
QStringView runSourceName(RunSource source);
RunSource runSourceFromName(QStringView name);

// One finished check, as the caller hands it to the history.
struct HistoryEntry {
    RecordIdentity identity;
    QDateTime checkedAt;  // when the check ended
    RecordOutcome outcome;
    // "dns", "http 404", "nofollow", "no-link", ...; two attempts' reasons
    // joined by "; ".
    QString reason;
    // What the partner page says to search engines beyond the verdict.
    PageSignals pageSignals = 0;
    // The user's own page: None when the record has none or the check did
    // not get to it.
    CheckStatus reciprocal = CheckStatus::None;
    // The partner was late with the link as of this check: its deadline had
    // passed and the link was not there. The history keeps it only for a
    // promise that lapsed while the program watched: when the record's first
    // check (this one, for a record new to the history) came before
    // `deadlineEndsAt`, the end of the deadline's day in local time (seconds
    // since the epoch; 0 for no deadline).
    bool overdue = false;
    qint64 deadlineEndsAt = 0;
    // What the check learnt of the link (see RecordCheck): the deciding
    // link's text (Found or Hidden), the near miss, the canonical page
    // elsewhere, the agent robots.txt forbids the page to, and the page's
    // external links (-1: not loaded).
    QString anchor{};
    QString nearLink{};
    QString canonical{};
    QString robotsAgent{};
    int external = -1;
    // A Missing check whose page a browser rendered (whether or not the
    // link was there; the signals say).
    bool rendered = false;
};

enum class HistoryOpenStatus {
    Opened,       // an existing history, ready
    Created,      // a new, empty history
    Recovered,    // a damaged file was moved aside and a new history started
    Absent,       // (reading only) no history yet: every answer is empty
    NewerSchema,  // written by a newer program: left alone, not used
    Foreign,      // an SQLite database that is not a history: left alone
    Unwritable,   // the directory or the file cannot be written
    Failed,       // anything else (the message says what)
};

struct HistoryOpenOutcome {
    HistoryOpenStatus status = HistoryOpenStatus::Failed;
    // One line for standard error ("history: ..."); empty when there is
    // nothing to tell.
    QString message;
    QString movedTo;  // the damaged file's new name, for Recovered

    bool usable() const {
        return status == HistoryOpenStatus::Opened || status == HistoryOpenStatus::Created ||
               status == HistoryOpenStatus::Recovered;
    }
};

// What the history knows of one record. A record never checked has
// checks 0, status None and the rest empty (invalid times).
struct RecordSummary {
    qint64 checks = 0;
    CheckStatus lastStatus = CheckStatus::None;
    QString lastReason;
    QDateTime lastCheckedAt;
    ConfirmedState state = ConfirmedState::None;
    QString stateReason;  // of the latest check that agreed with the state
    QDateTime since;      // start of the run that began the confirmed state
    QDateTime lastFound;  // the last check that was Found or Hidden
    // The last check's other facts: the page's signals by name in
    // signalNames() order ("meta-noindex", "rel-ugc", ...), the status of
    // the user's own page, and whether the partner was overdue then. A
    // check recorded before the history kept them has none of them.
    QStringList lastSignals;
    CheckStatus lastReciprocal = CheckStatus::None;
    bool lastOverdue = false;
    // The confirmed state of the user's own page (None, Found, Hidden or
    // Missing) and the start of the run that began it.
    ConfirmedState reciprocalState = ConfirmedState::None;
    QDateTime reciprocalSince;
    // The first check the history holds of the record (its rows of equal
    // results are kept forever): a deadline is overdue only when it lapsed
    // from then on.
    QDateTime firstChecked;
    // The last check's facts of the link (as in HistoryEntry; none for a
    // check recorded before the history kept them).
    QString lastAnchor;
    QString lastNearLink;
    QString lastCanonical;
    QString lastRobotsAgent;
    int lastExternal = -1;
    // The confirmed state stands on a rendering: the link is there only
    // after the page's scripts have run.
    bool renderedOnly = false;
};

// One reported change. For ReciprocalLost and ReciprocalRestored, previous,
// state and since are those of the reciprocal state and the reason is empty
// (the check's reason is the partner page's). For Blocked, previous and
// state are both the confirmed state at the time and since is the start of
// the run of the first of the blocked checks. For AnchorChanged, previous
// and state are both the confirmed state, since is the start of the check's
// run, and previousAnchor and anchor are the link's texts.
struct HistoryEvent {
    qint64 runId = 0;
    QDateTime checkedAt;  // the check that made the change
    ChangeKind change = ChangeKind::Down;
    ConfirmedState previous = ConfirmedState::None;  // None for a baseline
    ConfirmedState state = ConfirmedState::None;
    QDateTime since;
    QString reason;          // of the check that made the change
    QString previousAnchor;  // AnchorChanged only
    QString anchor;
};

struct RunEvent {
    RecordIdentity identity;
    HistoryEvent event;
};

// One check as the history kept it (the results of a record's last
// kKeptRunsPerRecord runs). Facts that the file's version did not keep yet
// read as none.
struct PastCheck {
    QDateTime checkedAt;
    CheckStatus status = CheckStatus::None;
    QString reason;
    int32_t count = 0;
    bool overLimit = false;
    QStringList signalNames;
    CheckStatus reciprocal = CheckStatus::None;
    bool overdue = false;
    RunSource source = RunSource::Unknown;
    QString anchor;
    QString nearLink;
    QString canonical;
    QString robotsAgent;
    int external = -1;
    bool rendered = false;
};

struct RecordHistory {
    RecordSummary summary;
    QList<HistoryEvent> events;  // newest first
    QList<PastCheck> checks;     // newest first
};

// What the overview of a list shows of one record: its summary and the
// facts around it.
struct RecordOverview {
    RecordSummary summary;
    // The last check's outgoing links and whether they were over the limit.
    int32_t lastCount = 0;
    bool lastOverLimit = false;
    // When the record's last change was blocked and no check has loaded the
    // page since: the start of the run of the first blocked check; invalid
    // otherwise.
    QDateTime blockedSince;
    // The record's confirmed state (or its user's side) moved in the list's
    // latest run: what check --changes reports.
    bool changedInLatestRun = false;
};

// One run as the overview of a list draws it: how many of the list's
// records ended Found, Hidden, Missing and FetchFailed in it.
struct RunTally {
    qint64 runId = 0;
    QDateTime startedAt;
    RunSource source = RunSource::Unknown;
    std::array<int, 4> byStatus{};  // by CheckStatus 1 to 4

    int total() const { return byStatus[0] + byStatus[1] + byStatus[2] + byStatus[3]; }
};

// The latest run of a kind, and how many records it changed.
struct LatestRun {
    RunTally tally;
    int changed = 0;  // records whose confirmed state moved in it
};

struct ListOverview {
    QList<RecordOverview> records;  // one per identity asked for, in order
    QList<RunTally> runs;           // oldest first
};

// Seconds since the epoch as a UTC time, and back; 0 is "no time".
QDateTime historyTime(qint64 secondsSinceEpoch);
qint64 historySeconds(const QDateTime& time);
// A time on the user's clock with its offset, ISO 8601 to the second, as in
// 2026-12-11T04:14:14+03:00 (+00:00 in UTC); an empty text for no time.
QString localIsoTime(const QDateTime& time);

}  // namespace quorvel
