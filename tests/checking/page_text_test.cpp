#include "checking/page_text.h"

#include <gtest/gtest.h>

#include "support/printers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

#define B(literal) QByteArray(literal, sizeof(literal) - 1)

TEST(PageText, DecodesAndEndsEveryLineInCrLf) {
    const std::pair<QByteArray, QString> cases[] = {
        {B(""), u""_s},
        {B("a\rb\n\nc"), u"a\r\nb\r\n\r\nc\r\n"_s},
        {B("a\n\rb"), u"a\r\n\r\nb\r\n"_s},
        {B("a\r\n"), u"a\r\n"_s},
        {B("\xEF\xBB\xBF\xD0\x9F\xD1\x80\xD0\xB8"), u"При\r\n"_s},
        {B("\xD0\x9F\xD1\x80\xD0\xB8"), u"При\r\n"_s},  // UTF-8 without a mark
        {B("\xCF\xF0\xE8"), u"При\r\n"_s},              // Windows-1251
        {B("\xEF\xBB\xBF"
           "a\xFF"
           "b"),
         u"a\uFFFDb\r\n"_s},  // a damaged byte costs one character
        {B("ab\0cd\nef"), u"ab\r\n"_s},
        {B("\0abc"), u""_s},
        {B("\xFF\xFE"
           "a\0\n\0"),
         u"a\r\n"_s},
        {B("\xFE\xFF\0a\0\r"), u"a\r\n"_s},
    };
    for (const auto& [body, text] : cases) {
        EXPECT_EQ(pageTextFromBody(body), text) << body.toHex().toStdString();
    }
}

}  // namespace
}  // namespace quorvel
