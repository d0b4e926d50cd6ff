#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

#include "checking/check_run.h"

namespace quorvel {

// A record's confirmed state moves only on evidence: one check confirms
// found or hidden, two Missing checks in a row among those that loaded the
// page confirm missing, three FetchFailed checks in a row confirm down. A
// single odd result is noise (a page being edited, a server restarting) and
// must not send a mail. This file is pure: no storage, no clock, so every
// rule can be tested on its own and later kinds of evidence added here.

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
};

// The names the history stores and the command line prints; None is "".
QStringView stateName(ConfirmedState state);
std::optional<ConfirmedState> stateFromName(QStringView name);
QStringView changeName(ChangeKind change);
std::optional<ChangeKind> changeFromName(QStringView name);

inline constexpr int kMissingChecksToConfirm = 2;
inline constexpr int kFailedChecksToConfirm = 3;

// One check as the state machine sees it. Times are seconds since the
// epoch, UTC.
struct CheckEvidence {
    CheckStatus status = CheckStatus::None;
    QString reason;
    qint64 checkedAt = 0;
    qint64 runStartedAt = 0;
};

// What is remembered of one record between its checks. 0 stands for "no
// time".
struct TrackedState {
    ConfirmedState state = ConfirmedState::None;
    qint64 since = 0;       // start of the run of the first check of the confirming streak
    QString reason;         // of the latest check that agreed with the confirmed state
    int missingStreak = 0;  // Missing checks in a row among those that loaded the page
    qint64 missingStreakSince = 0;
    int failedStreak = 0;  // FetchFailed checks in a row
    qint64 failedStreakSince = 0;
    qint64 lastFound = 0;  // the last check that was Found or Hidden

    friend bool operator==(const TrackedState&, const TrackedState&) = default;
};

// A move of the confirmed state. A first confirmed state (the baseline) has
// previous None and is reported only when it is down.
struct StateEvent {
    ChangeKind change = ChangeKind::Down;
    ConfirmedState previous = ConfirmedState::None;
    ConfirmedState state = ConfirmedState::None;
    qint64 since = 0;

    friend bool operator==(const StateEvent&, const StateEvent&) = default;
};

// Takes one check into `tracked`; returns the event it reports, if any. A
// check with status None is no check and changes nothing.
std::optional<StateEvent> applyCheck(TrackedState& tracked, const CheckEvidence& check);

}  // namespace quorvel
