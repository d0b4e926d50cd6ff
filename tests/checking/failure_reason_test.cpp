#include "checking/failure_reason.h"

#include <gtest/gtest.h>

#include "support/printers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;
using Kind = FailureReason::Kind;

FailureReason http(int status, int retryAfter = -1) {
    FailureReason reason(Kind::Http, status);
    reason.retryAfter = retryAfter;
    return reason;
}

FailureReason tls(const QString& problem) {
    FailureReason reason(Kind::Tls);
    reason.tlsProblem = problem;
    return reason;
}

// The codes are what histories already hold: each is read back as the
// reason that wrote it.
TEST(FailureReason, CodesAndReadingThemBack) {
    struct Row {
        FailureReason reason;
        QString code;
    };
    const Row rows[] = {
        {FailureReason(Kind::Dns), u"dns"_s},
        {FailureReason(Kind::Connect), u"connect"_s},
        {FailureReason(Kind::Timeout), u"timeout"_s},
        {tls({}), u"tls"_s},
        {tls(u"certificate has expired"_s), u"tls certificate has expired"_s},
        {http(404), u"http 404"_s},
        {http(503, 20), u"http 503"_s},
        {http(429), u"blocked http 429"_s},
        {http(429, 30), u"blocked http 429 retry-after 30"_s},
        {FailureReason(Kind::Challenge, 403), u"blocked challenge"_s},
        {FailureReason(Kind::TooLarge), u"too-large"_s},
        {FailureReason(Kind::Redirects), u"redirects"_s},
        {FailureReason(Kind::Scheme), u"scheme"_s},
        {FailureReason(Kind::Aborted), u"aborted"_s},
        {FailureReason(Kind::Encoding), u"encoding"_s},
        {FailureReason(Kind::NoHost), u"no-host"_s},
        {FailureReason(), QString()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.code.toStdString());
        EXPECT_EQ(row.reason.code(), row.code);
        if (row.code.isEmpty()) {
            continue;
        }
        const std::optional<FailureReason> read = FailureReason::fromCode(row.code);
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(read->kind, row.reason.kind);
        EXPECT_EQ(read->code(), row.code);
        EXPECT_EQ(read->isBlocked(), row.reason.isBlocked());
    }
}

TEST(FailureReason, TextsNoCodeWritesAreNoReason) {
    for (const QString& text :
         {u""_s, u"http"_s, u"http "_s, u"http 0404"_s, u"http x"_s, u"tls "_s, u"dns 1"_s,
          u"dnsx"_s, u"DNS"_s, u"blocked http 503"_s, u"blocked http 429 retry-after"_s,
          u"blocked http 429 retry-after -1"_s, u"blocked"_s,
          // An older program wrote a rate limit as a plain status: no
          // evidence of a block, but still readable as what it says.
          u"http 429"_s}) {
        SCOPED_TRACE(text.toStdString());
        EXPECT_FALSE(FailureReason::fromCode(text).has_value());
    }
    const std::optional<FailureReason> old = FailureReason::readCode(u"http 429");
    ASSERT_TRUE(old.has_value());
    EXPECT_EQ(old->kind, Kind::Http);
    EXPECT_EQ(old->status, 429);
}

// Two rules, two predicates: a blocked check is no evidence for the history;
// a check worth a second look at the end of a run named its wait.
TEST(FailureReason, BlockedAndRetryAtEnd) {
    struct Row {
        const char* what;
        FailureReason reason;
        bool blocked;
        bool retry;
    };
    const Row rows[] = {
        {"a bot wall", FailureReason(Kind::Challenge, 503), true, false},
        {"a rate limit without a wait", http(429), true, false},
        {"a rate limit with a wait", http(429, 30), true, true},
        {"a 503 that names its wait", http(503, 0), false, true},
        {"a 503 without a wait", http(503), false, false},
        {"a plain 403", http(403), false, false},
        {"a wait on another status", http(500, 10), false, false},
        {"a timeout", FailureReason(Kind::Timeout), false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(row.reason.isBlocked(), row.blocked);
        EXPECT_EQ(row.reason.retryAtEnd(), row.retry);
    }

    EXPECT_EQ(retryAtEndAfter({http(429, 30), http(503, 60)}), 60) << "the longest wait";
    EXPECT_EQ(retryAtEndAfter({http(429, 30)}), 30);
    EXPECT_FALSE(retryAtEndAfter({http(429, 30), FailureReason(Kind::Dns)}).has_value())
        << "one attempt that failed otherwise is an answer";
    EXPECT_FALSE(retryAtEndAfter({}).has_value());

    EXPECT_EQ(failureCodes({http(404), FailureReason(), FailureReason(Kind::Dns)}),
              u"http 404; dns");
    EXPECT_TRUE(namesBlockedAttempt(u"dns; blocked http 429 retry-after 5"));
    EXPECT_FALSE(namesBlockedAttempt(u"http 429; xblockedx"));
}

}  // namespace
}  // namespace quorvel
