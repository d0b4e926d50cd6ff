#include "checking/page_facts.h"

#include <gtest/gtest.h>

#include "checking/canonical.h"
#include "checking/link_scanner.h"
#include "support/printers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

constexpr QStringView kPartner = u"http://partner.test/links.html";

PageFacts factsOf(QStringView page, QStringView yourLink = u"http://my.test/") {
    return scanWithFacts(page, yourLink, kPartner, kPartner).facts;
}

TEST(PageFacts, AnchorOfTheLinkThatDecided) {
    struct Row {
        const char* what;
        QString page;
        QString anchor;
    };
    const QString longText(250, u'я');
    const Row rows[] = {
        {"plain", u"<a href=http://my.test/>My site</a>"_s, u"My site"_s},
        {"tags removed, references decoded, white space collapsed",
         u"<a href=\"http://my.test/\">\r\n  <b>Best</b>&nbsp;&amp;\t<i>cheap</i> "
         u"&#1084;&#x43E;&laquo;x&raquo;"
         u" </a>"_s,
         u"Best & cheap мо«x»"_s},
        {"the first link decides, nofollow or not",
         u"<a rel=nofollow href=http://my.test/>first</a><a href=http://my.test/>second</a>"_s,
         u"first"_s},
        {"cut at 200 characters", u"<a href=http://my.test/>"_s + longText + u"</a>"_s,
         QString(200, u'я')},
        {"an image link",
         u"<a href=http://my.test/><img src=b.png alt=\"Our &quot;banner&quot;\"></a>"_s,
         u"[img] Our \"banner\""_s},
        {"an image without alt", u"<a href=http://my.test/> <IMG SRC=b.png> </a>"_s, u"[img]"_s},
        {"text wins over an image", u"<a href=http://my.test/><img alt=logo> Site</a>"_s,
         u"Site"_s},
        {"an unclosed link ends at the next one",
         u"<a href=http://my.test/>mine <a href=http://other.test/>theirs</a>"_s, u"mine"_s},
        {"a comment and a script are no text",
         u"<a href=http://my.test/>a<!-- b --><script>c</script>d</a>"_s, u"ad"_s},
        {"a \">\" in a quoted attribute",
         u"<a href=http://my.test/><span title=\"x>y\">text</span></a>"_s, u"text"_s},
        {"no link, no anchor", u"<a href=http://other.test/>x</a>"_s, QString()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(factsOf(row.page).anchor, row.anchor);
    }
}

// The rule misses these links to the user's site; they are near misses.
TEST(PageFacts, NearMissIsALinkToTheSameHost) {
    struct Row {
        const char* what;
        const char16_t* page;
        const char16_t* nearLink;
    };
    const Row rows[] = {
        {"no slash", u"<a href=\"http://my.test\">x</a>", u"http://my.test"},
        {"www", u"<a href=\"http://www.my.test\">x</a>", u"http://www.my.test"},
        {"https", u"<a href='https://my.test'>x</a>", u"https://my.test"},
        {"https, www, upper case, a query", u"<A HREF=\"HTTPS://WWW.My.Test?about\">x</A>",
         u"HTTPS://WWW.My.Test?about"},
        {"the first one is kept",
         u"<a href=http://my.test?ref=1>x</a><a href=https://my.test>y</a>",
         u"http://my.test?ref=1"},
        {"a link the rule cannot read (a line break after the name)",
         u"<a\nhref=\"http://my.test/\">x</a>", u"http://my.test/"},
        {"another host that only begins alike", u"<a href=http://my.test.other/>x</a>", u""},
        {"a subdomain is another host", u"<a href=http://blog.my.test>x</a>", u""},
        {"a relative link", u"<a href=/my.test>x</a>", u""},
        {"inside a comment", u"<!-- <a href=http://my.test>x</a> -->", u""},
        {"the link is there: no near miss",
         u"<a href=http://my.test>x</a><a href=http://my.test/>y</a>", u""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(factsOf(row.page).nearLink, QStringView(row.nearLink));
    }
    EXPECT_EQ(factsOf(u"<a href=http://www.my.test>x</a>", u"my.test/").nearLink,
              u"http://www.my.test")
        << "a link written without a scheme";
    EXPECT_EQ(factsOf(u"<a href=http://xn--80aswg.test/>x</a>", u"http://сайт.test/").nearLink,
              u"http://xn--80aswg.test/")
        << "IDN and punycode";
}

TEST(PageFacts, CanonicalLinkOfThePage) {
    struct Row {
        const char* what;
        const char16_t* page;
        const char16_t* canonical;
    };
    const Row rows[] = {
        {"in the head, relative",
         u"<html><head><link rel=\"canonical\" href=\"/other.html\"></head><body>"
         u"<a href=http://my.test/>x</a>",
         u"http://partner.test/other.html"},
        {"rel among other tokens, upper case",
         u"<LINK REL='Alternate CANONICAL' HREF='https://partner.test/links.html'>",
         u"https://partner.test/links.html"},
        {"the first one counts",
         u"<link rel=canonical href=http://a.test/><link rel=canonical href=http://b.test/>",
         u"http://a.test/"},
        {"in the body before the link that decided",
         u"<body><link rel=canonical href=http://a.test/><a href=http://my.test/>x</a>",
         u"http://a.test/"},
        {"in the body after the link that decided",
         u"<body><a href=http://my.test/>x</a><link rel=canonical href=http://a.test/>", u""},
        {"in the body with no link", u"<body><p><link rel=canonical href=http://a.test/>",
         u"http://a.test/"},
        {"against the page's base",
         u"<head><base href=\"http://cdn.test/dir/\"><link rel=canonical href=page>",
         u"http://cdn.test/dir/page"},
        {"in a comment", u"<!--<link rel=canonical href=http://a.test/>-->", u""},
        {"another rel", u"<link rel=stylesheet href=http://a.test/s.css>", u""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(factsOf(row.page).canonical, QStringView(row.canonical));
    }
}

TEST(PageFacts, CanonicalElsewhereComparesAddressesAsTheSamePage) {
    struct Row {
        const char* what;
        const char16_t* fromPage;
        const char16_t* fromHeader;
        const char16_t* elsewhere;
    };
    const QStringView page = u"http://partner.test/dir/links.html";
    const Row rows[] = {
        {"none", u"", u"", u""},
        {"itself", u"http://partner.test/dir/links.html", u"", u""},
        {"a trailing slash, a fragment, letter case of scheme and host, the default port",
         u"HTTP://Partner.TEST:80/dir/links.html/#top", u"", u""},
        {"another page", u"http://partner.test/dir/other.html", u"",
         u"http://partner.test/dir/other.html"},
        {"letter case of the path counts", u"http://partner.test/dir/LINKS.html", u"",
         u"http://partner.test/dir/LINKS.html"},
        {"https is another address", u"https://partner.test/dir/links.html", u"",
         u"https://partner.test/dir/links.html"},
        {"the header, relative", u"", u"other.html", u"http://partner.test/dir/other.html"},
        {"the header when the tag names the page itself", u"http://partner.test/dir/links.html",
         u"/x", u"http://partner.test/x"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(canonicalElsewhere(row.fromPage, row.fromHeader, page),
                  QStringView(row.elsewhere));
    }
}

TEST(PageFacts, CanonicalFromLinkHeaders) {
    EXPECT_EQ(canonicalFromLinkHeaders({"<https://partner.test/a>; rel=\"canonical\""}),
              u"https://partner.test/a");
    EXPECT_EQ(canonicalFromLinkHeaders({"</style.css>; rel=preload; as=\"style, x\", "
                                        "<https://partner.test/b>; rel=\"alternate canonical\""}),
              u"https://partner.test/b");
    EXPECT_EQ(
        canonicalFromLinkHeaders({"<https://partner.test/c>; rel=next", "<d>; REL=Canonical"}),
        u"d");
    EXPECT_EQ(canonicalFromLinkHeaders({"<https://partner.test/c>; title=canonical", "broken <"}),
              u"");
}

TEST(PageFacts, ExternalCountsEveryOtherSite) {
    struct Row {
        const char* what;
        const char16_t* page;
        int external;
    };
    const Row rows[] = {
        {"domains the count never sees",
         u"<a href=http://сайт.рф/>1</a><a href=http://a.su/>2</a><a href=https://b.by/>3</a>"
         u"<a href=http://c.kz>4</a><a href=http://d.io/x>5</a>",
         5},
        {"IDN and its punycode are one target",
         u"<a href=http://пример.рф/>1</a><a href=http://xn--e1afmkfd.xn--p1ai/>2</a>", 1},
        {"the partner's site, www, subdomains and other ports are not external",
         u"<a href=http://partner.test/a>1</a><a href=http://www.partner.test/>2</a>"
         u"<a href=https://blog.Partner.test/>3</a><a href=http://partner.test:8080/>4</a>"
         u"<a href=http://partner.test./>5</a>",
         0},
        {"a host that only ends alike is", u"<a href=http://mypartner.test/>1</a>", 1},
        {"the user's own site counts", u"<a href=http://my.test/>1</a>", 1},
        {"not http or https, relative, fragment only",
         u"<a href=mailto:x@other.test>1</a><a href=\"javascript:go('http://x.test/')\">2</a>"
         u"<a href=/page>3</a><a href=#top>4</a><a href=ftp://other.test/>5</a><a>6</a>",
         0},
        {"distinct after the fragment and the letter case of scheme and host",
         u"<a href=http://other.test/p#1>1</a><a href=HTTP://OTHER.test/p#2>2</a>"
         u"<a href=http://other.test/P>3</a><a href=//other.test/p>4</a>",
         2},
        {"nofollow and noindex count too",
         u"<noindex><a href=http://a.test/ rel=nofollow>1</a></noindex>", 1},
        {"only real links",
         u"<!-- <a href=http://a.test/> --><script>'<a href=http://b.test/>'</script>"
         u"<a title='<a href=http://c.test/>' href=http://d.test/>",
         1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(factsOf(row.page).external, row.external);
    }
}

// The count and the verdict stay the rule's own whatever the facts say.
TEST(PageFacts, LeaveTheVerdictAndCountAlone) {
    const QString page =
        u"<meta name=robots content=noindex><a href=http://www.example.org/>1</a>"
        u"<a href=http://x.io/>2</a><a href='http://y.ru/'>3</a>"_s;
    const LinkScanResult plain = scanLinks(page, u"example.org", kPartner, false);
    const LinkScanResult withFacts = scanWithFacts(page, u"example.org", kPartner, kPartner);
    EXPECT_EQ(verdictText(withFacts), verdictText(plain));
    EXPECT_EQ(verdictText(plain), u"YEP@2");
    EXPECT_EQ(withFacts.pageSignals, plain.pageSignals);
    EXPECT_EQ(withFacts.facts.external, 3);
}

}  // namespace
}  // namespace quorvel
