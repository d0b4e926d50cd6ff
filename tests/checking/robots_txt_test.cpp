#include "checking/robots_txt.h"

#include <gtest/gtest.h>

#include "support/printers.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;

struct Verdict {
    const char* agent;
    const char* path;
    bool allowed;
};

void expectVerdicts(const char* robots, std::initializer_list<Verdict> verdicts) {
    const RobotsRules rules{QByteArrayView(robots)};
    for (const Verdict& v : verdicts) {
        SCOPED_TRACE(std::string(v.agent) + " " + v.path);
        EXPECT_EQ(rules.allows({QByteArrayView(v.agent)}, QByteArrayView(v.path)), v.allowed);
    }
}

// The examples of RFC 9309, section 5.
TEST(RobotsRules, TheRfcExamples) {
    expectVerdicts(
        "User-Agent: *\n"
        "Disallow: *.gif$\n"
        "Disallow: /example/\n"
        "Allow: /publications/\n"
        "\n"
        "User-Agent: foobot\n"
        "Disallow:/\n"
        "Allow:/example/page.html\n"
        "Allow:/example/allowed.gif\n"
        "\n"
        "User-Agent: barbot\n"
        "User-Agent: bazbot\n"
        "Disallow: /example/page.html\n"
        "\n"
        "User-Agent: quxbot\n"
        "\n"
        "EOF\n",
        {
            {"foobot", "/example/page.html", true},
            {"foobot", "/example/allowed.gif", true},
            {"foobot", "/example/other.html", false},
            {"foobot", "/publications/", false},
            {"foobot", "/robots.txt", true},
            {"barbot", "/example/page.html", false},
            {"bazbot", "/example/page.html", false},
            {"bazbot", "/example/other.html", true},
            {"quxbot", "/example/page.html", true},
            {"otherbot", "/example/page.html", false},
            {"otherbot", "/image.gif", false},
            {"otherbot", "/image.gif?size=2", true},
            {"otherbot", "/publications/", true},
            {"otherbot", "/publications/cover.gif", true},
            {"otherbot", "/index.html", true},
        });
    expectVerdicts(
        "User-Agent: foobot\n"
        "Allow: /example/page/\n"
        "Disallow: /example/page/disallowed.gif\n",
        {
            {"foobot", "/example/page/", true},
            {"foobot", "/example/page/disallowed.gif", false},
        });
}

// RFC 9309, sections 2.2.1 to 2.2.3: agents, special characters and
// percent-encoding.
TEST(RobotsRules, AgentsPathsAndEncodings) {
    expectVerdicts(
        "user-agent: ExampleBot\n"
        "disallow: /foo\n"
        "disallow: /bar\n"
        "\n"
        "user-agent: examplebot/2.1 (+http://example.test)\n"
        "disallow: /baz\n"
        "\n"
        "user-agent: *\n"
        "disallow: /something\n",
        {
            {"examplebot", "/foo", false},
            {"examplebot", "/baz", false},
            {"examplebot", "/something", true},
            {"otherbot", "/something/x", false},
            {"otherbot", "/foo", true},
        });
    expectVerdicts(
        "User-agent: *\r\n"
        "Allow: /this/path/exactly$ # comment in line\r\n"
        "Disallow: /this/\r"
        "Allow: /a/*/exactly\n"
        "Disallow: /a/\n"
        "Disallow: /foo/bar/%62%61%7A\n"
        "Disallow: /foo/bar/\xE3\x83\x84\n"
        "Disallow: /foo/bar?baz=https://foo.bar\n"
        "Disallow: /path/file-with-a-%2A.html\n"
        "Disallow: /path/foo-%24\n"
        "Allow: /same\n"
        "Disallow: /same\n",
        {
            {"x", "/this/path/exactly", true},
            {"x", "/this/path/exactly/more", false},
            {"x", "/a/b/c/exactly", true},
            {"x", "/a/b/c/exact", false},
            {"x", "/foo/bar/baz", false},
            {"x", "/foo/bar/%E3%83%84", false},
            {"x", "/foo/bar/%e3%83%84", false},
            {"x", "/foo/bar?baz=https%3A%2F%2Ffoo.bar", false},
            {"x", "/path/file-with-a-*.html", false},
            {"x", "/path/file-with-a-x.html", true},
            {"x", "/path/foo-$", false},
            {"x", "/same", true},
            {"x", "/Same", true},
        });
}

TEST(RobotsRules, WhatIsNoRule) {
    expectVerdicts(
        "Disallow: /before-any-agent\n"
        "User-agent: a\n"
        "Disallow:\n"
        "User-agent: b\n"
        "Disallow: /\n"
        "Sitemap: http://x.test/map.xml\n"
        "garbage without a colon\n",
        {
            {"a", "/before-any-agent", true},
            {"a", "/x", true},
            {"b", "/x", false},
            {"c", "/x", true},
        });
    expectVerdicts("", {{"a", "/", true}});
    // Only the first 500 KiB count.
    QByteArray big = "User-agent: *\n";
    big += QByteArray(RobotsRules::kMaxBytes, '#');
    big += "\nDisallow: /\n";
    EXPECT_TRUE(RobotsRules(big).allows({}, "/page"));
}

TEST(RobotsRules, TheSearchEngineThatIsForbidden) {
    struct Row {
        const char* what;
        const char* robots;
        const char16_t* agent;
    };
    const Row rows[] = {
        {"neither named, the rest forbidden", "User-agent: *\nDisallow: /p", u"*"},
        {"neither named, allowed", "User-agent: *\nDisallow: /q", u""},
        {"Googlebot", "User-agent: Googlebot\nDisallow: /\nUser-agent: *\nAllow: /", u"Googlebot"},
        {"Googlebot allowed, Yandex through the rest",
         "User-agent: Googlebot\nAllow: /\nUser-agent: *\nDisallow: /", u"Yandex"},
        {"Yandex", "User-agent: Yandex\nDisallow: /page", u"Yandex"},
        {"the main Yandex crawler's own group comes first",
         "User-agent: Yandex\nDisallow: /\nUser-agent: YandexBot\nAllow: /\n"
         "User-agent: Googlebot\nAllow: /",
         u""},
        {"a more specific agent's group is not Googlebot's",
         "User-agent: Googlebot-Image\nDisallow: /\nUser-agent: Yandex\nAllow: /", u""},
        {"no file", "", u""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(robotsForbiddingAgent(RobotsRules(row.robots), "/page"), QStringView(row.agent));
    }
}

TEST(RobotsRules, PathOfAnAddress) {
    EXPECT_EQ(robotsPathOf(u"http://x.test"), "/");
    EXPECT_EQ(robotsPathOf(u"http://x.test/a%20b/c?d=e&f#frag"), "/a%20b/c?d=e&f");
    EXPECT_EQ(robotsPathOf(u"https://x.test/?"), "/?");
}

}  // namespace
}  // namespace quorvel
