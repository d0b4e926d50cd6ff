#include "checking/bot_walls.h"

#include <gtest/gtest.h>

#include "support/printers.h"

namespace quorvel {
namespace {

TEST(BotWalls, ChallengeMarkersAndHeader) {
    EXPECT_TRUE(hasChallengeMarker("<html><head><TITLE>Just a moment...</TITLE>"));
    EXPECT_TRUE(hasChallengeMarker("<script src=\"/cdn-cgi/challenge-platform/h/b/orchestrate\">"));
    EXPECT_TRUE(hasChallengeMarker("window._cf_chl_opt={cvId: '3'}"));
    EXPECT_FALSE(hasChallengeMarker("<p>Just a moment, the page is loading...</p>"))
        << "a page that merely says the words";
    EXPECT_FALSE(
        hasChallengeMarker(QByteArray(QByteArray(kChallengeSniffBytes, ' ') + "_cf_chl_opt")))
        << "only the head of a body is looked at";

    EXPECT_TRUE(isChallengeHeader("cf-mitigated: challenge"));
    EXPECT_TRUE(isChallengeHeader("CF-Mitigated:Challenge  "));
    EXPECT_FALSE(isChallengeHeader("cf-mitigated: none"));
    EXPECT_FALSE(isChallengeHeader("x-cf-mitigated: challenge"));
}

TEST(BotWalls, RetryAfterInSecondsOrAsADate) {
    const QDateTime now(QDate(2026, 12, 10), QTime(12, 0), Qt::UTC);
    EXPECT_EQ(retryAfterSeconds("2", now), 2);
    EXPECT_EQ(retryAfterSeconds(" 120 ", now), 120);
    EXPECT_EQ(retryAfterSeconds("Thu, 10 Dec 2026 12:01:30 GMT", now), 90);
    EXPECT_EQ(retryAfterSeconds("Thu, 10 Dec 2026 11:00:00 GMT", now), 0) << "already past";
    EXPECT_EQ(retryAfterSeconds("99999999999999999999", now), std::numeric_limits<int>::max());
    EXPECT_FALSE(retryAfterSeconds("soon", now).has_value());
    EXPECT_FALSE(retryAfterSeconds("-5", now).has_value());
    EXPECT_FALSE(retryAfterSeconds("", now).has_value());
}

}  // namespace
}  // namespace quorvel
