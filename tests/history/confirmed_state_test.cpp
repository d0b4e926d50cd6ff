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
        case 'j':
        case 'J':
        case 'n':
            return CheckStatus::Missing;
        case 'x':
        case 'b':
            return CheckStatus::FetchFailed;
    }
    return CheckStatus::None;
}

// What the browser made of a rendered Missing check; None: not rendered.
CheckStatus renderedOf(char code) {
    switch (code) {
        case 'j':
            return CheckStatus::Found;
        case 'J':
            return CheckStatus::Hidden;
        case 'n':
            return CheckStatus::Missing;
    }
    return CheckStatus::None;
}

// A bot wall on one attempt and a plain failure on the other is blocked.
QString reasonOf(char code) {
    return code == 'b' ? u"dns; blocked challenge"_s : QString();
}

struct Expected {
    int at;  // the check that reports it
    ChangeKind change;
    ConfirmedState previous;
    int sinceRun = -1;  // the run the event's since is the start of; -1: the new state's since
};

struct Row {
    const char* name;
    // f Found, h Hidden, m Missing, x FetchFailed, b FetchFailed and blocked;
    // rendered Missing checks: j the link in the rendered page, J there but
    // hidden, n not there either; one per run
    const char* checks;
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

    // Blocked checks: no evidence either way, reported after three in a row.
    {"two blocked are nothing", "fbb", {}, S::Found, 0, 0},
    {"three blocked are reported once, the state stays",
     "fbbbbb",
     {{3, C::Blocked, S::Found, 1}},
     S::Found,
     0,
     0},
    {"blocked before any baseline", "bbb", {{2, C::Blocked, S::None, 0}}, S::None, -1, -1},
    {"blocked while down",
     "xxxbbb",
     {{2, C::Down, S::None}, {5, C::Blocked, S::Down, 3}},
     S::Down,
     0,
     -1},
    {"blocked is no failure toward down", "fxbbx", {}, S::Found, 0, 0},
    {"blocked neither breaks nor grows the failure streak",
     "fxxbx",
     {{4, C::Down, S::Found}},
     S::Down,
     1,
     0},
    {"blocked between missings neither confirms nor breaks",
     "fmbm",
     {{3, C::Lost, S::Found}},
     S::Missing,
     1,
     0},
    {"blocked is not a load toward missing", "fmbb", {}, S::Found, 0, 0},
    {"a failure ends the blocked row", "fbbxbb", {}, S::Found, 0, 0},
    {"a new row of three after a check that is not blocked",
     "fbbbbfbbb",
     {{3, C::Blocked, S::Found, 1}, {8, C::Blocked, S::Found, 6}},
     S::Found,
     0,
     5},
    {"the next move after blocked is reported as usual",
     "fbbbmm",
     {{3, C::Blocked, S::Found, 1}, {5, C::Lost, S::Found}},
     S::Missing,
     4,
     0},
    {"down around a blocked row",
     "xxbbbx",
     {{4, C::Blocked, S::None, 2}, {5, C::Down, S::None}},
     S::Down,
     0,
     -1},
    {"a baseline after blocked is as quiet as ever",
     "bbbf",
     {{2, C::Blocked, S::None, 0}},
     S::Found,
     3,
     3},

    // Links that scripts write: a rendering that finds one is evidence of it,
    // and a check that did not render is none against it.
    {"found only rendered is a quiet baseline", "j", {}, S::Found, 0, 0},
    {"a rendered find restores",
     "fmmj",
     {{2, C::Lost, S::Found}, {3, C::Restored, S::Missing}},
     S::Found,
     3,
     3},
    {"unrendered missings after a rendered find are no evidence", "jmmm", {}, S::Found, 0, 0},
    {"failures keep the rendering's hold", "jxmm", {}, S::Found, 0, 0},
    {"a rendered miss is evidence again", "jmnn", {{3, C::Lost, S::Found}}, S::Missing, 2, 0},
    {"a plain find ends the rendering's hold", "jfmm", {{3, C::Lost, S::Found}}, S::Missing, 2, 1},
    {"a rendered hidden link is hidden", "fJ", {{1, C::Hidden, S::Found}}, S::Hidden, 1, 1},
};

TEST(ConfirmedState, StatusSequences) {
    for (const Row& row : kRows) {
        SCOPED_TRACE(std::string(row.name) + ": " + row.checks);
        TrackedState tracked;
        std::vector<Expected> events;
        std::vector<qint64> sinces;
        std::vector<qint64> stateSinces;  // the tracked since right after each event
        const std::string checks = row.checks;
        for (int i = 0; i < int(checks.size()); ++i) {
            const CheckEvidence check{statusOf(checks[i]),
                                      reasonOf(checks[i]),
                                      runStart(i) + 10,
                                      runStart(i),
                                      renderedOf(checks[i]) != CheckStatus::None,
                                      renderedOf(checks[i])};
            if (const std::optional<StateEvent> event = applyCheck(tracked, check)) {
                EXPECT_EQ(event->state, tracked.state);
                events.push_back({i, event->change, event->previous});
                sinces.push_back(event->since);
                stateSinces.push_back(tracked.since);
            }
        }
        ASSERT_EQ(events.size(), row.events.size());
        for (size_t i = 0; i < events.size(); ++i) {
            EXPECT_EQ(events[i].at, row.events[i].at) << "event " << i;
            EXPECT_EQ(changeName(events[i].change), changeName(row.events[i].change))
                << "event " << i;
            EXPECT_EQ(stateName(events[i].previous), stateName(row.events[i].previous))
                << "event " << i;
            const int sinceRun = row.events[i].sinceRun;
            EXPECT_EQ(sinces[i], sinceRun < 0 ? stateSinces[i] : runStart(sinceRun))
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

TEST(ConfirmedState, WhichFailuresAreBlocked) {
    struct Case {
        const char* name;
        CheckStatus status;
        QString reason;
        bool blocked;
    };
    const Case cases[] = {
        {"a bot wall", CheckStatus::FetchFailed, u"blocked challenge"_s, true},
        {"a rate limit with a wait", CheckStatus::FetchFailed,
         u"blocked http 429 retry-after 30; blocked http 429"_s, true},
        {"blocked on the second attempt only", CheckStatus::FetchFailed,
         u"http 403; blocked challenge"_s, true},
        {"a plain failure on the other attempt", CheckStatus::FetchFailed,
         u"blocked challenge; dns"_s, true},
        {"a plain 403", CheckStatus::FetchFailed, u"http 403; http 403"_s, false},
        {"a plain 429 without the word", CheckStatus::FetchFailed, u"http 429"_s, false},
        {"no reason", CheckStatus::FetchFailed, QString(), false},
        {"a page that loaded is evidence whatever its reason", CheckStatus::Missing, u"blocked"_s,
         false},
        {"no check", CheckStatus::None, u"blocked challenge"_s, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(isBlockedCheck(c.status, c.reason), c.blocked);
    }
}

// The user's own page: r is its status in the check of each run, - for a
// record without one (or a check that did not get to it).
TEST(ConfirmedState, ReciprocalSequences) {
    struct ReciprocalRow {
        const char* name;
        const char* checks;  // f Found, h Hidden, m Missing, x FetchFailed, - None
        std::vector<Expected> events;
        ConfirmedState state;
        int sinceRun;  // -1: no since
    };
    const ReciprocalRow rows[] = {
        {"found is a quiet baseline", "f", {}, S::Found, 0},
        {"missing is a quiet baseline", "-mm", {}, S::Missing, 1},
        {"one missing is no event", "fm", {}, S::Found, 0},
        {"two missing are lost", "fmm", {{2, C::ReciprocalLost, S::Found}}, S::Missing, 1},
        {"lost is reported once", "fmmmm", {{2, C::ReciprocalLost, S::Found}}, S::Missing, 1},
        {"hidden is there for a loss", "hmm", {{2, C::ReciprocalLost, S::Hidden}}, S::Missing, 1},
        {"restored to found or hidden",
         "fmmhmmf",
         {{2, C::ReciprocalLost, S::Found},
          {3, C::ReciprocalRestored, S::Missing},
          {5, C::ReciprocalLost, S::Hidden},
          {6, C::ReciprocalRestored, S::Missing}},
         S::Found,
         6},
        {"found and hidden move quietly", "fhf", {}, S::Found, 2},
        {"a found check breaks the row", "fmfm", {}, S::Found, 0},
        {"an own page that failed neither confirms nor breaks",
         "fmxxm",
         {{4, C::ReciprocalLost, S::Found}},
         S::Missing,
         1},
        {"no own page neither confirms nor breaks",
         "fm-m",
         {{3, C::ReciprocalLost, S::Found}},
         S::Missing,
         1},
        {"failures alone confirm nothing", "xx-xxx", {}, S::None, -1},
    };
    for (const ReciprocalRow& row : rows) {
        SCOPED_TRACE(std::string(row.name) + ": " + row.checks);
        ReciprocalTracked tracked;
        std::vector<Expected> events;
        const std::string checks = row.checks;
        for (int i = 0; i < int(checks.size()); ++i) {
            if (const std::optional<StateEvent> event =
                    applyReciprocalCheck(tracked, statusOf(checks[i]), runStart(i))) {
                EXPECT_EQ(event->state, tracked.state);
                EXPECT_EQ(event->since, tracked.since) << "at check " << i;
                EXPECT_TRUE(isReciprocalChange(event->change));
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
    }
}

// The text of the link is news only between two checks that found it; the
// first text known, and checks that did not find the link, are not.
TEST(ConfirmedState, AnchorChangesBetweenChecksThatFoundTheLink) {
    struct Step {
        CheckStatus status;
        QString anchor;
        std::optional<QString> changedFrom;
    };
    const Step steps[] = {
        {CheckStatus::Found, u"купить окна"_s, std::nullopt},
        {CheckStatus::Found, u"купить окна"_s, std::nullopt},
        {CheckStatus::Missing, QString(), std::nullopt},
        {CheckStatus::FetchFailed, QString(), std::nullopt},
        {CheckStatus::Hidden, u"окна"_s, u"купить окна"_s},
        {CheckStatus::Found, QString(), u"окна"_s},
        {CheckStatus::Found, u"[img] logo"_s, QString()},
    };
    std::optional<QString> foundAnchor;
    for (size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE(i);
        const std::optional<AnchorChange> change =
            applyAnchor(foundAnchor, steps[i].status, steps[i].anchor);
        ASSERT_EQ(change.has_value(), steps[i].changedFrom.has_value());
        if (change) {
            EXPECT_EQ(change->previous, *steps[i].changedFrom);
            EXPECT_EQ(change->anchor, steps[i].anchor);
        }
    }
    EXPECT_EQ(foundAnchor, u"[img] logo"_s);
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
