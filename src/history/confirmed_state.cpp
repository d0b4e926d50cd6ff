#include "history/confirmed_state.h"

#include <array>

namespace quorvel {

namespace {

constexpr std::array<QStringView, 5> kStateNames = {u"", u"found", u"hidden", u"missing", u"down"};
constexpr std::array<QStringView, 11> kChangeNames = {u"lost",
                                                      u"restored",
                                                      u"hidden",
                                                      u"indexable",
                                                      u"down",
                                                      u"up",
                                                      u"blocked",
                                                      u"reciprocal-lost",
                                                      u"reciprocal-restored",
                                                      u"overdue",
                                                      u"anchor-changed"};

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

ConfirmedState stateOf(CheckStatus status) {
    switch (status) {
        case CheckStatus::Found:
            return ConfirmedState::Found;
        case CheckStatus::Hidden:
            return ConfirmedState::Hidden;
        case CheckStatus::Missing:
            return ConfirmedState::Missing;
        case CheckStatus::FetchFailed:
            return ConfirmedState::Down;
        case CheckStatus::None:
            break;
    }
    return ConfirmedState::None;
}

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

bool isReciprocalChange(ChangeKind change) {
    return change == ChangeKind::ReciprocalLost || change == ChangeKind::ReciprocalRestored;
}

bool isBlockedCheck(CheckStatus status, QStringView reason) {
    return status == CheckStatus::FetchFailed && namesBlockedAttempt(reason);
}

std::optional<StateEvent> applyCheck(TrackedState& tracked, const CheckEvidence& check) {
    if (check.status == CheckStatus::None) {
        return std::nullopt;
    }
    if (isBlockedCheck(check.status, check.reason)) {
        // We were kept from the page: nothing is known of the link or of the
        // server's health, so every streak of evidence stays as it was.
        if (tracked.blockedStreak++ == 0) {
            tracked.blockedStreakSince = check.runStartedAt;
        }
        if (tracked.blockedStreak != kBlockedChecksToReport) {
            return std::nullopt;
        }
        return StateEvent{ChangeKind::Blocked, tracked.state, tracked.state,
                          tracked.blockedStreakSince};
    }
    tracked.blockedStreak = 0;
    tracked.blockedStreakSince = 0;

    CheckStatus status = check.status;
    if (status == CheckStatus::Missing) {
        if (check.rendered && (check.renderedStatus == CheckStatus::Found ||
                               check.renderedStatus == CheckStatus::Hidden)) {
            // The link is there once the page's scripts have run.
            status = check.renderedStatus;
            tracked.renderFound = true;
        } else if (!check.rendered && tracked.renderFound) {
            // Not rendered, so it cannot tell whether the scripts still
            // write the link: no evidence, but the server is up.
            tracked.failedStreak = 0;
            return std::nullopt;
        } else {
            tracked.renderFound = false;
        }
    } else if (status != CheckStatus::FetchFailed) {
        tracked.renderFound = false;
    }

    std::optional<ConfirmedState> confirmed;
    qint64 streakSince = 0;
    switch (status) {
        case CheckStatus::None:
            return std::nullopt;
        case CheckStatus::Found:
        case CheckStatus::Hidden:
            tracked.lastFound = check.checkedAt;
            tracked.missingStreak = 0;
            tracked.failedStreak = 0;
            confirmed =
                status == CheckStatus::Found ? ConfirmedState::Found : ConfirmedState::Hidden;
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

std::optional<AnchorChange> applyAnchor(std::optional<QString>& foundAnchor, CheckStatus status,
                                        const QString& anchor) {
    if (status != CheckStatus::Found && status != CheckStatus::Hidden) {
        return std::nullopt;
    }
    std::optional<AnchorChange> change;
    if (foundAnchor && *foundAnchor != anchor) {
        change = AnchorChange{*foundAnchor, anchor};
    }
    foundAnchor = anchor;
    return change;
}

std::optional<StateEvent> applyReciprocalCheck(ReciprocalTracked& tracked, CheckStatus reciprocal,
                                               qint64 runStartedAt) {
    ConfirmedState confirmed = ConfirmedState::None;
    qint64 streakSince = 0;
    switch (reciprocal) {
        case CheckStatus::None:
        case CheckStatus::FetchFailed:
            // The user's page was not looked at or did not load: the
            // missing streak neither grows nor breaks.
            return std::nullopt;
        case CheckStatus::Found:
        case CheckStatus::Hidden:
            tracked.missingStreak = 0;
            confirmed =
                reciprocal == CheckStatus::Found ? ConfirmedState::Found : ConfirmedState::Hidden;
            streakSince = runStartedAt;
            break;
        case CheckStatus::Missing:
            if (tracked.missingStreak++ == 0) {
                tracked.missingStreakSince = runStartedAt;
            }
            if (tracked.missingStreak < kMissingChecksToConfirm) {
                return std::nullopt;
            }
            confirmed = ConfirmedState::Missing;
            streakSince = tracked.missingStreakSince;
            break;
    }
    if (confirmed == tracked.state) {
        return std::nullopt;
    }
    const ConfirmedState previous = tracked.state;
    tracked.state = confirmed;
    tracked.since = streakSince;
    // The first confirmed state is a baseline, and found and hidden both
    // mean the partner gets the link back: neither is news to the user.
    if (previous == ConfirmedState::None) {
        return std::nullopt;
    }
    if (confirmed == ConfirmedState::Missing) {
        return StateEvent{ChangeKind::ReciprocalLost, previous, confirmed, tracked.since};
    }
    if (previous == ConfirmedState::Missing) {
        return StateEvent{ChangeKind::ReciprocalRestored, previous, confirmed, tracked.since};
    }
    return std::nullopt;
}

}  // namespace quorvel
