#include "checking/page_renderer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "checking/link_scanner.h"
#include "support/printers.h"
#include "support/raw_server.h"
#include "support/temp_dir.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;
using test::httpResponse;
using test::RawServer;

TEST(PageRenderer, HostMappingsAndLanguagesForTheBrowser) {
    EXPECT_EQ(hostResolverRules({u"partner.test:8080:127.0.0.1"_s, u"+www.partner.test:80:::1"_s,
                                 u"*:443:127.0.0.2,127.0.0.3"_s, u"broken"_s}),
              u"MAP partner.test:8080 127.0.0.1, MAP www.partner.test:80 [::1], "
              u"MAP *:443 127.0.0.2");
    EXPECT_EQ(acceptLangOf("ru-RU,ru;q=0.8,en-US;q=0.5, en;q=0.3"), u"ru-RU,ru,en-US,en");
    EXPECT_EQ(acceptLangOf(""), u"");
}

TEST(PageRenderer, WithoutTheBrowserSaysSo) {
    RenderSettings settings;
    settings.browser = u"/nonexistent/chromium-headless-shell"_s;
    EXPECT_FALSE(rendererAvailable(settings));
    const RenderResult r = PageRenderer(settings, 1).render(u"http://partner.test/"_s);
    EXPECT_FALSE(r.success);
    EXPECT_TRUE(r.error.contains(u"/nonexistent/chromium-headless-shell")) << r.error.toStdString();
    // Only web addresses reach the browser's command line.
    EXPECT_FALSE(PageRenderer({}, 1).render(u"--version"_s).success);
}

// The processes whose command line names `text`.
int processesNaming(const QString& text) {
    int found = 0;
    QDirIterator it(u"/proc"_s, QDir::Dirs | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        QFile cmdline(it.next() + u"/cmdline"_s);
        if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(text.toUtf8())) {
            ++found;
        }
    }
    return found;
}

// Pages a real browser renders, from a loopback server. Skipped (and CTest
// says so) where the browser is not installed.
class Rendering : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!rendererAvailable({})) {
            GTEST_SKIP() << kHeadlessBrowserPackage
                         << " is not installed (scripts/install-deps installs it)";
        }
        ASSERT_TRUE(QDir().mkpath(dir_));
    }

    RenderSettings settingsFor(int port) const {
        RenderSettings s;
        s.resolve = {u"partner.test:%1:127.0.0.1"_s.arg(port)};
        s.tempDir = dir_;
        s.userAgent = "QuorvelTest/1.0";
        s.acceptLanguage = "ru-RU,ru;q=0.8";
        return s;
    }
    QString url(int port, const char* path) const {
        return u"http://partner.test:%1%2"_s.arg(port).arg(QLatin1StringView(path));
    }
    // Nothing of a browser is left: no process, no temporary directory.
    void expectNothingLeft() const {
        EXPECT_EQ(processesNaming(dir_), 0);
        EXPECT_TRUE(QDir(dir_).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    }

    test::TempDir temp_;
    const QString dir_ = temp_.path(u"render"_s);  // the browsers' temporary directories
};

const QByteArray kLater =
    "<html><body><div id=x></div><script>setTimeout(function () {"
    " document.getElementById('x').innerHTML = '<a href=\"http://my.test/\">me</a>';"
    " }, 1000);</script></body></html>";
const QByteArray kAfterFetch =
    "<html><body><div id=x></div><script>fetch('/data').then(r => r.text()).then(t => {"
    " document.getElementById('x').innerHTML = t; });</script></body></html>";
const QByteArray kNoLink = "<html><body><p>nothing <script>var a = 1;</script></body></html>";

TEST_F(Rendering, FindsLinksThatScriptsWrite) {
    RawServer server([](const RawServer::Connection& c) {
        const QByteArray target = test::requestTarget(c.request);
        const QByteArray html = "Content-Type: text/html\r\n";
        if (target == "/later") {
            c.send(httpResponse("200 OK", kLater, html));
        } else if (target == "/fetch") {
            c.send(httpResponse("200 OK", kAfterFetch, html));
        } else if (target == "/data") {
            c.send(httpResponse("200 OK", "<a href='http://my.test/' rel=nofollow>me</a>", html));
        } else if (target == "/none") {
            c.send(httpResponse("200 OK", kNoLink, html));
        } else {
            c.send(httpResponse("404 Not Found", ""));
        }
    });
    struct Row {
        const char* path;
        BacklinkVerdict verdict;
    };
    const Row rows[] = {{"/later", BacklinkVerdict::Yep},
                        {"/fetch", BacklinkVerdict::Hidden},
                        {"/none", BacklinkVerdict::Nil}};
    PageRenderer renderer(settingsFor(server.port()), 2);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        const RenderResult r = renderer.render(url(server.port(), row.path));
        ASSERT_TRUE(r.success) << r.error.toStdString();
        EXPECT_EQ(scanLinks(r.pageText, u"http://my.test/", u"", false).verdict, row.verdict);
    }
    // The check's own User-Agent and languages.
    const QByteArray first = server.requests().value(0);
    EXPECT_TRUE(first.contains("User-Agent: QuorvelTest/1.0\r\n")) << first.toStdString();
    EXPECT_TRUE(first.contains("Accept-Language: ru-RU")) << first.toStdString();
    expectNothingLeft();
}

// A page that never ends loading is taken as it is at the browser's limit; a
// browser that outlives ours is killed, its children and profile with it.
TEST_F(Rendering, PagesThatNeverEnd) {
    RawServer server([](const RawServer::Connection& c) {
        c.send(
            "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 100000\r\n\r\n"
            "<html><body><a href=\"http://my.test/\">me</a>");
        c.pause(60000);
    });
    RenderSettings settings = settingsFor(server.port());
    settings.pageTimeoutMs = 1500;
    const RenderResult partial = PageRenderer(settings, 1).render(url(server.port(), "/"));
    ASSERT_TRUE(partial.success) << partial.error.toStdString();
    EXPECT_EQ(scanLinks(partial.pageText, u"http://my.test/", u"", false).verdict,
              BacklinkVerdict::Yep);
    expectNothingLeft();

    settings.pageTimeoutMs = 15000;
    settings.killAfter = std::chrono::milliseconds(2000);
    const RenderResult killed = PageRenderer(settings, 1).render(url(server.port(), "/"));
    EXPECT_FALSE(killed.success);
    EXPECT_TRUE(killed.error.startsWith(u"timed out after 2 s")) << killed.error.toStdString();
    expectNothingLeft();
}

TEST_F(Rendering, AtMostSoManyBrowsersAtOnce) {
    std::atomic<int> now{0};
    std::atomic<int> most{0};
    RawServer server([&](const RawServer::Connection& c) {
        const int running = ++now;
        int seen = most.load();
        while (running > seen && !most.compare_exchange_weak(seen, running)) {
        }
        c.pause(800);
        --now;
        c.send(httpResponse("200 OK", "<a href=http://my.test/>me</a>"));
    });
    PageRenderer renderer(settingsFor(server.port()), 2);
    std::atomic<int> rendered{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&, i] {
            const std::string path = "/page" + std::to_string(i);
            if (renderer.render(url(server.port(), path.c_str())).success) {
                ++rendered;
            }
        });
    }
    for (std::thread& t : threads) {
        t.join();
    }
    EXPECT_EQ(rendered.load(), 4);
    EXPECT_LE(most.load(), 2);
    expectNothingLeft();
}

}  // namespace
}  // namespace quorvel
