#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

#include "checking/check_outcome.h"

namespace quorvel {

// A record's confirmed state moves only on evidence: one check confirms
// found or hidden, two Missing checks in a row among those that loaded the
// page confirm missing, three FetchFailed checks in a row confirm down. A
// single odd result is noise (a page being edited, a server restarting) and
// must not send a mail. This file is pure: no storage, no clock, so every
// rule can be tested on its own and later kinds of evidence added here.
//
// A page that a bot wall or a rate limit kept from us is no evidence either
// way: it is reported apart (blocked) and never turns into down or missing.
// The user's own page (the reciprocal link) has a confirmed state of its
// own, moved by the same kind of evidence.
//
// A Missing check whose page a browser rendered with the link in it is
// evidence of the link (the reader and a search engine that renders see it).
// While the link was last seen that way, a Missing check that was not
// rendered is no evidence: runs with and without rendering must not make a
// lost and restored pair of noise.

enum class ConfirmedState : uint8_t {
    None,  // nothing confirmed yet
    Found,
    Hidden,
    Missing,
    Down,
};

enum class ChangeKind : uint8_t {
    Lost,       // found or hidden -> missing
    Restored,   // missing -> found or hidden
    Hidden,     // found -> hidden
    Indexable,  // hidden -> found
    Down,       // anything -> down, and a first confirmed state that is down
    Up,         // down -> found, hidden or missing
    // Three blocked checks in a row; the confirmed state stays (previous
    // and state are both the state at that time).
    Blocked,
    // Moves of the reciprocal state (previous and state are reciprocal
    // states): found or hidden -> missing, and missing -> found or hidden.
    ReciprocalLost,
    ReciprocalRestored,
    // The partner's deadline passed without the link: told once, in the run
    // that first finds the record overdue (previous and state are both the
    // confirmed state at that time, since is the start of that run).
    Overdue,
    // The text of the link changed between two checks that found it; the
    // confirmed state stays.
    AnchorChanged,
};
inline constexpr ChangeKind kLastChangeKind = ChangeKind::AnchorChanged;

// The state a single check speaks for (FetchFailed: Down).
ConfirmedState stateOf(CheckStatus status);

// The names the history stores and the command line prints; None is "".
QStringView stateName(ConfirmedState state);
std::optional<ConfirmedState> stateFromName(QStringView name);
QStringView changeName(ChangeKind change);
std::optional<ChangeKind> changeFromName(QStringView name);
// Whether the change is a move of the reciprocal state rather than the
// partner's.
bool isReciprocalChange(ChangeKind change);

inline constexpr int kMissingChecksToConfirm = 2;
inline constexpr int kFailedChecksToConfirm = 3;
inline constexpr int kBlockedChecksToReport = 3;

// A FetchFailed check whose reason names a blocked attempt (a bot wall, a
// rate limit: FailureReason::isBlocked) among its attempts' codes.
bool isBlockedCheck(CheckStatus status, QStringView reason);

// One check as the state machine sees it. Times are seconds since the
// epoch, UTC.
struct CheckEvidence {
    CheckStatus status = CheckStatus::None;
    QString reason;
    qint64 checkedAt = 0;
    qint64 runStartedAt = 0;
    // Missing only: the page was rendered by a browser, and what that found
    // there (Found or Hidden; Missing when the link was not there either).
    bool rendered = false;
    CheckStatus renderedStatus = CheckStatus::None;
};

// What is remembered of one record between its checks. 0 stands for "no
// time".
struct TrackedState {
    ConfirmedState state = ConfirmedState::None;
    qint64 since = 0;       // start of the run of the first check of the confirming streak
    QString reason;         // of the latest check that agreed with the confirmed state
    int missingStreak = 0;  // Missing checks in a row among those that loaded the page
    qint64 missingStreakSince = 0;
    int failedStreak = 0;  // FetchFailed checks in a row, blocked ones passed over
    qint64 failedStreakSince = 0;
    qint64 lastFound = 0;   // the last check that was Found or Hidden
    int blockedStreak = 0;  // blocked checks in a row
    qint64 blockedStreakSince = 0;
    // The last check that loaded the page found the link only rendered, or
    // was an unrendered Missing after such a check.
    bool renderFound = false;

    friend bool operator==(const TrackedState&, const TrackedState&) = default;
};

// A move of the confirmed state, or a row of blocked checks. A first
// confirmed state (the baseline) has previous None and is reported only when
// it is down.
struct StateEvent {
    ChangeKind change = ChangeKind::Down;
    ConfirmedState previous = ConfirmedState::None;
    ConfirmedState state = ConfirmedState::None;
    qint64 since = 0;

    friend bool operator==(const StateEvent&, const StateEvent&) = default;
};

// Takes one check into `tracked`; returns the event it reports, if any. A
// check with status None is no check and changes nothing.
//
// A blocked check (isBlockedCheck) neither grows nor breaks the FetchFailed
// and Missing streaks; the third in a row reports Blocked, with since the
// start of the run of the first of them. Further blocked checks report
// nothing until a check that is not blocked ends the row.
std::optional<StateEvent> applyCheck(TrackedState& tracked, const CheckEvidence& check);

// The user's side of the exchange: whether the user's own page links to the
// partner. Found or Hidden confirm at once; Missing takes two checks in a
// row among those that loaded the user's page; FetchFailed and None (no own
// page, or not looked at) neither confirm nor break that row. There is no
// down: an own page that fails is the user's to see, not news.
struct ReciprocalTracked {
    ConfirmedState state = ConfirmedState::None;  // None, Found, Hidden or Missing
    qint64 since = 0;  // start of the run of the first check of the confirming streak
    int missingStreak = 0;
    qint64 missingStreakSince = 0;

    friend bool operator==(const ReciprocalTracked&, const ReciprocalTracked&) = default;
};

// Whether the anchor of a check that found the link (Found or Hidden) is news:
// `foundAnchor` is the text of the last check that found it (nothing when no
// check the history kept a text of did); it takes `anchor`. A check that
// did not find the link leaves it and reports nothing.
struct AnchorChange {
    QString previous;
    QString anchor;
};
std::optional<AnchorChange> applyAnchor(std::optional<QString>& foundAnchor, CheckStatus status,
                                        const QString& anchor);

// Takes one check's reciprocal status into `tracked`. Reports
// ReciprocalLost and ReciprocalRestored; the first confirmed state and
// moves between found and hidden are quiet (they still move since).
std::optional<StateEvent> applyReciprocalCheck(ReciprocalTracked& tracked, CheckStatus reciprocal,
                                               qint64 runStartedAt);

}  // namespace quorvel
