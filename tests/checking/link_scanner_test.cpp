#include "checking/link_scanner.h"

#include <gtest/gtest.h>

#include "support/printers.h"
#include "support/reference_scanner.h"

#include <random>

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

QString crlf(std::initializer_list<const char16_t*> lines) {
    QString page;
    for (const char16_t* line : lines) {
        page += QStringView(line) + u"\r\n";
    }
    return page;
}

QStringList listOf(const QString& page, const QString& partner) {
    return scanLinks(page, {}, partner, true).links;
}

TEST(LinkScanner, WorkedExampleVerdictAndList) {
    const QString page = crlf({
        u"<P><A HREF=\"http://www.Example.org/\">Our friend</A>",
        u"<a href='http://shop.example.net/x' rel=\"nofollow\">shop</a>",
        u"<noindex><a href=\"http://example.info/\">ads</a></noindex>",
        u"<a href=\"/contacts.html\">contacts</a>",
        u"<a href=\"http://www.example.com/page2.html\">next</a>",
        u"<a href=http://example.net/ target=_blank>net</a>",
        u"<a href=http://example.us/>us</a>",
        u"<a href=\"http://www.example.org/\">again</a>",
    });
    const QString partner = u"http://www.example.com/links.html"_s;
    EXPECT_EQ(ScanBacklink(page, u"http://www.example.org/", partner), u"YEP@3");
    EXPECT_EQ(CollectOutgoingLinks(page, partner),
              u"http://example.net/\r\nhttp://example.us/\r\nhttp://www.example.org/\r\n");
}

TEST(LinkScanner, SiteKeyShrinksOneSegmentPerCandidate) {
    const QString partner = u"http://example.com/catalog/links/page.html"_s;
    const QString inOrder =
        crlf({u"<a href=http://example.com/about.html>", u"<a href=http://example.com/news.html>",
              u"<a href=http://example.com/faq.html>"});
    EXPECT_EQ(ScanBacklink(inOrder, u"x.example", partner), u"NIL@2");
    EXPECT_EQ(listOf(inOrder, partner),
              (QStringList{u"http://example.com/about.html"_s, u"http://example.com/news.html"_s}));
    const QString reordered =
        crlf({u"<a href=http://example.com/faq.html>", u"<a href=http://example.com/about.html>",
              u"<a href=http://example.com/news.html>"});
    EXPECT_EQ(ScanBacklink(reordered, u"x.example", partner), u"NIL@2");
    EXPECT_EQ(listOf(reordered, partner),
              (QStringList{u"http://example.com/about.html"_s, u"http://example.com/faq.html"_s}));
}

TEST(LinkScanner, FirstMatchDecides) {
    EXPECT_EQ(ScanBacklink(u"<a href=\"http://example.org/\" rel=\"nofollow\">1</a> "
                           u"<a href=\"http://example.org/\">2</a>",
                           u"example.org", u""),
              u"HIDDEN@1");
}

// The scan that gives the verdict also tells which rule hid the link.
TEST(LinkScanner, TellsWhichRuleHidTheLink) {
    struct Row {
        const char* what;
        const char16_t* page;
        HiddenBy hiddenBy;
    };
    const Row rows[] = {
        {"indexable", u"<a href=http://me.example/>", HiddenBy::Nothing},
        {"nofollow", u"<a rel=NoFollow href=http://me.example/>", HiddenBy::Nofollow},
        {"noindex", u"<noindex><a href=http://me.example/></noindex>", HiddenBy::Noindex},
        {"both: the anchor's own rule first",
         u"<NOINDEX><a href=http://me.example/ rel=nofollow></noindex>", HiddenBy::Nofollow},
        {"after the region", u"<noindex></noindex><a href=http://me.example/>", HiddenBy::Nothing},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const LinkScanResult r = scanLinks(QStringView(row.page), u"me.example", u"", false);
        EXPECT_EQ(r.hiddenBy, row.hiddenBy);
        EXPECT_EQ(r.verdict, row.hiddenBy == HiddenBy::Nothing ? BacklinkVerdict::Yep
                                                               : BacklinkVerdict::Hidden);
        EXPECT_EQ(verdictText(r), ScanBacklink(QStringView(row.page), u"me.example", u""));
    }
}

struct ScanCase {
    const char* what;
    QString page;
    const char16_t* yourLink;
    const char16_t* partner;
    const char16_t* verdict;
};

void PrintTo(const ScanCase& c, std::ostream* os) {
    *os << c.what;
}

class ScanTable : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ScanTable, Verdict) {
    const ScanCase& c = GetParam();
    EXPECT_EQ(ScanBacklink(c.page, c.yourLink, c.partner), QStringView(c.verdict));
    // The count always equals the number of entries that list mode gives.
    const LinkScanResult list = scanLinks(c.page, {}, c.partner, true);
    EXPECT_EQ(QString(u"@" + QString::number(list.links.size())),
              QStringView(c.verdict).sliced(QStringView(c.verdict).indexOf(u'@')));
}

QString tagOfLength(qsizetype length) {
    QString tag = u"a href=http://example.net/ title="_s;
    tag += QString(length - tag.size(), u'x');
    return u'<' + tag + u'>';
}

const char16_t kNet[] = u"example.net";
const char16_t kPartner[] = u"http://partner.example.com/links.html";

INSTANTIATE_TEST_SUITE_P(
    Cases, ScanTable,
    ::testing::Values(
        ScanCase{"empty page", u""_s, kNet, kPartner, u"NIL@0"},
        ScanCase{"upper-case markup", u"<A HREF=\"HTTP://EXAMPLE.NET/\">x</A>"_s, kNet, kPartner,
                 u"YEP@1"},
        ScanCase{"upper-case noindex", u"<NOINDEX><A HREF=http://example.net/>x</A>"_s, kNet,
                 kPartner, u"HIDDEN@0"},
        ScanCase{"upper-case nofollow", u"<A HREF=http://example.net/ REL=NOFOLLOW>"_s, kNet,
                 kPartner, u"HIDDEN@0"},
        ScanCase{"spaces around =", u"<a href = \"http://example.net/\">"_s, kNet, kPartner,
                 u"NIL@0"},
        ScanCase{"empty value", u"<a href=\"\">"_s, kNet, kPartner, u"NIL@0"},
        ScanCase{"space after =", u"<a href= \"http://example.net/\">"_s, kNet, kPartner, u"NIL@0"},
        ScanCase{"value ends with the tag", u"<a class=x href=http://example.net>"_s, kNet,
                 kPartner, u"YEP@1"},
        ScanCase{"tag text of 1187", tagOfLength(1187), kNet, kPartner, u"YEP@1"},
        ScanCase{"tag text of 1188", tagOfLength(1188), kNet, kPartner, u"NIL@0"},
        ScanCase{"< inside an attribute", u"<a title=\"<b>\" href=\"http://example.net/\">"_s, kNet,
                 kPartner, u"NIL@0"},
        ScanCase{"line break after the name", u"<a\r\nhref=http://example.net/>"_s, kNet, kPartner,
                 u"NIL@0"},
        ScanCase{"tab after the name", u"<a\thref=http://example.net/>"_s, kNet, kPartner,
                 u"NIL@0"},
        ScanCase{"inside a comment", u"<!-- <a href=\"http://example.net/\">x</a> -->"_s, kNet,
                 kPartner, u"YEP@1"},
        ScanCase{"mailto, .com.au and localhost",
                 u"<a href=mailto:me@example.com><a href=http://example.com.au/>"
                 u"<a href=http://localhost/>"_s,
                 kNet, kPartner, u"NIL@2"},
        ScanCase{"nofollow in the address", u"<a href=http://example.net/nofollow.html>"_s, kNet,
                 kPartner, u"HIDDEN@0"},
        ScanCase{"only the first href", u"<a href=/x href=http://example.net/>"_s, kNet, kPartner,
                 u"NIL@0"},
        ScanCase{"data-href counts", u"<a data-href=http://example.net/>"_s, kNet, kPartner,
                 u"YEP@1"},
        ScanCase{"key as contained text", u"<a href=http://myexample.net/>"_s, kNet, kPartner,
                 u"YEP@1"},
        ScanCase{"key with slash needs the slash", u"<a href=http://example.net>"_s,
                 u"http://www.example.net/", kPartner, u"NIL@1"},
        ScanCase{"same link twice, other case",
                 u"<a href=http://Example.net/><a href=HTTP://EXAMPLE.NET/>"_s, u"", kPartner,
                 u"NIL@1"},
        ScanCase{"case folding beyond the 59 letters",
                 u"<a href=http://Σ.example.net/><a href=http://σ.example.net/>"
                 u"<a href=http://І.example.net/><a href=http://і.example.net/>"_s,
                 u"", kPartner, u"NIL@2"},
        ScanCase{"noindex never closed",
                 u"<a href=http://a.example.net/><noindex><a href=http://b.example.net/>"_s, u"",
                 kPartner, u"NIL@1"},
        ScanCase{"noindex does not nest",
                 u"<noindex><noindex></noindex><a href=http://example.net/>"_s, kNet, kPartner,
                 u"YEP@1"},
        ScanCase{"noindex as a comment is not recognised",
                 u"<!--noindex--><a href=http://example.net/>"_s, kNet, kPartner, u"YEP@1"},
        ScanCase{"noindex with attributes", u"<noindex class=x><a href=http://example.net/>"_s,
                 kNet, kPartner, u"HIDDEN@0"},
        ScanCase{"abandoned < then a tag", u"<<a href=http://example.net/>"_s, kNet, kPartner,
                 u"YEP@1"},
        ScanCase{"partner's own links are excluded",
                 u"<a href=http://partner.example.com/x.html><a href=http://example.net/>"_s, kNet,
                 kPartner, u"YEP@1"},
        ScanCase{"a capitalised partner URL excludes nothing",
                 u"<a href=http://example.com/x.html>"_s, u"", u"HTTP://Example.com/x", u"NIL@1"},
        ScanCase{"an empty partner URL excludes nothing", u"<a href=http://example.com/x.html>"_s,
                 u"", u"", u"NIL@1"},
        ScanCase{"value with a line break", u"<a href=\"http://example.net/a\r\nb\">"_s, kNet,
                 kPartner, u"YEP@1"},
        ScanCase{"Cyrillic link lower-cased", u"<a href=http://ПРИМЕР.РФ/Путь.ru>"_s, u"пример.рф",
                 kPartner, u"YEP@1"},
        ScanCase{"empty link matches nothing", u"<a href=http://example.net/>"_s, u"", kPartner,
                 u"NIL@1"}));

TEST(LinkScanner, ListModeLowerCasesAndKeepsTheFirstSpelling) {
    EXPECT_EQ(listOf(u"<a href=\"http://example.net/a b.html\">"_s, u""_s),
              QStringList{u"http://example.net/a"_s});
    EXPECT_EQ(listOf(u"<A HREF=http://ПРИМЕР.ru/ÀB>"_s, u""_s),
              QStringList{u"http://пример.ru/Àb"_s});
    EXPECT_EQ(listOf(u"<a href=http://Σ.example.net/><a href=http://σ.example.net/>"_s, u""_s),
              QStringList{u"http://Σ.example.net/"_s});
    // An entry may hold a line break; it is still one entry.
    EXPECT_EQ(CollectOutgoingLinks(u"<a href=\"http://example.net/a\r\nb\">"_s, u""_s),
              u"http://example.net/a\r\nb\r\n");
    EXPECT_EQ(CollectOutgoingLinks(u""_s, u""_s), u"");
}

TEST(LinkScanner, ListIsSortedCaseInsensitively) {
    const QString page =
        u"<a href=http://b.example.net/><a href=http://я.example.ru/><a href=http://A.example.net/>"
        u"<a href=http://а.example.ru/><a href=http://Ǆ.example.net/><a href=http://c.example.net/>"_s;
    const QStringList links = listOf(page, u""_s);
    // Russian collation, letter case ignored: Cyrillic before Latin (ICU's
    // rule); Windows' own Russian collation puts Latin first.
#ifdef Q_OS_WIN
    EXPECT_EQ(links, (QStringList{u"http://a.example.net/"_s, u"http://b.example.net/"_s,
                                  u"http://c.example.net/"_s, u"http://Ǆ.example.net/"_s,
                                  u"http://а.example.ru/"_s, u"http://я.example.ru/"_s}));
#else
    EXPECT_EQ(links, (QStringList{u"http://а.example.ru/"_s, u"http://я.example.ru/"_s,
                                  u"http://a.example.net/"_s, u"http://b.example.net/"_s,
                                  u"http://c.example.net/"_s, u"http://Ǆ.example.net/"_s}));
#endif
}

TEST(LinkScanner, HostilePagesScanInLinearTime) {
    // Each of these would take hours if a "<" restarted a long search.
    const qsizetype size = 8 * 1024 * 1024;
    for (const QString& page :
         {QString(size, u'<'), QString(size, u'"'), QString(u"<a href=\"" + QString(size, u'x')),
          QString(u"<a href=http://example.net/ " + QString(size, u'"'))}) {
        EXPECT_EQ(ScanBacklink(page, u"example.net", u"http://a/b/c/d"), u"NIL@0");
    }
    QString farm;
    for (int i = 0; i < 200000; ++i) {
        farm += u"<a href=http://site"_s + QString::number(i) + u".example.net/>x</a>\n";
    }
    // A partner URL of many segments shrinks by one per link: linear as well.
    const QString partner = u"q"_s + QString(u"/z"_s).repeated(50000);
    EXPECT_EQ(ScanBacklink(farm, u"site199999.example.net", partner), u"YEP@200000");
}

}  // namespace
}  // namespace quorvel

namespace quorvel {
namespace {

// Random pages made of the pieces that matter to the rules, scanned by the
// real scanner and by the plain reference: both must agree on everything.
TEST(LinkScanner, AgreesWithThePlainReadingOfTheRules) {
    static const char16_t* const pieces[] = {
        u"<",
        u">",
        u"a",
        u"A",
        u" ",
        u"href=",
        u"HREF=",
        u"\"",
        u"'",
        u"/",
        u"nofollow",
        u"<noindex>",
        u"</noindex",
        u"<NOINDEX",
        u"http://",
        u"https://",
        u".com",
        u".ru",
        u".net",
        u"example",
        u"www.",
        u"\r\n",
        u"\t",
        u"x",
        u"Σ",
        u"σ",
        u"Ё",
        u"ё",
        u"=",
        u"<a href=",
        u"<a ",
        u"href=\"",
        u"e.org/",
        u"partner",
        u"\\",
        u"f=",
        u"<A HREF=http://Example.com/",
        u"hreF=",
    };
    static const char16_t* const partners[] = {u"",
                                               u"http://www.partner.com/a/b.html",
                                               u"partner.com",
                                               u"HTTP://Partner.com/x",
                                               u"www.example.com\\links\\page.htm",
                                               u"http://https://example.org/"};
    static const char16_t* const yourLinks[] = {
        u"", u"http://www.example.com/", u"e.org", u"example", u"EXAMPLE.RU", u"www.x"};
    std::mt19937 random(20101021);
    for (int round = 0; round < 4000; ++round) {
        QString page;
        const int count = int(random() % 200);
        for (int k = 0; k < count; ++k) {
            page += QStringView(pieces[random() % std::size(pieces)]);
        }
        if (round % 50 == 0) {
            // Tags around the window's limit.
            page += u"<a href=http://example.com/ " + QString(1150 + random() % 60, u'x') + u'>';
        }
        const QStringView partner = partners[random() % std::size(partners)];
        const QStringView link = yourLinks[random() % std::size(yourLinks)];

        const LinkScanResult fast = scanLinks(page, link, partner, false);
        const LinkScanResult plain = test::referenceScanLinks(page, link, partner, false);
        ASSERT_EQ(fast.verdict, plain.verdict) << page.toStdString();
        ASSERT_EQ(fast.count, plain.count) << page.toStdString();

        const LinkScanResult fastList = scanLinks(page, {}, partner, true);
        ASSERT_EQ(fastList.links, test::referenceScanLinks(page, {}, partner, true).links)
            << page.toStdString();
        ASSERT_EQ(fastList.links.size(), fast.count);
    }
}

}  // namespace
}  // namespace quorvel
