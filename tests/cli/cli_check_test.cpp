#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <csignal>

#include "records/record_file.h"
#include "records/record_line.h"
#include "support/cli_runner.h"
#include "support/dns_stub.h"
#include "support/printers.h"
#include "support/raw_server.h"
#include "support/temp_dir.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;
using test::RawServer;

RawServer::Handler pages() {
    return [](const RawServer::Connection& c) {
        const QByteArray target = test::requestTarget(c.request);
        if (target.startsWith("/slow") && !c.pause(400)) {
            return;
        }
        if (target.endsWith("/found")) {
            const QByteArray body = "<a href=http://me.example.com/>x</a>\n<a><a>";
            c.send(test::httpResponse("200 OK", body));
        } else {
            c.send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
        }
    };
}

QString writeRecords(const test::TempDir& dir, const QStringList& urls) {
    QStringList records;
    for (const QString& url : urls) {
        records += BuildRecordLine(url, {}, {}, QDate(), {}, u"0"_s, u"me.example.com"_s, {});
    }
    const QString path = dir.path(u"list.qvp"_s);
    EXPECT_TRUE(writeRecordFile(path, records));
    return path;
}

TEST(CliCheck, RowsInEveryFormat) {
    RawServer server(pages());
    const QString base = u"partner.test:%1"_s.arg(server.port());
    const QStringList resolve = {u"--resolve"_s, base + u":127.0.0.1", u"--resolve"_s,
                                 u"www." + base + u":127.0.0.1"};
    test::TempDir dir;
    const QString file = writeRecords(dir, {base + u"/found", base + u"/gone, \"really\"\t"});

    // The reason of a failure is told in its own tests; here it is whatever
    // the JSON row says, the same in every format.
    test::CliResult r = test::runCli(QStringList{u"check"_s, u"--format"_s, u"json"_s} + resolve +
                                     QStringList{file});
    const QJsonDocument json = QJsonDocument::fromJson(r.out);
    const QString reason = json.array().at(1).toObject().value(u"reason"_s).toString();
    EXPECT_FALSE(reason.isEmpty()) << "a failure says why";
    const QJsonArray rows{
        QJsonObject{{u"index"_s, 0},
                    {u"status"_s, u"Found"_s},
                    {u"count"_s, 1},
                    {u"over_limit"_s, 1},
                    {u"partner_url"_s, QString(base + u"/found")},
                    {u"reason"_s, QString()},
                    {u"signals"_s, QJsonArray()},
                    {u"reciprocal"_s, u"none"_s},
                    {u"overdue"_s, 0},
                    {u"anchor"_s, u"x"_s},
                    {u"near_link"_s, QString()},
                    {u"canonical"_s, QString()},
                    {u"external"_s, 1}},
        QJsonObject{{u"index"_s, 1},
                    {u"status"_s, u"FetchFailed"_s},
                    {u"count"_s, 0},
                    {u"over_limit"_s, 0},
                    {u"partner_url"_s, QString(base + u"/gone, \"really\"\t")},
                    {u"reason"_s, reason},
                    {u"signals"_s, QJsonArray()},
                    {u"reciprocal"_s, u"none"_s},
                    {u"overdue"_s, 0},
                    {u"anchor"_s, QString()},
                    {u"near_link"_s, QString()},
                    {u"canonical"_s, QString()},
                    {u"external"_s, QJsonValue()}},
    };
    EXPECT_EQ(json, QJsonDocument(rows)) << r.out.toStdString();

    r = test::runCli(QStringList{u"check"_s} + resolve + QStringList{file});
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    EXPECT_EQ(r.out, "0\tFound\t1\t1\t" + base.toUtf8() +
                         "/found\t\t\tnone\t0\tx\t\t\t1\n"
                         "1\tFetchFailed\t0\t0\t" +
                         base.toUtf8() + "/gone, \"really\"\\t\t" + reason.toUtf8() +
                         "\t\tnone\t0\t\t\t\t\n");
    EXPECT_TRUE(r.err.isEmpty()) << "no progress line when standard error is no terminal";

    r = test::runCli(QStringList{u"check"_s, u"--format=csv"_s} + resolve + QStringList{file});
    EXPECT_EQ(r.out,
              "index,status,count,over_limit,partner_url,reason,signals,reciprocal,overdue,"
              "anchor,near_link,canonical,external\r\n"
              "0,Found,1,1," +
                  base.toUtf8() +
                  "/found,,,none,0,x,,,1\r\n"
                  "1,FetchFailed,0,0,\"" +
                  base.toUtf8() + "/gone, \"\"really\"\"\t\"," + reason.toUtf8() +
                  ",,none,0,,,,\r\n");

    EXPECT_EQ(QJsonDocument::fromJson(test::runCli({u"check"_s, u"--format=json"_s, u"-"_s}).out),
              QJsonDocument(QJsonArray()))
        << "an empty list is an empty array";

    const QString allFound = writeRecords(dir, {base + u"/found"});
    EXPECT_EQ(test::runCli(QStringList{u"check"_s} + resolve + QStringList{allFound}).exitCode, 0);
}

TEST(CliCheck, UsageAndFileErrors) {
    test::TempDir dir;
    for (const QStringList& args :
         {QStringList{u"check"_s}, QStringList{u"check"_s, u"--format=xml"_s, u"f"_s},
          QStringList{u"check"_s, dir.path(u"missing.qvp"_s)}}) {
        const test::CliResult r = test::runCli(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(u' ').toStdString();
        EXPECT_FALSE(r.err.isEmpty());
    }
    const test::CliResult empty = test::runCli({u"check"_s, u"-"_s});
    EXPECT_EQ(empty.exitCode, 0);
    EXPECT_TRUE(empty.out.isEmpty());
}

TEST(CliCheck, AMalformedHostMappingIsAUsageError) {
    RawServer server(pages());
    test::TempDir dir;
    const QString base = u"partner.test:%1"_s.arg(server.port());
    const QString file = writeRecords(dir, {base + u"/found"});
    const test::CliResult r = test::runCli(
        {u"check"_s, u"--resolve"_s, base + u":127.0.0.1", u"--resolve=*:80:"_s, file});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(r.err,
              "quorvel-cli: check: bad --resolve '*:80:': expected HOST:PORT:ADDRESS[,ADDRESS]...\n"
              "Try 'quorvel-cli check --help'.\n");
    EXPECT_TRUE(server.requests().isEmpty()) << "no page is fetched";
}

TEST(CliCheck, CtrlCStopsAndPrintsWhatItHas) {
    RawServer server(pages());
    test::TempDir dir;
    QStringList urls;
    for (int i = 0; i < 40; ++i) {
        urls += u"p%1.test:%2/slow/found"_s.arg(i).arg(server.port());  // a host each
    }
    const QString file = writeRecords(dir, urls);
    test::CliProcess process({u"check"_s, u"--resolve=*:%1:127.0.0.1"_s.arg(server.port()), file});
    ASSERT_TRUE(server.waitForRequests(10));
    ::kill(process.pid(), SIGINT);
    const test::CliResult r = process.finish(10000);
    EXPECT_EQ(r.exitCode, 130);
    const QList<QByteArray> rows = r.out.trimmed().split('\n');
    EXPECT_EQ(rows.size(), 40);
    EXPECT_TRUE(rows.at(39).startsWith("39\tnone\t0\t0\t"));
    EXPECT_EQ(server.requests().size(), 10);
}

// A stop keeps what the records under way really gave, loaded or failed:
// both are printed and kept in the history; records never taken are
// neither. SIGTERM stops the same way.
TEST(CliCheck, AStopFinishesEveryRecordTaken) {
    for (const auto& [signal, exitCode] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        SCOPED_TRACE(signal);
        RawServer server(pages());
        test::TempDir dir;
        QStringList urls{u"p0.test:%1/slow/found"_s.arg(server.port()),
                         u"p1.test:%1/slow/gone"_s.arg(server.port())};
        for (int i = 2; i < 6; ++i) {
            urls += u"p%1.test:%2/found"_s.arg(i).arg(server.port());
        }
        const QString file = writeRecords(dir, urls);
        test::CliProcess process(
            {u"check"_s, u"--workers=2"_s, u"--resolve=*:%1:127.0.0.1"_s.arg(server.port()), file});
        ASSERT_TRUE(server.waitForRequests(2));
        ::kill(process.pid(), signal);
        const test::CliResult r = process.finish(10000);
        EXPECT_EQ(r.exitCode, exitCode) << r.err.toStdString();
        const QList<QByteArray> rows = r.out.trimmed().split('\n');
        ASSERT_EQ(rows.size(), 6) << r.out.toStdString();
        EXPECT_TRUE(rows.at(0).startsWith("0\tFound\t1\t")) << rows.at(0).toStdString();
        EXPECT_TRUE(rows.at(1).contains("\thttp 404; http 404\t")) << rows.at(1).toStdString();
        EXPECT_TRUE(rows.at(2).startsWith("2\tnone\t")) << rows.at(2).toStdString();

        const test::CliResult h = test::runCli({u"history"_s, u"--format=json"_s, file});
        ASSERT_EQ(h.exitCode, 0) << h.err.toStdString();
        const QJsonArray history = QJsonDocument::fromJson(h.out).array();
        ASSERT_EQ(history.size(), 6);
        EXPECT_EQ(history.at(0).toObject().value(u"checks"_s).toInt(), 1) << "loaded: kept";
        EXPECT_EQ(history.at(1).toObject().value(u"checks"_s).toInt(), 1) << "failed: kept";
        EXPECT_EQ(history.at(2).toObject().value(u"checks"_s).toInt(), 0) << "never taken";
    }
}

TEST(CliCheck, ProgressOnlyOnATerminal) {
    RawServer server(pages());
    test::TempDir dir;
    const QString file = writeRecords(dir, {u"127.0.0.1:%1/found"_s.arg(server.port())});
    // script(1) gives the command a terminal; its output holds both streams.
    const test::CliResult r =
        test::CliProcess(
            {u"-qec"_s, QStringLiteral(QUORVEL_CLI_PATH) + u" check " + file, u"/dev/null"_s}, {},
            {}, "/usr/bin/script")
            .finish();
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.contains("1 of 1 done")) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("0\tFound\t1\t1\t"));
}

TEST(CliCheck, ASecondCtrlCCutsOffTheDownloads) {
    RawServer server([](const RawServer::Connection& c) { c.pause(60000); });  // never answers
    test::TempDir dir;
    QStringList urls;
    for (int i = 0; i < 20; ++i) {
        urls += u"p%1.test:%2/silent"_s.arg(i).arg(server.port());  // a host each
    }
    const QString file = writeRecords(dir, urls);
    test::CliProcess process({u"check"_s, u"--resolve=*:%1:127.0.0.1"_s.arg(server.port()), file});
    ASSERT_TRUE(server.waitForRequests(10));
    ::kill(process.pid(), SIGINT);  // stop: the ten downloads would still wait
    ASSERT_TRUE(process.waitForErr("quorvel-cli: check: stopping"));
    QElapsedTimer timer;
    timer.start();
    ::kill(process.pid(), SIGINT);  // abort them
    const test::CliResult r = process.finish(10000);
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(r.exitCode, 130);
    const QList<QByteArray> rows = r.out.trimmed().split('\n');
    ASSERT_EQ(rows.size(), 20);
    EXPECT_TRUE(rows.at(0).startsWith("0\tnone\t")) << "a download cut off gives no result";
    EXPECT_TRUE(rows.at(19).startsWith("19\tnone\t"));
}

// The facts beyond the status, end to end: the page's robots rules, the
// user's side of the exchange, and a deadline that has passed.
TEST(CliCheck, MoreFactsPerRecord) {
    RawServer server([](const RawServer::Connection& c) {
        const QByteArray target = test::requestTarget(c.request);
        if (target == "/page") {
            c.send(test::httpResponse(
                "200 OK",
                "<meta name=robots content=nofollow><a href=http://me.example.com/ rel=ugc>me</a>",
                "X-Robots-Tag: googlebot: noindex\r\nX-Robots-Tag: otherbot: nofollow\r\n"));
        } else if (target == "/mine") {
            // A link to the partner's site, its port included (the key is
            // the partner address up to its first "/").
            const qsizetype at = c.request.indexOf("\r\nHost: ") + 8;
            const QByteArray host = c.request.mid(at, c.request.indexOf("\r\n", at) - at);
            c.send(test::httpResponse("200 OK", "<a href=http://www." + host + "/>partner</a>"));
        } else {
            c.send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
        }
    });
    const QString base = u"partner.test:%1"_s.arg(server.port());
    test::TempDir dir;
    const QString path = dir.path(u"list.qvp"_s);
    ASSERT_TRUE(writeRecordFile(
        path, {BuildRecordLine(base + u"/page", {}, {}, QDate::currentDate().addDays(-1),
                               base + u"/mine", u"5"_s, u"me.example.com"_s, {}),
               BuildRecordLine(base + u"/gone", {}, {}, QDate::currentDate().addDays(-1),
                               base + u"/gone", u"5"_s, u"me.example.com"_s, {})}));
    const test::CliResult r =
        test::runCli({u"check"_s, u"--format=json"_s, u"--no-history"_s,
                      u"--resolve=*:%1:127.0.0.1"_s.arg(server.port()), path});
    const QJsonArray rows = QJsonDocument::fromJson(r.out).array();
    ASSERT_EQ(rows.size(), 2) << r.out.toStdString() << r.err.toStdString();
    const QJsonObject found = rows.at(0).toObject();
    EXPECT_EQ(found.value(u"status"_s).toString(), u"Found");
    EXPECT_EQ(found.value(u"signals"_s).toArray(),
              (QJsonArray{u"meta-nofollow"_s, u"header-noindex"_s, u"rel-ugc"_s}));
    EXPECT_EQ(found.value(u"reciprocal"_s).toString(), u"Found");
    EXPECT_EQ(found.value(u"overdue"_s).toInt(), 0) << "found in time";
    const QJsonObject gone = rows.at(1).toObject();
    EXPECT_EQ(gone.value(u"status"_s).toString(), u"FetchFailed");
    EXPECT_EQ(gone.value(u"reciprocal"_s).toString(), u"FetchFailed");
    EXPECT_EQ(gone.value(u"overdue"_s).toInt(), 0)
        << "without a history this run is the first check, and the deadline had passed before";
}

// An address with no host, or with a scheme of its own, fails at once: no
// name is looked up (a blank record used to ask the resolver for "www."),
// and there is no second try. The stub resolver sees every lookup.
TEST(CliCheck, AnAddressWithoutAHostAsksNoResolver) {
    test::DnsStub dns;
    ASSERT_TRUE(dns.listening());
    test::TempDir dir;
    const QString file = dir.path(u"list.qvp"_s);
    ASSERT_TRUE(writeRecordFile(
        file, {QString(), BuildRecordLine(u"ftp://x.test/"_s, {}, {}, QDate(), {}, {}, {}, {}),
               BuildRecordLine(u"http://:80/page"_s, {}, {}, QDate(), {}, {}, {}, {}),
               // A name nothing maps: the one lookup of the run.
               BuildRecordLine(u"looked-up.test"_s, {}, {}, QDate(), {}, {}, {}, {})}));
    const test::CliResult r =
        test::CliProcess(dns.withResolver(QStringLiteral(QUORVEL_CLI_PATH),
                                          {u"check"_s, u"--no-history"_s, file}),
                         {}, {}, "/usr/bin/unshare")
            .finish();
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    const QList<QByteArray> rows = r.out.split('\n');
    ASSERT_GE(rows.size(), 4);
    const char* reasons[] = {"no-host", "scheme", "no-host", "dns; dns"};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const QList<QByteArray> cells = rows.at(i).split('\t');
        ASSERT_GT(cells.size(), 5);
        EXPECT_EQ(cells.at(1), "FetchFailed");
        EXPECT_EQ(cells.at(5), reasons[i]);
    }
    QList<QByteArray> asked;
    for (const QByteArray& name : dns.names()) {
        if (!asked.contains(name)) {
            asked += name;  // once per name, whatever the address families asked
        }
    }
    EXPECT_EQ(asked, (QList<QByteArray>{"looked-up.test", "www.looked-up.test"}));
}

}  // namespace
}  // namespace quorvel
