#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>

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

// Partner pages, each with one thing to learn, and robots.txt of the site.
RawServer::Handler pages() {
    return [](const RawServer::Connection& c) {
        const QByteArray target = test::requestTarget(c.request);
        const QByteArray port = QByteArray::number(c.server->port());
        if (target == "/robots.txt") {
            c.send(httpResponse("200 OK",
                                "User-agent: *\nAllow: /\n"
                                "User-agent: Yandex\nDisallow: /private\n"));
        } else if (target == "/anchor") {
            c.send(
                httpResponse("200 OK",
                             "<html><head><link rel=\"canonical\" href=\"/elsewhere\"></head><body>"
                             "<a href=\"http://me.example.com/\">My <b>link</b> &amp;\n co</a>"
                             "<a href=http://a.xn--p1ai/>1</a><a href=https://b.io/>2</a>"
                             "<a href=http://www.partner.test/x>3</a></body></html>"));
        } else if (target == "/near") {
            c.send(httpResponse("200 OK", "<a href=\"https://www.me.example.com\">x</a>"));
        } else if (target == "/header") {
            c.send(httpResponse(
                "200 OK", "<a href=http://me.example.com/><img alt=Me></a>",
                "Link: <http://partner.test:" + port + "/other>; rel=\"canonical\"\r\n"));
        } else if (target == "/private/page") {
            c.send(httpResponse("200 OK", "<a href=http://me.example.com/>me</a>"));
        } else {
            c.send(httpResponse("404 Not Found", ""));
        }
    };
}

QString writeRecords(const test::TempDir& dir, const QString& base, const QStringList& paths) {
    QStringList records;
    for (const QString& path : paths) {
        records += BuildRecordLine(base + path, {}, {}, QDate(), {}, u"9"_s,
                                   u"http://me.example.com/"_s, {});
    }
    const QString file = dir.path(u"list.qvp"_s);
    EXPECT_TRUE(writeRecordFile(file, records));
    return file;
}

struct Facts {
    QString status;
    QStringList signalNames;
    QString anchor;
    QString nearLink;
    QString canonical;
    QJsonValue external;
};

Facts factsOf(const QJsonValue& row) {
    const QJsonObject o = row.toObject();
    QStringList names;
    for (const QJsonValue& name : o.value(u"signals"_s).toArray()) {
        names += name.toString();
    }
    return {o.value(u"status"_s).toString(),    names,
            o.value(u"anchor"_s).toString(),    o.value(u"near_link"_s).toString(),
            o.value(u"canonical"_s).toString(), o.value(u"external"_s)};
}

TEST(CliLinkFacts, WhatIsLearntBesideTheStatus) {
    RawServer server(pages());
    const QString base = u"partner.test:%1"_s.arg(server.port());
    test::TempDir dir;
    const QString file =
        writeRecords(dir, base, {u"/anchor"_s, u"/near"_s, u"/header"_s, u"/private/page"_s});
    const QStringList args{u"check"_s,     u"--format=json"_s,     u"--no-history"_s,
                           u"--resolve"_s, base + u":127.0.0.1"_s, file};
    const test::CliResult r = test::runCli(args);
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    const QJsonArray rows = QJsonDocument::fromJson(r.out).array();
    ASSERT_EQ(rows.size(), 4) << r.out.toStdString();

    const Facts anchor = factsOf(rows.at(0));
    EXPECT_EQ(anchor.status, u"Found");
    EXPECT_EQ(anchor.anchor, u"My link & co");
    EXPECT_EQ(anchor.signalNames, QStringList{u"canonical-elsewhere"_s});
    EXPECT_EQ(anchor.canonical, u"http://" + base + u"/elsewhere");
    EXPECT_EQ(anchor.external, QJsonValue(3)) << "the user's own site, .рф and .io";
    EXPECT_EQ(anchor.nearLink, u"");

    const Facts near = factsOf(rows.at(1));
    EXPECT_EQ(near.status, u"Missing");
    EXPECT_EQ(near.signalNames, QStringList{u"other-link-to-you"_s});
    EXPECT_EQ(near.nearLink, u"https://www.me.example.com");
    EXPECT_EQ(near.anchor, u"");

    const Facts header = factsOf(rows.at(2));
    EXPECT_EQ(header.anchor, u"[img] Me");
    EXPECT_EQ(header.signalNames, QStringList{u"canonical-elsewhere"_s});
    EXPECT_EQ(header.canonical, u"http://" + base + u"/other");

    const Facts blocked = factsOf(rows.at(3));
    EXPECT_EQ(blocked.status, u"Found");
    EXPECT_EQ(blocked.signalNames, QStringList{u"robots-disallow"_s});
    EXPECT_EQ(blocked.canonical, u"");

    // robots.txt once for the site, after a page of it.
    const QList<QByteArray> requests = server.requests();
    QList<QByteArray> targets;
    for (const QByteArray& request : requests) {
        targets += test::requestTarget(request);
    }
    EXPECT_EQ(targets.count("/robots.txt"), 1);
    EXPECT_GT(targets.indexOf("/robots.txt"), 0);

    // Without robots.txt: the same rows but for its signal, and no request for it.
    RawServer quiet(pages());
    const QString quietBase = u"partner.test:%1"_s.arg(quiet.port());
    const test::CliResult q = test::runCli(
        {u"check"_s, u"--format=json"_s, u"--no-history"_s, u"--no-robots"_s, u"--resolve"_s,
         quietBase + u":127.0.0.1"_s, writeRecords(dir, quietBase, {u"/private/page"_s})});
    EXPECT_EQ(factsOf(QJsonDocument::fromJson(q.out).array().at(0)).signalNames, QStringList());
    for (const QByteArray& request : quiet.requests()) {
        EXPECT_NE(test::requestTarget(request), "/robots.txt");
    }
}

// A new text of a found link is a change that --changes tells, with the text
// before; the history keeps the last facts.
TEST(CliLinkFacts, AChangedAnchorIsAChange) {
    auto text = std::make_shared<std::atomic<int>>(0);
    RawServer server([text](const RawServer::Connection& c) {
        const QByteArray anchors[] = {"buy windows", "windows", "windows"};
        c.send(httpResponse("200 OK", "<a href=http://me.example.com/>" +
                                          anchors[text->load() % 3] +
                                          "</a><a href=http://x.io/>x</a>"));
    });
    const QString base = u"partner.test:%1"_s.arg(server.port());
    test::TempDir dir;
    const QString file = writeRecords(dir, base, {u"/"_s});
    const QStringList args{u"check"_s,
                           u"--format=json"_s,
                           u"--changes"_s,
                           u"--no-robots"_s,
                           u"--resolve"_s,
                           base + u":127.0.0.1"_s,
                           file};
    QList<QJsonArray> changes;
    for (int run = 0; run < 3; ++run) {
        text->store(run);
        const test::CliResult r = test::runCli(args);
        ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
        changes += QJsonDocument::fromJson(r.out).array();
    }
    EXPECT_TRUE(changes[0].isEmpty()) << "the first text is no change";
    ASSERT_EQ(changes[1].size(), 1);
    const QJsonObject changed = changes[1].at(0).toObject();
    EXPECT_EQ(changed.value(u"change"_s).toString(), u"anchor-changed");
    EXPECT_EQ(changed.value(u"previous"_s).toString(), u"buy windows");
    EXPECT_EQ(changed.value(u"anchor"_s).toString(), u"windows");
    EXPECT_TRUE(changes[2].isEmpty()) << "the same text again";

    const test::CliResult h = test::runCli({u"history"_s, u"--format=json"_s, file});
    const QJsonObject row = QJsonDocument::fromJson(h.out).array().at(0).toObject();
    EXPECT_EQ(row.value(u"anchor"_s).toString(), u"windows");
    EXPECT_EQ(row.value(u"external"_s), QJsonValue(2)) << "your own site counts too";
    EXPECT_EQ(row.value(u"rendered_only"_s), QJsonValue(0));
}

TEST(CliLinkFacts, RenderWithoutTheBrowserAndBadOptions) {
    test::TempDir dir;
    const QString file = writeRecords(dir, u"partner.test"_s, {u"/"_s});
    qputenv("QUORVEL_RENDER_BROWSER", "/nonexistent/chromium-headless-shell");
    const test::CliResult r = test::runCli({u"check"_s, u"--render"_s, u"--no-history"_s, file});
    qunsetenv("QUORVEL_RENDER_BROWSER");
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.err.contains("chromium-headless-shell")) << r.err.toStdString();
    EXPECT_TRUE(r.out.isEmpty());

    for (const char* workers : {"0", "17", "two"}) {
        const test::CliResult bad =
            test::runCli({u"check"_s, u"--render-workers"_s, QString::fromLatin1(workers), file});
        EXPECT_EQ(bad.exitCode, 2) << workers;
        EXPECT_TRUE(bad.err.contains("--render-workers")) << bad.err.toStdString();
    }
}

}  // namespace
}  // namespace quorvel
