#include "history/confirmed_state.h"

#include <array>

namespace quorvel {

namespace {

constexpr std::array<QStringView, 5> kStateNames = {u"", u"found", u"hidden", u"missing", u"down"};
constexpr std::array<QStringView, 6> kChangeNames = {u"lost",      u"restored", u"hidden",
                                                     u"indexable", u"down",     u"up"};

ChangeKind changeBetween(ConfirmedState from, ConfirmedState to) {
    if (to == ConfirmedState::Down) {
        return ChangeKind::Down;
    }
    if (from == ConfirmedState::Down) {
        return ChangeKind::Up;
    }
    if (to == ConfirmedState::Missing) {
        return ChangeKind::Lost;
    }
    if (from == ConfirmedState::Missing) {
        return ChangeKind::Restored;
    }
    return to == ConfirmedState::Hidden ? ChangeKind::Hidden : ChangeKind::Indexable;
}

}  // namespace

QStringView stateName(ConfirmedState state) {
    return kStateNames[size_t(state)];
}

std::optional<ConfirmedState> stateFromName(QStringView name) {
    for (size_t i = 0; i < kStateNames.size(); ++i) {
        if (kStateNames[i] == name) {
            return ConfirmedState(i);
        }
    }
    return std::nullopt;
}

QStringView changeName(ChangeKind change) {
    return kChangeNames[size_t(change)];
}

std::optional<ChangeKind> changeFromName(QStringView name) {
    for (size_t i = 0; i < kChangeNames.size(); ++i) {
        if (kChangeNames[i] == name) {
            return ChangeKind(i);
        }
    }
    return std::nullopt;
}

std::optional<StateEvent> applyCheck(TrackedState& tracked, const CheckEvidence& check) {
    std::optional<ConfirmedState> confirmed;
    qint64 streakSince = 0;
    switch (check.status) {
        case CheckStatus::None:
            return std::nullopt;
        case CheckStatus::Found:
        case CheckStatus::Hidden:
            tracked.lastFound = check.checkedAt;
            tracked.missingStreak = 0;
            tracked.failedStreak = 0;
            confirmed =
                check.status == CheckStatus::Found ? ConfirmedState::Found : ConfirmedState::Hidden;
            streakSince = check.runStartedAt;
            break;
        case CheckStatus::Missing:
            tracked.failedStreak = 0;
            if (tracked.missingStreak++ == 0) {
                tracked.missingStreakSince = check.runStartedAt;
            }
            if (tracked.missingStreak >= kMissingChecksToConfirm) {
                confirmed = ConfirmedState::Missing;
                streakSince = tracked.missingStreakSince;
            }
            break;
        case CheckStatus::FetchFailed:
            // A page that did not load says nothing about the link: the
            // missing streak neither grows nor breaks.
            if (tracked.failedStreak++ == 0) {
                tracked.failedStreakSince = check.runStartedAt;
            }
            if (tracked.failedStreak >= kFailedChecksToConfirm) {
                confirmed = ConfirmedState::Down;
                streakSince = tracked.failedStreakSince;
            }
            break;
    }
    if (!confirmed) {
        return std::nullopt;
    }
    tracked.reason = check.reason;
    if (*confirmed == tracked.state) {
        return std::nullopt;
    }
    const ConfirmedState previous = tracked.state;
    tracked.state = *confirmed;
    tracked.since = streakSince;
    if (previous == ConfirmedState::None && tracked.state != ConfirmedState::Down) {
        return std::nullopt;  // a quiet baseline
    }
    return StateEvent{changeBetween(previous, tracked.state), previous, tracked.state,
                      tracked.since};
}

}  // namespace quorvel
