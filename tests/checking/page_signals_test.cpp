#include "checking/page_signals.h"

#include <gtest/gtest.h>

#include "checking/link_scanner.h"
#include "support/printers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

// What a partner page says to search engines, from one scan of it.
TEST(PageSignals, FromThePage) {
    struct Row {
        const char* what;
        const char16_t* page;
        QStringList names;
    };
    const Row rows[] = {
        {"none", u"<a href=http://me.example/>", {}},
        {"robots noindex",
         u"<meta name=\"robots\" content=\"noindex\"><a href=http://me.example/>",
         {u"meta-noindex"_s}},
        {"upper case, two tokens with a comma and spaces",
         u"<META NAME='ROBOTS' CONTENT='NOINDEX , NOFOLLOW'><a href=http://me.example/>",
         {u"meta-noindex"_s, u"meta-nofollow"_s}},
        {"none is both",
         u"<meta content=none name=googlebot><a href=http://me.example/>",
         {u"meta-noindex"_s, u"meta-nofollow"_s}},
        {"yandex, spaces only",
         u"<meta name=\"Yandex\" content=\"nofollow noarchive\" />",
         {u"meta-nofollow"_s}},
        {"another crawler's tag counts for nobody",
         u"<meta name=\"bingbot\" content=\"noindex\"><a href=http://me.example/>",
         {}},
        {"a meta tag that is no robots tag",
         u"<meta http-equiv=refresh content=\"0;noindex\">",
         {}},
        {"a longer tag name is no meta tag", u"<metadata name=robots content=noindex>", {}},
        {"rel sponsored on a nofollow anchor",
         u"<a href=http://me.example/ rel=\"nofollow sponsored\">",
         {u"rel-sponsored"_s}},
        {"rel ugc, upper case", u"<a rel='UGC' href=http://me.example/>", {u"rel-ugc"_s}},
        {"rel of another anchor does not count",
         u"<a href=http://other.example/ rel=sponsored><a href=http://me.example/>",
         {}},
        {"only the anchor that decided",
         u"<a href=http://me.example/ rel=ugc><a href=http://me.example/ rel=sponsored>",
         {u"rel-ugc"_s}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const LinkScanResult r = scanLinks(QStringView(row.page), u"me.example", u"", false);
        EXPECT_EQ(signalNames(r.pageSignals), row.names);
    }
    // A nofollow sponsored anchor is Hidden, with its rel value told.
    const LinkScanResult hidden = scanLinks(
        u"<a href=http://me.example/ rel=\"nofollow sponsored\">", u"me.example", u"", false);
    EXPECT_EQ(hidden.verdict, BacklinkVerdict::Hidden);
}

// A robots meta tag counts only where a browser sees a tag, and is read
// whole however long it is.
TEST(PageSignals, MetaRobotsOnlyInRealTags) {
    struct Row {
        const char* what;
        QString page;
        bool noindex;
    };
    const QString meta = u"<meta name=\"robots\" content=\"noindex\">"_s;
    const QString longContent = u"<meta name=robots content=\""_s + QString(1 << 20, u'x') +
                                u" noindex\"><a href=http://me.example/>"_s;
    const Row rows[] = {
        {"a real tag", meta, true},
        {"in a comment", u"<!-- "_s + meta + u" -->"_s, false},
        {"in a comment that closes at once", u"<!-->"_s + meta, true},
        {"in a script", u"<script>document.write('"_s + meta + u"')</script>"_s, false},
        {"in a script, upper case end tag", u"<SCRIPT>x</SCRIPT>"_s + meta, true},
        {"in an attribute value", u"<div title='"_s + meta + u"'></div>"_s, false},
        {"in a textarea", u"<textarea>"_s + meta + u"</textarea>"_s, false},
        {"in a title", u"<title>"_s + meta + u"</title>"_s, false},
        {"after a quoted \">\" in another tag", u"<p title=\"a>b\">"_s + meta, true},
        {"a content of 1 MB", longContent, true},
        {"a tag the page leaves open", u"<meta name=robots content=\"noindex>"_s, false},
        {"a slash and line breaks between attributes",
         u"<META/name=robots\r\ncontent=\"noindex\"/>"_s, true},
        {"an unquoted value runs on over a slash", u"<meta name=robots/content=noindex>"_s, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const PageSignals expected = row.noindex ? MetaNoindex : 0;
        EXPECT_EQ(scanLinks(row.page, u"me.example", u"", false).pageSignals, expected);
        EXPECT_EQ(scanWithFacts(row.page, u"me.example", u"", u"http://p.test/").pageSignals,
                  expected);
    }
}

TEST(PageSignals, FromTheResponseHeaders) {
    struct Row {
        const char* what;
        QList<QByteArray> values;
        QStringList names;
    };
    const Row rows[] = {
        {"none", {}, {}},
        {"noindex", {"noindex"}, {u"header-noindex"_s}},
        {"none is both", {"NONE"}, {u"header-noindex"_s, u"header-nofollow"_s}},
        {"several headers", {"noarchive", "NoFollow"}, {u"header-nofollow"_s}},
        {"for googlebot", {"googlebot: noindex"}, {u"header-noindex"_s}},
        {"for yandex, in a list",
         {"yandex: nofollow, noindex"},
         {u"header-noindex"_s, u"header-nofollow"_s}},
        {"for another crawler: ignored", {"otherbot: noindex", "bingbot:nofollow"}, {}},
        {"a directive with a colon is no crawler",
         {"unavailable_after: 25 Jun 2010, noindex"},
         {u"header-noindex"_s}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(signalNames(robotsHeaderSignals(row.values)), row.names);
    }
    EXPECT_EQ(signalNames(0xFFFF),
              (QStringList{u"meta-noindex"_s, u"meta-nofollow"_s, u"header-noindex"_s,
                           u"header-nofollow"_s, u"rel-sponsored"_s, u"rel-ugc"_s,
                           u"challenge-marker"_s, u"other-link-to-you"_s, u"canonical-elsewhere"_s,
                           u"robots-disallow"_s, u"rendered-found"_s, u"rendered-hidden"_s}))
        << "always in this order";
}

// The anchors of a page scanned once give the scanner's verdict for any key.
TEST(PageAnchors, GiveTheVerdictForAnyKey) {
    const PageAnchors anchors = collectAnchors(
        u"<a href=http://www.Partner.ru/>p</a> <noindex><a href=http://hidden.example/></noindex>"
        u"<a href=http://follow.example/ rel=nofollow> <a href=http://hidden.example/>");
    EXPECT_EQ(anchors.verdictFor(u"partner.ru"), BacklinkVerdict::Yep);
    EXPECT_EQ(anchors.verdictFor(u"http://www.PARTNER.ru"), BacklinkVerdict::Yep);
    EXPECT_EQ(anchors.verdictFor(u"hidden.example"), BacklinkVerdict::Hidden)
        << "the first anchor decides";
    EXPECT_EQ(anchors.verdictFor(u"follow.example"), BacklinkVerdict::Hidden);
    EXPECT_EQ(anchors.verdictFor(u"absent.example"), BacklinkVerdict::Nil);
    EXPECT_EQ(anchors.verdictFor(u""), BacklinkVerdict::Nil);
}

}  // namespace
}  // namespace quorvel
