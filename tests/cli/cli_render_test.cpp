#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include "checking/page_renderer.h"
#include "records/record_file.h"
#include "records/record_line.h"
#include "support/cli_runner.h"
#include "support/printers.h"
#include "support/raw_server.h"
#include "support/temp_dir.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;
using test::httpResponse;
using test::RawServer;

// Pages whose link a script writes: at once, after a fetch (nofollow), or
// never; and one that is no page at all.
RawServer::Handler pages() {
    return [](const RawServer::Connection& c) {
        const QByteArray target = test::requestTarget(c.request);
        const QByteArray html = "Content-Type: text/html\r\n";
        const QByteArray script = "<html><body><div id=x></div><script>";
        if (target == "/written") {
            c.send(httpResponse("200 OK",
                                script + "document.getElementById('x').innerHTML = "
                                         "'<a href=\"http://me.' + 'example.com/\">me</a>';"
                                         "</script>",
                                html));
        } else if (target == "/fetched") {
            c.send(httpResponse("200 OK",
                                script + "fetch('/part').then(r => r.text()).then(t => {"
                                         " document.getElementById('x').innerHTML = t; });"
                                         "</script>",
                                html));
        } else if (target == "/part") {
            c.send(httpResponse("200 OK", "<a href=http://me.example.com/ rel=nofollow>me</a>"));
        } else if (target == "/plain") {
            c.send(httpResponse("200 OK", "<p>no link here</p>", html));
        } else {
            c.send(httpResponse("404 Not Found", ""));
        }
    };
}

QStringList signalsOf(const QJsonValue& row) {
    QStringList names;
    for (const QJsonValue& name : row.toObject().value(u"signals"_s).toArray()) {
        names += name.toString();
    }
    return names;
}

// Without the browser these tests say so instead of passing silently.
class CliRender : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!rendererAvailable({})) {
            GTEST_SKIP() << kHeadlessBrowserPackage
                         << " is not installed (scripts/install-deps installs it)";
        }
    }
};

TEST_F(CliRender, LinksThatOnlyScriptsWrite) {
    RawServer server(pages());
    const QString base = u"partner.test:%1"_s.arg(server.port());
    test::TempDir dir;
    QStringList records;
    for (const char* path : {"/written", "/fetched", "/plain"}) {
        records += BuildRecordLine(base + QLatin1StringView(path), {}, {}, QDate(), {}, {},
                                   u"http://me.example.com/"_s, {});
    }
    const QString file = dir.path(u"list.qvp"_s);
    ASSERT_TRUE(writeRecordFile(file, records));
    const QStringList args{u"check"_s,       u"--format=json"_s, u"--no-history"_s,
                           u"--no-robots"_s, u"--resolve"_s,     base + u":127.0.0.1"_s};

    const test::CliResult plain = test::runCli(args + QStringList{file});
    const test::CliResult rendered =
        test::runCli(args + QStringList{u"--render"_s, u"--render-workers=1"_s, file});
    ASSERT_EQ(rendered.exitCode, 1) << rendered.err.toStdString();
    const QJsonArray before = QJsonDocument::fromJson(plain.out).array();
    const QJsonArray after = QJsonDocument::fromJson(rendered.out).array();
    ASSERT_EQ(after.size(), 3) << rendered.out.toStdString();
    const QList<QStringList> expected = {{u"rendered-found"_s}, {u"rendered-hidden"_s}, {}};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(after.at(i).toObject().value(u"status"_s).toString(), u"Missing")
            << "the status stays the rule's";
        EXPECT_EQ(signalsOf(before.at(i)), QStringList());
        EXPECT_EQ(signalsOf(after.at(i)), expected.at(i));
    }
    EXPECT_TRUE(rendered.err.isEmpty()) << rendered.err.toStdString();
}

// A link that only a script writes holds the record found: later runs
// without --render are no evidence against it, so no lost is told.
TEST_F(CliRender, ARenderedFindHoldsThroughRunsWithoutRendering) {
    RawServer server(pages());
    const QString base = u"partner.test:%1"_s.arg(server.port());
    test::TempDir dir;
    const QString file = dir.path(u"list.qvp"_s);
    ASSERT_TRUE(writeRecordFile(file, {BuildRecordLine(base + u"/written"_s, {}, {}, QDate(), {},
                                                       {}, u"http://me.example.com/"_s, {})}));
    const QStringList args{u"check"_s,       u"--format=json"_s, u"--changes"_s,
                           u"--no-robots"_s, u"--resolve"_s,     base + u":127.0.0.1"_s};
    const test::CliResult first = test::runCli(args + QStringList{u"--render"_s, file});
    ASSERT_EQ(first.exitCode, 1) << first.err.toStdString();
    for (int run = 0; run < 2; ++run) {
        const test::CliResult plain = test::runCli(args + QStringList{file});
        EXPECT_EQ(plain.exitCode, 1) << plain.err.toStdString();
        EXPECT_EQ(QJsonDocument::fromJson(plain.out).array().size(), 0) << plain.out.toStdString();
    }
    const test::CliResult h = test::runCli({u"history"_s, u"--format=json"_s, file});
    const QJsonObject row = QJsonDocument::fromJson(h.out).array().at(0).toObject();
    EXPECT_EQ(row.value(u"state"_s).toString(), u"found");
    EXPECT_EQ(row.value(u"rendered_only"_s), QJsonValue(1));
}

}  // namespace
}  // namespace quorvel
