#include "checking/robots_files.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "checking/host_gate.h"
#include "support/printers.h"
#include "support/raw_server.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;
using test::httpResponse;
using test::RawServer;

FetchSettings settingsFor(int port) {
    FetchSettings s;
    s.resolve = QStringList{u"partner.test:%1:127.0.0.1"_s.arg(port),
                            u"other.test:%1:127.0.0.1"_s.arg(port)};
    s.connectTimeoutMs = 2000;
    s.stallTimeoutMs = 1000;
    s.totalTimeoutMs = 3000;
    return s;
}

QString page(int port, const char* host, const char* path) {
    return u"http://%1:%2%3"_s.arg(QLatin1StringView(host)).arg(port).arg(QLatin1StringView(path));
}

// What the site's answer for robots.txt makes of its pages.
TEST(RobotsFiles, WhatTheAnswerSays) {
    struct Row {
        const char* what;
        QByteArray answer;
        bool known;
        const char16_t* agent;
    };
    QByteArray big = "User-agent: *\nDisallow: /private\n";
    big += QByteArray(RobotsRules::kMaxBytes, '#') + "\nDisallow: /\n";
    const Row rows[] = {
        {"a file", httpResponse("200 OK", "User-agent: Yandex\nDisallow: /private"), true,
         u"Yandex"},
        {"read up to its limit", httpResponse("200 OK", big), true, u"*"},
        {"no file", httpResponse("404 Not Found", "User-agent: *\nDisallow: /"), true, u""},
        {"a server error", httpResponse("503 Service Unavailable", ""), false, u""},
        {"a redirect to the file", QByteArray(), true, u"Googlebot"},
        {"no answer", QByteArray(), false, u""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        RawServer server([&](const RawServer::Connection& c) {
            if (c.request.contains("Host: other.test")) {
                c.send(httpResponse("200 OK", "User-agent: googlebot\nDisallow: /"));
            } else if (row.answer.isEmpty() && row.known) {
                c.send(httpResponse("301 Moved", "",
                                    "Location: http://other.test:" +
                                        QByteArray::number(c.server->port()) + "/robots.txt\r\n"));
            } else {
                c.send(row.answer);
            }
        });
        RobotsFiles files;
        const RobotsVerdict v = files.verdictFor(
            page(server.port(), "partner.test", "/private/x.html"), settingsFor(server.port()));
        EXPECT_EQ(v.known, row.known);
        EXPECT_EQ(v.agent, QStringView(row.agent));
        EXPECT_EQ(test::requestTarget(server.requests().value(0)), "/robots.txt");
    }
}

// However many pages of a site are checked at once, its file is fetched
// once.
TEST(RobotsFiles, OneFetchPerSite) {
    RawServer server([&](const RawServer::Connection& c) {
        c.pause(100);
        c.send(httpResponse("200 OK", "User-agent: *\nDisallow: /no"));
    });
    HostGate gate(1);
    FetchSettings settings = settingsFor(server.port());
    settings.hostGate = &gate;
    RobotsFiles files;
    std::atomic<int> forbidden{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 6; ++i) {
        threads.emplace_back([&, i] {
            const char* host = i % 2 ? "partner.test" : "other.test";
            const RobotsVerdict v = files.verdictFor(
                page(server.port(), host, i < 4 ? "/no/page" : "/yes/page"), settings);
            forbidden += v.agent == u"*" ? 1 : 0;
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(server.requests().size(), 2);
    EXPECT_EQ(forbidden.load(), 4);
}

}  // namespace
}  // namespace quorvel
