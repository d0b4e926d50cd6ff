#include "history/history_words.h"

#include <gtest/gtest.h>

#include "support/printers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;
using Kind = FailureReason::Kind;

// A kind added without a code or without words would reach the user as a
// bare code, or as nothing.
TEST(HistoryWords, EveryReasonHasACodeAndWords) {
    for (int k = int(Kind::None) + 1; k <= int(FailureReason::kLastKind); ++k) {
        FailureReason reason(Kind(k), 500);
        SCOPED_TRACE(reason.code().toStdString());
        ASSERT_FALSE(reason.code().isEmpty()) << k;
        const std::optional<FailureReason> read = FailureReason::fromCode(reason.code());
        ASSERT_TRUE(read.has_value());
        EXPECT_EQ(read->kind, reason.kind);
        const QString words = failureWords(reason);
        EXPECT_FALSE(words.isEmpty());
        EXPECT_NE(words, reason.code());
        EXPECT_EQ(reasonWords(reason.code()), words);
    }
    EXPECT_TRUE(FailureReason().code().isEmpty());
    EXPECT_TRUE(failureWords(FailureReason()).isEmpty());

    for (const VerdictReason reason :
         {VerdictReason::Nofollow, VerdictReason::Noindex, VerdictReason::NoLink}) {
        const QStringView code = verdictReasonCode(reason);
        ASSERT_FALSE(code.isEmpty());
        EXPECT_EQ(verdictReasonFromCode(code), reason);
        EXPECT_FALSE(verdictReasonWords(reason).isEmpty());
        EXPECT_EQ(reasonWords(code), verdictReasonWords(reason));
    }
    EXPECT_FALSE(verdictReasonFromCode(u"").has_value());
}

TEST(HistoryWords, EveryStateChangeAndStatusHasWords) {
    for (int c = 0; c <= int(kLastChangeKind); ++c) {
        EXPECT_FALSE(changeWords(ChangeKind(c)).isEmpty()) << c;
        EXPECT_FALSE(changeGroupWords(ChangeKind(c)).isEmpty()) << c;
    }
    for (const CheckStatus status : {CheckStatus::Found, CheckStatus::Hidden, CheckStatus::Missing,
                                     CheckStatus::FetchFailed}) {
        EXPECT_FALSE(statusWords(status).isEmpty()) << int(status);
        EXPECT_EQ(statusWords(status), stateWords(stateOf(status)));
        EXPECT_FALSE(reciprocalWords(status).isEmpty()) << int(status);
    }
    EXPECT_TRUE(statusWords(CheckStatus::None).isEmpty());
    EXPECT_EQ(reciprocalWords(CheckStatus::None), u"еще не проверялась");
}

// The signals that name an address or an agent say it.
TEST(HistoryWords, FactsOfTheLinkAreSaid) {
    const SignalDetails details{u"https://www.my.test/"_s, u"http://p.test/main"_s, u"Yandex"_s};
    EXPECT_EQ(signalListWords({u"other-link-to-you"_s, u"canonical-elsewhere"_s,
                               u"robots-disallow"_s, u"rel-ugc"_s},
                              details),
              u"на странице есть другая ссылка на ваш сайт: https://www.my.test/, "
              u"страница указывает каноническим другой адрес: http://p.test/main, "
              u"robots.txt запрещает страницу для Yandex, rel=ugc"_s);
    EXPECT_EQ(signalListWords({u"robots-disallow"_s}, {{}, {}, u"*"_s}),
              u"robots.txt запрещает страницу для всех поисковых роботов"_s);
    EXPECT_EQ(signalListWords({u"robots-disallow"_s}, {}), u"robots.txt запрещает страницу"_s);
}

}  // namespace
}  // namespace quorvel
