#include "checking/text_helpers.h"

#include <gtest/gtest.h>

#include "checking/link_scanner.h"
#include "support/printers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

TEST(ToLowerRuLat, LowersExactlyTheFiftyNineLetters) {
    EXPECT_EQ(ToLowerRuLat(u""), u"");
    EXPECT_EQ(ToLowerRuLat(u"ЁЖИК Ёлка"), u"ёжик ёлка");
    EXPECT_EQ(ToLowerRuLat(u"ÀÉÎ ЄІЇ Ω"), u"ÀÉÎ ЄІЇ Ω");
    EXPECT_EQ(ToLowerRuLat(u"HREF=Http://WWW.Example.COM/Путь"),
              u"href=http://www.example.com/путь");

    int changed = 0;
    for (char32_t c = 0; c <= 0xFFFF; ++c) {
        const char16_t unit = char16_t(c);
        const QString lowered = ToLowerRuLat(QStringView(&unit, 1));
        ASSERT_EQ(lowered.size(), 1);
        const char16_t out = lowered.at(0).unicode();
        EXPECT_EQ(out, lowerRuLatChar(unit));
        if (out != unit) {
            ++changed;
            const bool latin = unit >= u'A' && unit <= u'Z' && out == unit + 0x20;
            const bool russian = unit >= 0x0410 && unit <= 0x042F && out == unit + 0x20;
            const bool yo = unit == 0x0401 && out == 0x0451;
            EXPECT_TRUE(latin || russian || yo) << int(unit);
            EXPECT_EQ(lowerRuLatChar(out), out) << "applying twice changes nothing";
        }
    }
    EXPECT_EQ(changed, 59);
}

TEST(SiteKey, TakesOffPrefixesAndTheLastSegment) {
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"http://www.example.com/links/page.html", u"example.com/links"},
        {u"https://example.com/", u"example.com"},
        {u"example.com", u"example.com"},
        {u"www.example.com\\catalog\\index.htm", u"example.com/catalog"},
        {u"/links.html", u""},
        {u"HTTP://Example.com/x", u"HTTP://Example.com"},
        {u"", u""},
        {u"http://www.example.com", u"example.com"},
        {u"http://https://example.org/", u"example.org"},
        {u"https://http://example.org/", u"http://example.org"},
        {u"WWW.example.com", u"WWW.example.com"},
        {u"example.com/links", u"example.com"},
    };
    for (const auto& [input, key] : cases) {
        EXPECT_EQ(SiteKey(input), QStringView(key)) << QString::fromUtf16(input).toStdString();
    }
    // Repeated application takes off one segment at a time.
    EXPECT_EQ(SiteKey(SiteKey(u"http://a.example/b/c/d.html")), u"a.example/b");
    EXPECT_EQ(SiteKey(SiteKey(SiteKey(SiteKey(u"http://a.example/b/c/d.html")))), u"a.example");
}

TEST(IsAnchorTag, NameAsAWordOutsideDoubleQuotes) {
    const std::pair<const char16_t*, bool> cases[] = {
        {u"a href=\"http://example.com/\"", true},
        {u"A HREF=example.com", true},
        {u"/a", true},
        {u"a/", true},
        {u"a", true},
        {u"abbr title=\"a\"", false},
        {u"area href=\"example.com\"", false},
        {u"img alt=\"this is a test\"", false},
        {u"img alt='this is a test'", true},
        {u"a\thref=\"example.com\"", false},
        {u"", false},
        {u"a\r\nhref=x", false},
        {u"span \"x\" a", true},
        {u"span \"x a", false},
        {u"x=\"\" a \"", true},
        {u"b / a / c", true},
        {u"br/a", false},
    };
    for (const auto& [tag, expected] : cases) {
        const QString text = QString::fromUtf16(tag);
        EXPECT_EQ(IsAnchorTag(text, u"a"), expected) << text.toStdString();
        EXPECT_EQ(isTagNamedA(text), expected) << text.toStdString();
    }
    EXPECT_TRUE(IsAnchorTag(u"DIV class=x", u"Div"));
    EXPECT_FALSE(IsAnchorTag(u"divx", u"div"));
}

}  // namespace
}  // namespace quorvel
