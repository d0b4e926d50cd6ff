#include "history/confirmed_state.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

// Check i belongs to the run started at runStart(i) and ends ten seconds later.
qint64 runStart(int i) {
    return 1'700'000'000 + 86'400 * qint64(i);
}

CheckStatus statusOf(char code) {
    switch (code) {
        case 'f':
            return CheckStatus::Found;
        case 'h':
            return CheckStatus::Hidden;
        case 'm':
            return CheckStatus::Missing;
        case 'x':
            return CheckStatus::FetchFailed;
    }
    return CheckStatus::None;
}

struct Expected {
    int at;  // the check that reports it
    ChangeKind change;
    ConfirmedState previous;
};

struct Row {
    const char* name;
    const char* checks;  // f Found, h Hidden, m Missing, x FetchFailed, one per run
    std::vector<Expected> events;
    ConfirmedState state;
    int sinceRun;      // -1: no since
    int lastFoundRun;  // -1: never found
};

using S = ConfirmedState;
using C = ChangeKind;

const Row kRows[] = {
    {"found is a quiet baseline", "f", {}, S::Found, 0, 0},
    {"missing is a quiet baseline", "mm", {}, S::Missing, 0, -1},
    {"one missing is no event", "fm", {}, S::Found, 0, 0},
    {"two missing in a row are lost", "fmm", {{2, C::Lost, S::Found}}, S::Missing, 1, 0},
    {"lost is reported once", "fmmmm", {{2, C::Lost, S::Found}}, S::Missing, 1, 0},
    {"found again is restored",
     "fmmf",
     {{2, C::Lost, S::Found}, {3, C::Restored, S::Missing}},
     S::Found,
     3,
     3},
    {"a found check breaks the missing streak", "fmfm", {}, S::Found, 0, 2},
    {"a failure between missings neither confirms nor breaks",
     "fmxm",
     {{3, C::Lost, S::Found}},
     S::Missing,
     1,
     0},
    {"two failures between missings", "fmxxm", {{4, C::Lost, S::Found}}, S::Missing, 1, 0},
    {"three failures are down at the third", "fxxx", {{3, C::Down, S::Found}}, S::Down, 1, 0},
    {"two failures are not down", "fxxf", {}, S::Found, 0, 3},
    {"a loaded page breaks the failure streak", "fxxmxx", {}, S::Found, 0, 0},
    {"a down baseline is reported", "xxx", {{2, C::Down, S::None}}, S::Down, 0, -1},
    {"down is reported once", "xxxxx", {{2, C::Down, S::None}}, S::Down, 0, -1},
    {"up from down to found", "xxxf", {{2, C::Down, S::None}, {3, C::Up, S::Down}}, S::Found, 3, 3},
    {"up from down to missing takes two loads",
     "xxxmm",
     {{2, C::Down, S::None}, {4, C::Up, S::Down}},
     S::Missing,
     3,
     -1},
    {"a missing before the failures counts after them",
     "fmxxxm",
     {{4, C::Down, S::Found}, {5, C::Up, S::Down}},
     S::Missing,
     1,
     0},
    {"down from missing",
     "fmmxxx",
     {{2, C::Lost, S::Found}, {5, C::Down, S::Missing}},
     S::Down,
     3,
     0},
    {"hidden, then indexable",
     "fhf",
     {{1, C::Hidden, S::Found}, {2, C::Indexable, S::Hidden}},
     S::Found,
     2,
     2},
    {"hidden is found for a loss",
     "hmmh",
     {{2, C::Lost, S::Hidden}, {3, C::Restored, S::Missing}},
     S::Hidden,
     3,
     3},
    {"restored straight to hidden",
     "fmmh",
     {{2, C::Lost, S::Found}, {3, C::Restored, S::Missing}},
     S::Hidden,
     3,
     3},
    {"up to hidden", "fxxxh", {{3, C::Down, S::Found}, {4, C::Up, S::Down}}, S::Hidden, 4, 4},
};

TEST(ConfirmedState, StatusSequences) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(std::string(row.name) + ": " + row.checks);
        TrackedState tracked;
        std::vector<Expected> events;
        const std::string checks = row.checks;
        for (int i = 0; i < int(checks.size()); ++i) {
            const CheckEvidence check{statusOf(checks[i]), QString(), runStart(i) + 10,
                                      runStart(i)};
            if (const std::optional<StateEvent> event = applyCheck(tracked, check)) {
                EXPECT_EQ(event->state, tracked.state);
                EXPECT_EQ(event->since, tracked.since) << "at check " << i;
                events.push_back({i, event->change, event->previous});
            }
        }
        ASSERT_EQ(events.size(), row.events.size());
        for (size_t i = 0; i < events.size(); ++i) {
            EXPECT_EQ(events[i].at, row.events[i].at) << "event " << i;
            EXPECT_EQ(changeName(events[i].change), changeName(row.events[i].change))
                << "event " << i;
            EXPECT_EQ(stateName(events[i].previous), stateName(row.events[i].previous))
                << "event " << i;
        }
        EXPECT_EQ(stateName(tracked.state), stateName(row.state));
        EXPECT_EQ(tracked.since, row.sinceRun < 0 ? 0 : runStart(row.sinceRun));
        EXPECT_EQ(tracked.lastFound, row.lastFoundRun < 0 ? 0 : runStart(row.lastFoundRun) + 10);
    }
}

TEST(ConfirmedState, ReasonFollowsTheChecksThatAgreeWithTheState) {
    TrackedState tracked;
    applyCheck(tracked, {CheckStatus::FetchFailed, u"dns"_s, 10, 1});
    applyCheck(tracked, {CheckStatus::FetchFailed, u"timeout"_s, 20, 2});
    const std::optional<StateEvent> down =
        applyCheck(tracked, {CheckStatus::FetchFailed, u"http 503; http 503"_s, 30, 3});
    ASSERT_TRUE(down);
    EXPECT_EQ(tracked.reason, u"http 503; http 503"_s);

    applyCheck(tracked, {CheckStatus::FetchFailed, u"connect"_s, 40, 4});
    EXPECT_EQ(tracked.reason, u"connect"_s) << "a further failure keeps down and its reason";

    // One missing check does not move the state, so the reason stays.
    applyCheck(tracked, {CheckStatus::Missing, u"no-link"_s, 50, 5});
    EXPECT_EQ(tracked.state, ConfirmedState::Down);
    EXPECT_EQ(tracked.reason, u"connect"_s);
}

TEST(ConfirmedState, NoCheckChangesNothing) {
    TrackedState tracked;
    applyCheck(tracked, {CheckStatus::Missing, QString(), 10, 1});
    const TrackedState before = tracked;
    EXPECT_FALSE(applyCheck(tracked, {CheckStatus::None, u"x"_s, 20, 2}));
    EXPECT_EQ(tracked, before);
}

}  // namespace
}  // namespace quorvel
