#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <map>
#include <mutex>

#include "records/record_file.h"
#include "records/record_line.h"
#include "support/cli_runner.h"
#include "support/printers.h"
#include "support/raw_server.h"
#include "support/temp_dir.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;
using test::RawServer;

const QByteArray kPage = "<a href=http://me.example.com/>me</a>";

QByteArray gzipped(const QByteArray& bytes) {
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);  // gzip framing
    QByteArray out(int(deflateBound(&z, uLong(bytes.size()))), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData()));
    z.avail_in = uInt(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH);
    out.resize(qsizetype(z.total_out));
    deflateEnd(&z);
    return out;
}

// Partner pages behind walls of several kinds, by path; a page is asked for
// by both attempts (the second at www.), so each answers the same.
class Walls {
  public:
    Walls()
        : server([this](const RawServer::Connection& c) {
              const QByteArray target = test::requestTarget(c.request);
              int seen = 0;
              {
                  std::lock_guard lock(mutex);
                  seen = ++requests[target];
              }
              if (target == "/challenge-403") {
                  c.send(test::httpResponse(
                      "403 Forbidden",
                      "<html><head><title>Just a moment...</title></head><body></body></html>"));
              } else if (target == "/challenge-header") {
                  c.send(test::httpResponse("200 OK", kPage, "cf-mitigated: challenge\r\n"));
              } else if (target == "/mentions") {
                  c.send(test::httpResponse("200 OK", "<p>Just a moment...</p>" + kPage));
              } else if (target == "/marker") {
                  c.send(test::httpResponse(
                      "200 OK", "<script src=/cdn-cgi/challenge-platform/x.js></script>" + kPage));
              } else if (target == "/forbidden") {
                  c.send(test::httpResponse("403 Forbidden", "no"));
              } else if (target == "/rate-limited") {
                  // Both attempts of the run meet the limit; the look at the
                  // end of the run gets the page.
                  c.send(seen <= 2 ? test::httpResponse("429 Too Many Requests", "wait",
                                                        "Retry-After: 1\r\n")
                                   : test::httpResponse("200 OK", kPage));
              } else if (target == "/rate-limited-forever") {
                  c.send(test::httpResponse("429 Too Many Requests", "wait"));
              } else if (target == "/gzip") {
                  c.send(
                      test::httpResponse("200 OK", gzipped(kPage), "Content-Encoding: gzip\r\n"));
              } else if (target == "/bomb") {
                  c.send(test::httpResponse("200 OK", gzipped(QByteArray(20 << 20, ' ')),
                                            "Content-Encoding: gzip\r\n"));
              } else if (target == "/stages") {
                  QByteArray body = kPage;
                  QByteArrayList stages;
                  for (int i = 0; i < 50; ++i) {
                      body = gzipped(body);
                      stages += "gzip";
                  }
                  c.send(test::httpResponse("200 OK", body,
                                            "Content-Encoding: " + stages.join(", ") + "\r\n"));
              }
          }) {}

    QString url(const char* path) const {
        return u"partner.test:%1%2"_s.arg(server.port()).arg(QLatin1StringView(path));
    }
    QStringList mapping() const {
        return {u"--resolve=partner.test:%1:127.0.0.1"_s.arg(server.port()),
                u"--resolve=www.partner.test:%1:127.0.0.1"_s.arg(server.port())};
    }
    int requestsFor(const QByteArray& target) {
        std::lock_guard lock(mutex);
        return requests[target];
    }

  private:
    std::mutex mutex;
    std::map<QByteArray, int> requests;

  public:
    RawServer server;
};

QJsonArray checkRows(const Walls& walls, const QStringList& paths, const QStringList& options) {
    test::TempDir dir;
    QStringList records;
    for (const QString& path : paths) {
        records += BuildRecordLine(walls.url(path.toLatin1().constData()), {}, {}, QDate(), {},
                                   u"5"_s, u"me.example.com"_s, {});
    }
    EXPECT_TRUE(writeRecordFile(dir.path(u"list.qvp"_s), records));
    const test::CliResult r =
        test::runCli(QStringList{u"check"_s, u"--format=json"_s, u"--no-history"_s} +
                     walls.mapping() + options + QStringList{dir.path(u"list.qvp"_s)});
    EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
    return QJsonDocument::fromJson(r.out).array();
}

// A bot wall is no page: it says so instead of "missing"; a page that merely
// looks like one is scanned as always.
TEST(CliBlocked, BotWallsAndRateLimits) {
    qputenv("QUORVEL_RETRY_WAIT_CAP", "2");
    Walls walls;
    struct Row {
        const char* path;
        const char* status;
        const char* reason;
        QJsonArray signals;
    };
    const Row rows[] = {
        {"/challenge-403", "FetchFailed", "blocked challenge; blocked challenge", {}},
        {"/challenge-header", "FetchFailed", "blocked challenge; blocked challenge", {}},
        {"/mentions", "Found", "", {}},
        {"/marker", "Found", "", {u"challenge-marker"_s}},
        {"/forbidden", "FetchFailed", "http 403; http 403", {}},
        {"/rate-limited", "Found", "", {}},
        {"/rate-limited-forever", "FetchFailed", "blocked http 429; blocked http 429", {}},
    };
    QStringList paths;
    for (const Row& row : rows) {
        paths += QString::fromLatin1(row.path);
    }
    const QJsonArray out = checkRows(walls, paths, {});
    ASSERT_EQ(out.size(), qsizetype(std::size(rows)));
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].path);
        const QJsonObject row = out.at(qsizetype(i)).toObject();
        EXPECT_EQ(row.value(u"status"_s).toString(), QLatin1StringView(rows[i].status));
        EXPECT_EQ(row.value(u"reason"_s).toString(), QLatin1StringView(rows[i].reason));
        EXPECT_EQ(row.value(u"signals"_s).toArray(), rows[i].signals);
    }
    EXPECT_EQ(walls.requestsFor("/rate-limited"), 3) << "two attempts, then once more at the end";
    EXPECT_EQ(walls.requestsFor("/rate-limited-forever"), 2) << "no wait named: no second look";
    qunsetenv("QUORVEL_RETRY_WAIT_CAP");
}

// In the history, a page behind a wall is neither down nor missing: three
// such checks in a row are told once, as "blocked"; a rate-limited page
// keeps only the result of its second look.
TEST(CliBlocked, WallsInTheHistory) {
    qputenv("QUORVEL_RETRY_WAIT_CAP", "2");
    Walls walls;
    test::TempDir dir;
    const QString list = dir.path(u"list.qvp"_s);
    ASSERT_TRUE(writeRecordFile(list, {BuildRecordLine(walls.url("/challenge-403"), {}, {}, QDate(),
                                                       {}, u"5"_s, u"me.example.com"_s, {}),
                                       BuildRecordLine(walls.url("/rate-limited"), {}, {}, QDate(),
                                                       {}, u"5"_s, u"me.example.com"_s, {})}));
    QList<QByteArray> changes;
    for (int run = 0; run < 4; ++run) {
        const test::CliResult r = test::runCli(QStringList{u"check"_s, u"--changes"_s} +
                                               walls.mapping() + QStringList{list});
        changes += r.out;
    }
    EXPECT_EQ(changes.at(0), "") << "a wall is not news at once";
    EXPECT_EQ(changes.at(1), "");
    const QByteArray row = changes.at(2).mid(changes.at(2).indexOf('\n') + 1);  // after the header
    EXPECT_TRUE(changes.at(2).startsWith("index\t")) << changes.at(2).toStdString();
    EXPECT_TRUE(row.startsWith("0\tFetchFailed\t")) << changes.at(2).toStdString();
    EXPECT_TRUE(row.contains("\tblocked\t")) << changes.at(2).toStdString();
    EXPECT_EQ(row.count('\n'), 1);
    EXPECT_EQ(changes.at(3), "") << "told once";

    const test::CliResult h = test::runCli({u"history"_s, u"--format=json"_s, list});
    const QJsonArray rows = QJsonDocument::fromJson(h.out).array();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows.at(0).toObject().value(u"state"_s).toString(), QString()) << "neither down";
    EXPECT_EQ(rows.at(1).toObject().value(u"status"_s).toString(), u"Found");
    EXPECT_EQ(rows.at(1).toObject().value(u"checks"_s).toInt(), 4) << "one result a run";
    qunsetenv("QUORVEL_RETRY_WAIT_CAP");
}

// --browser sends a browser's headers in its order and takes compressed pages,
// decoded within the same size limit as any page.
TEST(CliBlocked, BrowserHeadersAndCompressedPages) {
    Walls walls;
    test::CliResult r = test::runCli(QStringList{u"fetch"_s, u"--browser"_s} + walls.mapping() +
                                     QStringList{walls.url("/gzip")});
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(r.out, kPage + "\r\n");
    EXPECT_EQ(walls.server.requests().at(0),
              "GET /gzip HTTP/1.1\r\n"
              "Host: partner.test:" +
                  QByteArray::number(walls.server.port()) +
                  "\r\n"
                  "User-Agent: Mozilla/5.0 (Windows NT 10.0; Win64; x64; rv:128.0) "
                  "Gecko/20100101 Firefox/128.0\r\n"
                  "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,image/avif,"
                  "image/webp,*/*;q=0.8\r\n"
                  "Accept-Language: ru-RU,ru;q=0.8,en-US;q=0.5,en;q=0.3\r\n"
                  "Accept-Encoding: gzip, deflate, br\r\n"
                  "Connection: keep-alive\r\n"
                  "Upgrade-Insecure-Requests: 1\r\n"
                  "Sec-Fetch-Dest: document\r\n"
                  "Sec-Fetch-Mode: navigate\r\n"
                  "Sec-Fetch-Site: none\r\n"
                  "Sec-Fetch-User: ?1\r\n"
                  "Priority: u=0, i\r\n\r\n");

    r = test::runCli(QStringList{u"fetch"_s, u"--user-agent"_s, u"Checker/2.0"_s} +
                     walls.mapping() + QStringList{walls.url("/mentions")});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(walls.server.requests().last().contains("\r\nUser-Agent: Checker/2.0\r\n"));
    EXPECT_TRUE(walls.server.requests().last().contains("\r\nAccept-Encoding: identity\r\n"));

    // 20 MiB of spaces, compressed to a few KiB: stopped at the page limit;
    // a page compressed 50 times over: refused for its encoding.
    const QJsonArray bomb = checkRows(walls, {u"/bomb"_s, u"/stages"_s}, {u"--browser"_s});
    ASSERT_EQ(bomb.size(), 2);
    EXPECT_EQ(bomb.at(0).toObject().value(u"reason"_s).toString(), u"too-large; too-large");
    EXPECT_EQ(bomb.at(1).toObject().value(u"reason"_s).toString(), u"encoding; encoding");
}

}  // namespace
}  // namespace quorvel
