#include "checking/check_run.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <map>

#include "checking/check_loop.h"
#include "records/record_line.h"
#include "support/printers.h"
#include "support/raw_server.h"

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;
using test::RawServer;

// Pages by path: /found, /hidden, /missing, /many (12 outgoing links); any
// other path is a 404. "/slow..." answers after 300 ms.
RawServer::Handler pages() {
    return [](const RawServer::Connection& c) {
        QByteArray target = test::requestTarget(c.request);
        if (target.startsWith("/slow")) {
            if (!c.pause(300)) {
                return;
            }
            target = target.mid(5);
        }
        QByteArray body;
        if (target.startsWith("/found")) {
            body = "<a href=http://www.mysite.example.com/>me</a>";
        } else if (target.startsWith("/hidden")) {
            body = "<a href=http://mysite.example.com/ rel=nofollow>me</a>";
        } else if (target.startsWith("/missing")) {
            body = "<a href=http://other.example.net/>not me</a>";
        } else if (target.startsWith("/many")) {
            for (int i = 0; i < 12; ++i) {
                body += "<a href=http://l" + QByteArray::number(i) + ".example.net/>x</a>";
            }
            body += "<a href=http://mysite.example.com/>me</a>";
        } else {
            c.send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
            return;
        }
        c.send(test::httpResponse("200 OK", body));
    };
}

QString record(int port, const QString& path, const QString& maximum = u"5"_s,
               const QString& link = u"http://mysite.example.com/"_s) {
    return BuildRecordLine(u"http://127.0.0.1:%1%2"_s.arg(port).arg(path), {}, {}, QDate(), {},
                           maximum, link, {});
}

// Counts what crosses to "the UI thread" and remembers what was handed out where.
class CountingHost : public CheckLoopHost {
  public:
    using CheckLoopHost::CheckLoopHost;
    QString recordAt(int index) const override {
        handedOut[index] = CheckLoopHost::recordAt(index);
        return handedOut[index];
    }
    void postToUiThread(std::function<void()> task) override {
        ++terminations;
        CheckLoopHost::postToUiThread(std::move(task));
    }
    mutable std::map<int, QString> handedOut;
    std::atomic<int> terminations{0};
};

void runToEnd(CheckLoopHost& host, CheckRun& run) {
    run.ToolButton3Click();
    ASSERT_EQ(run.state(), CheckRun::State::Running);
    host.runUntilIdle(run);
}

TEST(CheckRun, ThreeRecordsTenWorkers) {
    RawServer server(pages());
    const int port = server.port();
    CountingHost host({record(port, u"/many"_s), record(port, u"/hidden"_s),
                       record(port, u"/missing"_s, u"0"_s)});
    CheckRun run(host);
    runToEnd(host, run);

    EXPECT_TRUE(run.MarkersShown);
    EXPECT_EQ(host.handedOut.size(), 3u) << "each record is handed out once";
    EXPECT_EQ(host.terminations.load(), kCheckWorkers);
    const CheckResults& r = run.results();
    EXPECT_EQ(r.statusAt(0), Found);
    EXPECT_EQ(r.countAt(0), 13);
    EXPECT_TRUE(r.overLimitAt(0));
    EXPECT_EQ(r.statusAt(1), Hidden);
    EXPECT_EQ(r.countAt(1), 0);
    EXPECT_EQ(r.statusAt(2), Missing);
    EXPECT_EQ(r.countAt(2), 1);
    EXPECT_TRUE(r.overLimitAt(2)) << "1 outgoing link is over a maximum of 0";
    EXPECT_EQ(host.repaints(), 1 + 3) << "the start, then once per record";
}

TEST(CheckRun, VerdictToStatus) {
    struct Row {
        const char16_t* verdict;
        const char16_t* maximum;
        CheckStatus status;
        int count;
        bool over;
    };
    const Row rows[] = {
        {u"YEP@12", u"5", Found, 12, true},    {u"NIL@3", u"3", Missing, 3, false},
        {u"HIDDEN@0", u"", Hidden, 0, false},  {u"NIL", u"5", Missing, 0, false},
        {u"YEP@8", u" 7", Found, 8, true},     {u"YEP@8", u"7 ", Found, 8, false},
        {u"YEP@11", u"$A", Found, 11, true},   {u"YEP@3", u"99999999999", Found, 3, false},
        {u"HIDDEN@4", u"-1", Hidden, 4, true},
    };
    for (const Row& row : rows) {
        const RecordOutcome o =
            outcomeOf(QString::fromUtf16(row.verdict), QString::fromUtf16(row.maximum));
        EXPECT_EQ(o.status, row.status) << QString::fromUtf16(row.verdict).toStdString();
        EXPECT_EQ(o.count, row.count);
        EXPECT_EQ(o.overLimit, row.over) << QString::fromUtf16(row.maximum).toStdString();
    }
}

TEST(CheckRun, EmptyLinkEmptyListAndTheNilLine) {
    RawServer server(pages());
    const int port = server.port();
    // A record with no link is still downloaded and ends Missing with count 0.
    // A record line that reads "NIL" is a record like any other, not the end.
    CountingHost host(
        {record(port, u"/many"_s, u"1"_s, u""_s), u"NIL"_s, record(port, u"/found"_s)});
    FetchSettings settings;
    settings.resolve = {u"www.:80:127.0.0.1"_s};  // the "NIL" record's second address
    settings.connectTimeoutMs = 1000;
    CheckRun run(host, settings);
    runToEnd(host, run);
    EXPECT_EQ(run.results().statusAt(0), Missing);
    EXPECT_EQ(run.results().countAt(0), 0);
    EXPECT_FALSE(run.results().overLimitAt(0));
    EXPECT_EQ(run.results().statusAt(1), FetchFailed);
    EXPECT_EQ(run.results().statusAt(2), Found);
    EXPECT_EQ(server.requests().size(), 2);

    CheckLoopHost empty;
    CheckRun emptyRun(empty);
    runToEnd(empty, emptyRun);
    EXPECT_TRUE(emptyRun.MarkersShown);
    EXPECT_EQ(emptyRun.results().statusAt(0), 0);
}

TEST(CheckRun, StopLetsDownloadsUnderWayFinishAndStartsNoMore) {
    RawServer server(pages());
    const int port = server.port();
    QStringList records;
    for (int i = 0; i < 50; ++i) {
        records += record(port, u"/slow/found"_s);
    }
    CheckLoopHost host(records);
    CheckRun run(host);
    run.ToolButton3Click();
    // Wait until all ten workers are downloading, then press the button again.
    while (server.requests().size() < kCheckWorkers) {
        host.processTasks(std::chrono::milliseconds(10));
    }
    run.ToolButton3Click();
    EXPECT_EQ(run.state(), CheckRun::State::Stopping);
    run.ToolButton3Click();  // pressing again while stopping changes nothing
    EXPECT_EQ(run.state(), CheckRun::State::Stopping);
    host.runUntilIdle(run);

    EXPECT_EQ(server.requests().size(), kCheckWorkers) << "no download starts after the stop";
    for (int i = 0; i < 50; ++i) {
        // The ten downloads under way succeeded: nothing is written for them.
        EXPECT_EQ(run.results().statusAt(i), 0) << i;
    }

    // A new run starts afresh once idle.
    host.records() = {record(port, u"/found"_s)};
    runToEnd(host, run);
    EXPECT_EQ(run.results().statusAt(0), Found);
}

TEST(CheckRun, RecordsBeyondTheTablesGetNoResult) {
    // "http://[" fails at once in both attempts, without a connection.
    QStringList records(kResultTableSize + 1,
                        BuildRecordLine(u"http://["_s, {}, {}, QDate(), {}, {}, u"x"_s, {}));
    CountingHost host(records);
    CheckRun run(host);
    runToEnd(host, run);
    EXPECT_EQ(host.handedOut.size(), size_t(kResultTableSize + 1));
    EXPECT_EQ(run.results().statusAt(0), FetchFailed);
    EXPECT_EQ(run.results().statusAt(kResultTableSize - 1), FetchFailed);
    EXPECT_EQ(run.results().statusAt(kResultTableSize), 0);
}

TEST(CheckRun, ResultsStayWhereTheRecordWasHandedOut) {
    RawServer server(pages());
    const int port = server.port();
    const QStringList kinds = {u"/found"_s, u"/hidden"_s, u"/missing"_s, u"/nothing"_s};
    const std::map<QString, int32_t> expected = {{u"/found"_s, Found},
                                                 {u"/hidden"_s, Hidden},
                                                 {u"/missing"_s, Missing},
                                                 {u"/nothing"_s, FetchFailed}};
    QStringList records;
    for (int i = 0; i < 60; ++i) {
        records += record(port, kinds.at(i % 4));
    }
    CountingHost host(records);
    CheckRun run(host);
    run.ToolButton3Click();
    int tick = 0;
    host.runUntilIdle(run, [&] {
        // The window adds and deletes records while the run goes on.
        ++tick;
        QStringList& list = host.records();
        if (tick % 3 == 0) {
            list.insert(0, record(port, kinds.at(tick % 4)));
        } else if (tick % 5 == 0 && list.size() > 10) {
            list.removeAt(1);
            list.removeAt(1);
        }
    });
    ASSERT_GE(host.handedOut.size(), 30u);
    for (const auto& [index, line] : host.handedOut) {
        const QString url = ExtractField(line, QChar(u'U'));
        const QString path = url.mid(url.lastIndexOf(u'/'));
        EXPECT_EQ(run.results().statusAt(index), expected.at(path)) << index;
    }
}

}  // namespace
}  // namespace quorvel
