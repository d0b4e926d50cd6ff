#include "checking/page_fetch.h"
#include "checking/page_memory.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#ifndef Q_OS_WIN
#include <httplib.h>
#endif

#include <atomic>
#include <functional>
#include <thread>

#include "checking/host_gate.h"
#include "support/printers.h"
#include "support/raw_server.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;
using test::RawServer;

const QString kFixtures = QStringLiteral(QUORVEL_SOURCE_DIR "/tests/fixtures/tls/");

// Short limits keep the hostile cases fast; every host name used is mapped.
FetchSettings settingsFor(int port,
                          const QStringList& hosts = {u"partner.test"_s, u"www.partner.test"_s}) {
    FetchSettings s;
    for (const QString& host : hosts) {
        s.resolve += u"%1:%2:127.0.0.1"_s.arg(host).arg(port);
    }
    s.connectTimeoutMs = 2000;
    s.stallTimeoutMs = 1000;
    s.totalTimeoutMs = 4000;
    return s;
}

QString hostOf(int port, const char* host = "partner.test") {
    return QString::fromLatin1(host) + u':' + QString::number(port);
}

QByteArray headerValue(const QByteArray& request, const QByteArray& name) {
    for (const QByteArray& line : request.split('\n')) {
        if (line.startsWith(QByteArray(name + ": "))) {
            return line.mid(name.size() + 2).trimmed();
        }
    }
    return {};
}

using test::httpResponse;

TEST(FetchPage, SendsExactlyTheRequest) {
    RawServer server(
        [](const RawServer::Connection& c) { c.send(httpResponse("200 OK", "hello")); });
    const int port = server.port();
    const FetchResult r = FetchPage(hostOf(port) + u"/dir/page.html?q=1", settingsFor(port));
    ASSERT_TRUE(r.success) << r.error.toStdString();
    EXPECT_EQ(r.pageText, u"hello\r\n");
    EXPECT_EQ(r.firstAddress, u"http://" + hostOf(port) + u"/dir/page.html?q=1");
    ASSERT_EQ(server.requests().size(), 1);
    EXPECT_EQ(server.requests().at(0),
              "GET /dir/page.html?q=1 HTTP/1.1\r\n"
              "Host: partner.test:" +
                  QByteArray::number(port) +
                  "\r\n"
                  "Accept: text/html, */*\r\n"
                  "Accept-Encoding: identity\r\n"
                  "User-Agent: MSIE 6.0\r\n\r\n");

    ASSERT_TRUE(FetchPage(u"HTTP://" + hostOf(port), settingsFor(port)).success);
    EXPECT_TRUE(server.requests().at(1).startsWith("GET / HTTP/1.1\r\n"));
}

TEST(FetchPage, SecondAddressAfterAFailedFirst) {
    RawServer server([](const RawServer::Connection& c) {
        const bool www = headerValue(c.request, "Host").startsWith("www.");
        c.send(www ? httpResponse("200 OK", "second") : httpResponse("404 Not Found", "first"));
    });
    const int port = server.port();
    const FetchResult r = FetchPage(hostOf(port) + u"/a", settingsFor(port));
    ASSERT_TRUE(r.success);
    EXPECT_EQ(r.pageText, u"second\r\n") << "a failed attempt's body never remains";
    ASSERT_EQ(server.requests().size(), 2);
    EXPECT_EQ(headerValue(server.requests().at(1), "Host"), "www." + hostOf(port).toLatin1());

    // A "www." address: the second address has no scheme and resolves
    // against the address requested last.
    RawServer relative([](const RawServer::Connection& c) {
        c.send(test::requestTarget(c.request) == "/a" ? httpResponse("404 Not Found", "")
                                                      : httpResponse("200 OK", "resolved"));
    });
    const int rport = relative.port();
    const FetchResult w = FetchPage(u"www." + hostOf(rport) + u"/a", settingsFor(rport));
    EXPECT_EQ(w.pageText, u"resolved\r\n");
    ASSERT_EQ(relative.requests().size(), 2);
    EXPECT_EQ(test::requestTarget(relative.requests().at(1)),
              "/www." + hostOf(rport).toLatin1() + "/a");
}

// The per-host limit counts the host a request goes to: a second address
// without a scheme follows the first attempt's redirect to another host.
TEST(FetchPage, TheHostLimitCountsTheHostAsked) {
    HostGate gate(1);
    std::atomic<int> heldByPartner{-1};
    std::atomic<int> heldByOther{-1};
    RawServer server([&](const RawServer::Connection& c) {
        const QByteArray target = test::requestTarget(c.request);
        if (target == "/a") {
            c.send(httpResponse(
                "302 Found", "",
                "Location: http://other.test:" + QByteArray::number(c.server->port()) + "/b\r\n"));
        } else if (target == "/b") {
            c.send(httpResponse("404 Not Found", ""));
        } else {
            heldByPartner = gate.inUse("www.partner.test");
            heldByOther = gate.inUse("other.test");
            c.send(httpResponse("200 OK", "second"));
        }
    });
    const int port = server.port();
    FetchSettings settings = settingsFor(port, {u"www.partner.test"_s, u"other.test"_s});
    settings.hostGate = &gate;
    const FetchResult r = FetchPage(u"www." + hostOf(port) + u"/a", settings);
    ASSERT_TRUE(r.success) << r.error.toStdString();
    EXPECT_EQ(heldByOther, 1);
    EXPECT_EQ(heldByPartner, 0);
    EXPECT_EQ(gate.inUse("other.test"), 0);
}

// A host is one host however it is written: letter case, a trailing dot and
// the Unicode or punycode spelling neither escape the per-host limit nor miss
// a mapping.
TEST(FetchPage, OneHostWhateverItsSpelling) {
    struct Row {
        const char* name;
        QString address;  // "%1" is the port
        QString mapped;   // the host as --resolve writes it
        QByteArray key;   // the host the limit counts
    };
    const Row rows[] = {
        {"trailing dot asked, plain mapped", u"http://Partner.Test.:%1/"_s, u"partner.test"_s,
         "partner.test"},
        {"plain asked, trailing dot and capitals mapped", u"http://partner.test:%1/"_s,
         u"PARTNER.test."_s, "partner.test"},
        {"Unicode asked, Unicode in capitals mapped", u"http://пример.test.:%1/"_s,
         u"ПРИМЕР.test"_s, "xn--e1afmkfd.test"},
        {"punycode asked, Unicode mapped", u"http://xn--e1afmkfd.test:%1/"_s, u"пример.test"_s,
         "xn--e1afmkfd.test"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HostGate gate(1);
        std::atomic<int> held{-1};
        RawServer server([&](const RawServer::Connection& c) {
            held = gate.inUse(row.key);
            c.send(httpResponse("200 OK", "ok"));
        });
        const int port = server.port();
        const QString address = row.address.arg(port);
        EXPECT_EQ(requestHostOf(address), row.key);
        FetchSettings settings = settingsFor(port, {row.mapped});
        settings.hostGate = &gate;
        const FetchResult r = FetchPage(address, settings);
        ASSERT_TRUE(r.success) << r.error.toStdString();
        EXPECT_EQ(held, 1);
        EXPECT_EQ(gate.inUse(row.key), 0);
    }
}

TEST(FetchPage, RedirectsUpToFourteen) {
    RawServer server([](const RawServer::Connection& c) {
        const QByteArray target = test::requestTarget(c.request);
        if (target.startsWith("/r/")) {
            const int left = target.mid(3).toInt();
            c.send(left == 0
                       ? httpResponse("200 OK", "end")
                       : httpResponse("302 Found", "moved",
                                      "Location: /r/" + QByteArray::number(left - 1) + "\r\n"));
        } else if (target == "/loc200") {
            c.send(httpResponse("200 OK", "not this", "Location: /r/0\r\n"));
        } else if (target == "/loc201") {
            c.send(httpResponse("201 Created", "created", "Location: /r/0\r\n"));
        } else if (target == "/304") {
            c.send(httpResponse("304 Not Modified", ""));
        } else if (target == "/ftp") {
            c.send(httpResponse("301 Moved", "", "Location: ftp://partner.test/x\r\n"));
        }
    });
    const int port = server.port();
    const FetchSettings settings = settingsFor(port);

    FetchResult r = FetchPage(hostOf(port) + u"/r/14", settings);
    EXPECT_TRUE(r.success);
    EXPECT_EQ(r.pageText, u"end\r\n");
    EXPECT_EQ(server.requests().size(), 15);

    r = FetchPage(hostOf(port) + u"/r/15", settings);
    EXPECT_FALSE(r.success) << "a 15th redirect is a loop, not an empty page";
    EXPECT_EQ(r.error, u"too many redirects");
    EXPECT_EQ(server.requests().size(), 15 + 30) << "15 requests per attempt, /r/0 never";

    r = FetchPage(hostOf(port) + u"/loc200", settings);
    EXPECT_EQ(r.pageText, u"end\r\n") << "a Location makes even a 200 a redirect";
    r = FetchPage(hostOf(port) + u"/loc201", settings);
    EXPECT_EQ(r.pageText, u"created\r\n") << "but not a 201";

    const qsizetype before = server.requests().size();
    EXPECT_FALSE(FetchPage(hostOf(port) + u"/304", settings).success);
    r = FetchPage(hostOf(port) + u"/ftp", settings);
    EXPECT_FALSE(r.success);
    EXPECT_EQ(server.requests().size(), before + 4) << "nothing but http and https is requested";
}

TEST(FetchPage, CookiesLiveForOneCall) {
    RawServer server([](const RawServer::Connection& c) {
        const QByteArray target = test::requestTarget(c.request);
        if (target == "/login") {
            c.send(
                httpResponse("302 Found", "", "Set-Cookie: sid=42; Path=/\r\nLocation: /echo\r\n"));
        } else {
            c.send(httpResponse("200 OK", "cookie=" + headerValue(c.request, "Cookie")));
        }
    });
    const int port = server.port();
    EXPECT_EQ(FetchPage(hostOf(port) + u"/login", settingsFor(port)).pageText,
              u"cookie=sid=42\r\n");
    EXPECT_EQ(FetchPage(hostOf(port) + u"/echo", settingsFor(port)).pageText, u"cookie=\r\n");
}

TEST(FetchPage, BodiesBecomePageText) {
    RawServer server([](const RawServer::Connection& c) {
        const QByteArray target = test::requestTarget(c.request);
        if (target == "/chunked") {
            c.send(
                "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                "4\r\n<a h\r\n12\r\nref=http://x.net/>\r\n0\r\n\r\n");
        } else if (target == "/damaged") {
            c.send(httpResponse("200 OK",
                                "\xEF\xBB\xBF"
                                "a\xFF\nb"));
        } else if (target == "/204") {
            c.send("HTTP/1.1 204 No Content\r\n\r\n");
        } else if (target == "/empty") {
            c.send(httpResponse("200 OK", ""));
        }
    });
    const int port = server.port();
    const FetchSettings settings = settingsFor(port);
    EXPECT_EQ(FetchPage(hostOf(port) + u"/chunked", settings).pageText,
              u"<a href=http://x.net/>\r\n");
    EXPECT_EQ(FetchPage(hostOf(port) + u"/damaged", settings).pageText, u"a\uFFFD\r\nb\r\n"_s);
    for (const char16_t* path : {u"/204", u"/empty"}) {
        const FetchResult r = FetchPage(hostOf(port) + QStringView(path), settings);
        EXPECT_TRUE(r.success);
        EXPECT_TRUE(r.pageText.isEmpty());
    }
}

TEST(FetchPage, NonAsciiAddressesGoOutEncoded) {
    RawServer server([](const RawServer::Connection& c) { c.send(httpResponse("200 OK", "ok")); });
    const int port = server.port();
    const FetchResult r = FetchPage(u"http://пример.test:%1/путь"_s.arg(port),
                                    settingsFor(port, {u"xn--e1afmkfd.test"_s}));
    ASSERT_TRUE(r.success) << r.error.toStdString();
    const QByteArray request = server.requests().at(0);
    EXPECT_EQ(test::requestTarget(request), "/%d0%bf%d1%83%d1%82%d1%8c");
    EXPECT_EQ(headerValue(request, "Host"), "xn--e1afmkfd.test:" + QByteArray::number(port));
}

// The HTTPS test server needs OpenSSL, which has no Windows build here.
#ifndef Q_OS_WIN
class TlsServer {
  public:
    // Serves "secure" at /page, and whatever `routes` adds, with the
    // certificate `name`.pem.
    explicit TlsServer(const char* name = "server",
                       const std::function<void(httplib::SSLServer&)>& routes = {})
        : server_((kFixtures + QLatin1StringView(name) + u".pem").toLocal8Bit().constData(),
                  (kFixtures + QLatin1StringView(name) + u".key").toLocal8Bit().constData()) {
        server_.Get("/page", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("secure", "text/html");
        });
        if (routes) {
            routes(server_);
        }
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        while (!server_.is_running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    ~TlsServer() {
        server_.stop();
        thread_.join();
    }
    int port() const { return port_; }

  private:
    httplib::SSLServer server_;
    int port_ = 0;
    std::thread thread_;
};

TEST(FetchPage, HttpsWithVerifiedCertificates) {
    TlsServer tls;
    RawServer plain([&](const RawServer::Connection& c) {
        c.send(httpResponse(
            "302 Found", "",
            "Location: https://secure.test:" + QByteArray::number(tls.port()) + "/page\r\n"));
    });
    FetchSettings settings = settingsFor(plain.port());
    settings.resolve += u"secure.test:%1:127.0.0.1"_s.arg(tls.port());
    settings.resolve += u"www.secure.test:%1:127.0.0.1"_s.arg(tls.port());
    settings.caFile = kFixtures + u"ca.pem";

    FetchResult r = FetchPage(hostOf(plain.port()) + u"/go", settings);
    EXPECT_TRUE(r.success) << r.error.toStdString();
    EXPECT_EQ(r.pageText, u"secure\r\n") << "a redirect to https is followed";

    r = FetchPage(u"https://secure.test:%1/page"_s.arg(tls.port()), settings);
    EXPECT_EQ(r.pageText, u"secure\r\n");

    settings.caFile.clear();  // the system's store does not know the test CA
    r = FetchPage(u"https://secure.test:%1/page"_s.arg(tls.port()), settings);
    EXPECT_FALSE(r.success);
    EXPECT_FALSE(r.error.isEmpty());
}

// Anyone on the path can break a TLS connection: that must never make the
// second attempt go out over plain http. The downgraded address would reach
// the plain server (the www name maps to 127.0.0.2 at the TLS server's port),
// which answers everything with a forged page.
TEST(FetchPage, HttpsNeverFallsBackToPlainHttp) {
    TlsServer tls("expired");
    const int port = tls.port();
    RawServer plain(
        [](const RawServer::Connection& c) { c.send(httpResponse("200 OK", "forged")); },
        "127.0.0.2", port);
    FetchSettings settings = settingsFor(port, {u"expired.test"_s});
    settings.resolve += u"www.expired.test:%1:127.0.0.2"_s.arg(port);
    settings.caFile = kFixtures + u"expired-ca.pem";

    const FetchResult r = FetchPage(u"https://expired.test:%1/page"_s.arg(port), settings);
    EXPECT_FALSE(r.success);
    ASSERT_EQ(r.attempts.size(), 2);
    EXPECT_EQ(r.attempts.at(0).reason.code(), u"tls certificate has expired");
    EXPECT_EQ(r.attempts.at(1).address, u"https://www.expired.test:%1/page"_s.arg(port));
    for (const QByteArray& request : plain.requests()) {
        EXPECT_FALSE(request.contains("HTTP/1.1")) << "a plain request reached the plain server";
    }
}

// What is wrong with a certificate, as the attempt's reason names it: the
// history puts these very texts into words.
TEST(FetchPage, CertificateProblemsAreNamed) {
    struct Case {
        const char* name;
        const char* certificate;  // the server's
        QString host;
        QString caFile;  // what the client trusts
        QString problem;
    };
    const Case cases[] = {
        {"expired", "expired", u"expired.test"_s, u"expired-ca.pem"_s,
         u"certificate has expired"_s},
        {"self-signed", "self-signed", u"self.test"_s, u"ca.pem"_s, u"self-signed certificate"_s},
        {"issued to another name", "server", u"partner.test"_s, u"ca.pem"_s,
         u"certificate does not match the host name"_s},
        {"an issuer nobody trusts", "server", u"secure.test"_s, u"expired-ca.pem"_s,
         u"unable to get local issuer certificate"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TlsServer tls(c.certificate);
        FetchSettings settings = settingsFor(tls.port(), {c.host, u"www."_s + c.host});
        settings.caFile = kFixtures + c.caFile;
        const FetchResult r =
            FetchPage(u"https://%1:%2/page"_s.arg(c.host).arg(tls.port()), settings);
        EXPECT_FALSE(r.success);
        ASSERT_FALSE(r.attempts.isEmpty());
        EXPECT_EQ(r.attempts.at(0).reason.kind, FailureReason::Kind::Tls);
        EXPECT_EQ(r.attempts.at(0).reason.tlsProblem, c.problem);
    }
}

TEST(FetchPage, ARedirectFromHttpsToHttpFails) {
    RawServer plain(
        [](const RawServer::Connection& c) { c.send(httpResponse("200 OK", "plain")); });
    const QByteArray down = "http://partner.test:" + QByteArray::number(plain.port()) + "/page";
    TlsServer tls("server", [&](httplib::SSLServer& server) {
        server.Get("/down", [down](const httplib::Request&, httplib::Response& res) {
            res.set_redirect(down.toStdString());
        });
    });
    FetchSettings settings = settingsFor(plain.port());
    settings.resolve += u"secure.test:%1:127.0.0.1"_s.arg(tls.port());
    settings.resolve += u"www.secure.test:%1:127.0.0.1"_s.arg(tls.port());
    settings.caFile = kFixtures + u"ca.pem";

    const FetchResult r = FetchPage(u"https://secure.test:%1/down"_s.arg(tls.port()), settings);
    EXPECT_FALSE(r.success);
    ASSERT_EQ(r.attempts.size(), 2);
    for (const FetchAttempt& a : r.attempts) {
        EXPECT_EQ(a.reason.code(), u"scheme");
        EXPECT_TRUE(a.error.contains(u"https to http")) << a.error.toStdString();
    }
    EXPECT_TRUE(plain.requests().isEmpty());
}
#endif

// The reason of each failed attempt, as the check history keeps it.
// A refused answer keeps its status whatever its body does afterwards: a
// body cut short, or one that never comes, is no reason to call the page
// unreachable or to wait out the limits.
TEST(FetchPage, ARefusedAnswerKeepsItsStatus) {
    struct Case {
        const char* what;
        QByteArray head;
        QByteArray code;
    };
    const Case cases[] = {
        {"a rate limit whose body breaks off",
         "HTTP/1.1 429 Too Many Requests\r\nRetry-After: 2\r\nContent-Length: 1000\r\n\r\nnot all",
         "blocked http 429 retry-after 2"},
        {"a 404 whose body never comes", "HTTP/1.1 404 Not Found\r\nContent-Length: 100000\r\n\r\n",
         "http 404"},
        {"a 404 that only mentions a challenge",
         "HTTP/1.1 404 Not Found\r\nContent-Length: 40\r\n\r\n<title>Just a moment...</title>   ",
         "http 404"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RawServer server([&c](const RawServer::Connection& conn) {
            conn.send(c.head);
            conn.pause(20000);
        });
        FetchSettings settings = settingsFor(server.port());
        settings.stallTimeoutMs = 30000;
        settings.totalTimeoutMs = 60000;
        QElapsedTimer timer;
        timer.start();
        const FetchResult r = FetchPage(hostOf(server.port()), settings);
        EXPECT_FALSE(r.success);
        ASSERT_EQ(r.attempts.size(), 2);
        EXPECT_EQ(r.attempts.at(0).reason.code(), QString::fromLatin1(c.code));
        EXPECT_LT(timer.elapsed(), 2 * 5000 + 1000);
    }
}

TEST(FetchPage, FailedAttemptsSayWhy) {
    struct Case {
        const char* what;
        RawServer::Handler handler;
        const char* code;
        const char* errorPart;
    };
    const Case cases[] = {
        {"an error status",
         [](const RawServer::Connection& c) { c.send(httpResponse("404 Not Found", "")); },
         "http 404", "404"},
        {"a redirect without a Location",
         [](const RawServer::Connection& c) {
             c.send("HTTP/1.1 302 Found\r\nContent-Length: 0\r\n\r\n");
         },
         "http 302", "without a Location"},
        {"a redirect to ftp",
         [](const RawServer::Connection& c) {
             c.send(httpResponse("301 Moved", "", "Location: ftp://partner.test/x\r\n"));
         },
         "scheme", "ftp"},
        {"a redirect loop",
         [](const RawServer::Connection& c) {
             c.send(httpResponse("302 Found", "", "Location: /again\r\nConnection: close\r\n"));
         },
         "redirects", "too many redirects"},
        {"an endless body",
         [](const RawServer::Connection& c) {
             c.send("HTTP/1.1 200 OK\r\n\r\n");
             while (c.send(QByteArray(64 * 1024, 'x'))) {
             }
         },
         "too-large", "larger than"},
        {"a 4 MiB header line",
         [](const RawServer::Connection& c) {
             c.send("HTTP/1.1 200 OK\r\nX-Big: " + QByteArray(4 << 20, 'a') + "\r\n\r\n");
         },
         "too-large", "header"},
        {"closes without a word", [](const RawServer::Connection&) {}, "connect", ""},
        {"never answers", [](const RawServer::Connection& c) { c.pause(60000); }, "timeout",
         "no data"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RawServer server(c.handler);
        FetchSettings settings = settingsFor(server.port());
        settings.maxBodyBytes = 1024 * 1024;
        const FetchResult r = FetchPage(hostOf(server.port()), settings);
        EXPECT_FALSE(r.success);
        ASSERT_EQ(r.attempts.size(), 2);
        for (const FetchAttempt& a : r.attempts) {
            EXPECT_EQ(a.reason.code(), QLatin1StringView(c.code));
            EXPECT_TRUE(a.error.contains(QLatin1StringView(c.errorPart))) << a.error.toStdString();
        }
        EXPECT_EQ(r.error, r.attempts.at(1).error);
    }

    // Nothing listens at the port; no host at all; a name no resolver knows.
    int freePort = 0;
    {
        RawServer gone([](const RawServer::Connection&) {});
        freePort = gone.port();
    }
    EXPECT_EQ(FetchPage(hostOf(freePort), settingsFor(freePort)).attempts.at(0).reason.code(),
              u"connect");
    EXPECT_EQ(FetchPage(u"http://"_s).attempts.at(0).reason.code(), u"no-host");
    EXPECT_EQ(
        FetchPage(u"http://nowhere.invalid/"_s, settingsFor(freePort)).attempts.at(0).reason.code(),
        u"dns");
}

// The stall limit is 30 s without a single byte, headers included: a status
// line sent a byte at a time, slower than a line per stall period but much
// faster than a byte per period, is no stall.
TEST(FetchPage, AHeaderDrippedByteByByteIsNoStall) {
#ifdef Q_OS_WIN
    GTEST_SKIP() << "only Linux tells when a connection last received a byte";
#endif
    RawServer server([](const RawServer::Connection& c) {
        for (const char byte : QByteArray("HTTP/1.1 200 OK\r\n")) {
            if (!c.send(QByteArray(1, byte)) || !c.pause(120)) {
                return;
            }
        }
        c.send("Content-Length: 6\r\n\r\ndrips!");
    });
    FetchSettings settings = settingsFor(server.port());
    settings.stallTimeoutMs = 1000;
    settings.totalTimeoutMs = 10000;
    const FetchResult r = FetchPage(hostOf(server.port()), settings);
    EXPECT_TRUE(r.success) << r.error.toStdString();
    EXPECT_EQ(r.pageText, u"drips!\r\n");
}

TEST(FetchPage, HostileServersEndInBoundedTime) {
    struct Case {
        const char* what;
        RawServer::Handler handler;
        const char* errorPart;
    };
    const Case cases[] = {
        {"accepts and never answers", [](const RawServer::Connection& c) { c.pause(60000); },
         "no data"},
        {"drips a byte now and then",
         [](const RawServer::Connection& c) {
             c.send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n");
             while (c.send("x") && c.pause(200)) {
             }
         },
         "timed out"},
        {"endless body",
         [](const RawServer::Connection& c) {
             c.send("HTTP/1.1 200 OK\r\n\r\n");
             const QByteArray block(64 * 1024, 'x');
             while (c.send(block)) {
             }
         },
         "larger than"},
        {"closes mid-body",
         [](const RawServer::Connection& c) {
             c.send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n0123456789");
         },
         ""},
        {"malformed status line",
         [](const RawServer::Connection& c) { c.send("HTTX/9 abc\r\n\r\nbody"); }, ""},
        {"closes at once", [](const RawServer::Connection&) {}, ""},
    };
    for (const Case& c : cases) {
        RawServer server(c.handler);
        FetchSettings settings = settingsFor(server.port());
        settings.totalTimeoutMs = 2000;
        settings.maxBodyBytes = 1024 * 1024;
        QElapsedTimer timer;
        timer.start();
        const FetchResult r = FetchPage(hostOf(server.port()), settings);
        EXPECT_FALSE(r.success) << c.what;
        EXPECT_TRUE(r.error.contains(QLatin1StringView(c.errorPart)))
            << c.what << ": " << r.error.toStdString();
        EXPECT_LT(timer.elapsed(), 2 * 2000 + 1500) << c.what;
    }
}

// A download that waits for room to hold its page is paused, not stalled:
// the wait, longer than both its limits, counts against neither. The room
// it takes (three bytes a byte while the body is there) shrinks to the
// text's two once the body is gone, and goes back with the result.
TEST(FetchPage, AWaitForRoomCountsAgainstNoLimit) {
    const QByteArray body(1000, 'x');
    RawServer server(
        [&body](const RawServer::Connection& c) { c.send(test::httpResponse("200 OK", body)); });
    PageMemory memory(3000);
    auto other = std::make_unique<PageLease>(memory);
    ASSERT_TRUE(other->tryTake(2500));  // another page, scanned meanwhile
    FetchSettings settings = settingsFor(server.port());
    settings.stallTimeoutMs = 300;
    settings.totalTimeoutMs = 600;
    settings.pageMemory = &memory;
    std::thread done([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        other.reset();
    });
    QElapsedTimer timer;
    timer.start();
    FetchResult r = FetchPage(hostOf(server.port()), settings);
    done.join();
    EXPECT_TRUE(r.success) << r.error.toStdString();
    EXPECT_GE(timer.elapsed(), 1400);
    EXPECT_EQ(r.pageText.size(), body.size() + 2);
    EXPECT_EQ(memory.inUse(), 2 * body.size());
    r = FetchResult();
    EXPECT_EQ(memory.inUse(), 0);
}

TEST(FetchPage, AbortEndsTheDownloadAtOnce) {
    RawServer server([](const RawServer::Connection& c) { c.pause(60000); });
    AbortFlag abort;
    FetchSettings settings = settingsFor(server.port());
    settings.stallTimeoutMs = 30000;
    settings.totalTimeoutMs = 60000;
    settings.abort = &abort;
    std::thread trigger([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        abort.set();
    });
    QElapsedTimer timer;
    timer.start();
    const FetchResult r = FetchPage(hostOf(server.port()), settings);
    trigger.join();
    EXPECT_FALSE(r.success);
    EXPECT_EQ(r.error, u"aborted");
    EXPECT_EQ(r.attempts.last().reason.code(), u"aborted");
    EXPECT_LT(timer.elapsed(), 1500);
}

}  // namespace
}  // namespace quorvel
