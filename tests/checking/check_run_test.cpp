#include "checking/check_run.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <condition_variable>
#include <map>
#include <mutex>

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

// The page requests a server has had (its site's robots.txt aside).
qsizetype pageRequests(const RawServer& server) {
    qsizetype pages = 0;
    for (const QByteArray& request : server.requests()) {
        pages += test::requestTarget(request) != "/robots.txt";
    }
    return pages;
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
    void recordChecked(const RecordCheck& check) override {
        ++checked;
        checks[check.index] = check;
    }
    mutable std::map<int, QString> handedOut;
    int checked = 0;
    std::map<int, RecordCheck> checks;
    std::atomic<int> terminations{0};
};

void runToEnd(CheckLoopHost& host, CheckRun& run) {
    run.start();
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

    EXPECT_EQ(host.handedOut.size(), 3u) << "each record is handed out once";
    EXPECT_EQ(host.checked, 3) << "each record is reported once, when it is done";
    EXPECT_EQ(host.terminations.load(), kCheckWorkers);
    const CheckResults& r = run.results();
    EXPECT_EQ(r.statusAt(0), CheckStatus::Found);
    EXPECT_EQ(r.countAt(0), 13);
    EXPECT_TRUE(r.overLimitAt(0));
    EXPECT_EQ(r.statusAt(1), CheckStatus::Hidden);
    EXPECT_EQ(r.countAt(1), 0);
    EXPECT_EQ(r.statusAt(2), CheckStatus::Missing);
    EXPECT_EQ(r.countAt(2), 1);
    EXPECT_TRUE(r.overLimitAt(2)) << "1 outgoing link is over a maximum of 0";
    EXPECT_EQ(host.repaints(), 1 + 3) << "the start, then once per record";
}

TEST(CheckRun, EmptyLinkEmptyListAndTheNilLine) {
    RawServer server(pages());
    const int port = server.port();
    // A record with no link is still downloaded and ends CheckStatus::Missing with count 0.
    // A record line that reads "NIL" is a record like any other, not the end.
    CountingHost host(
        {record(port, u"/many"_s, u"1"_s, u""_s), u"NIL"_s, record(port, u"/found"_s)});
    FetchSettings settings;
    settings.resolve = {u"www.:80:127.0.0.1"_s};  // the "NIL" record's second address
    settings.connectTimeoutMs = 1000;
    CheckRun run(host, settings);
    runToEnd(host, run);
    EXPECT_EQ(run.results().statusAt(0), CheckStatus::Missing);
    EXPECT_EQ(run.results().countAt(0), 0);
    EXPECT_FALSE(run.results().overLimitAt(0));
    EXPECT_EQ(run.results().statusAt(1), CheckStatus::FetchFailed);
    EXPECT_EQ(run.results().statusAt(2), CheckStatus::Found);
    EXPECT_EQ(pageRequests(server), 2);

    CheckLoopHost empty;
    CheckRun emptyRun(empty);
    runToEnd(empty, emptyRun);
    EXPECT_EQ(emptyRun.results().statusAt(0), CheckStatus::None);
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
    run.start();
    // Wait until all ten workers are downloading, then ask for a stop.
    while (server.requests().size() < kCheckWorkers) {
        host.processTasks(std::chrono::milliseconds(10));
    }
    run.requestStop();
    EXPECT_EQ(run.state(), CheckRun::State::Stopping);
    run.requestStop();  // asking again while stopping changes nothing
    run.start();        // nor does a start before the last worker has ended
    EXPECT_EQ(run.state(), CheckRun::State::Stopping);
    host.runUntilIdle(run);

    EXPECT_EQ(server.requests().size(), kCheckWorkers) << "no download starts after the stop";
    for (int i = 0; i < 50; ++i) {
        // The ten downloads under way succeeded: nothing is written for them.
        EXPECT_EQ(run.results().statusAt(i), CheckStatus::None) << i;
    }

    // A new run starts afresh once idle.
    host.records() = {record(port, u"/found"_s)};
    runToEnd(host, run);
    EXPECT_EQ(run.results().statusAt(0), CheckStatus::Found);
}

// What a stop leaves of the records under way, a page that loads and one
// that fails: the window's run gives the loaded one no result and marks the
// failed one as ended after the stop; a run that finishes what it took
// reports both as any other.
TEST(CheckRun, WhatAStopLeavesOfTheRecordsUnderWay) {
    for (const bool finish : {false, true}) {
        SCOPED_TRACE(finish ? "finishing" : "the window's way");
        RawServer server(pages());
        const int port = server.port();
        QStringList records;
        for (const QString& path :
             {u"p0.test:%1/slow/found"_s, u"p1.test:%1/slow/gone"_s, u"p2.test:%1/found"_s}) {
            records += BuildRecordLine(path.arg(port), {}, {}, QDate(), {}, u"5"_s,
                                       u"http://mysite.example.com/"_s, {});
        }
        CountingHost host(records);
        FetchSettings settings;
        settings.resolve = {u"*:%1:127.0.0.1"_s.arg(port)};
        CheckRunOptions options;
        options.workers = 2;
        options.finishTakenRecords = finish;
        CheckRun run(host, settings, options);
        run.start();
        while (server.requests().size() < 2) {
            host.processTasks(std::chrono::milliseconds(10));
        }
        run.requestStop();
        host.runUntilIdle(run);

        EXPECT_EQ(run.results().statusAt(0), finish ? CheckStatus::Found : CheckStatus::None);
        EXPECT_EQ(host.checks.count(0), finish ? 1u : 0u);
        ASSERT_EQ(host.checks.count(1), 1u);
        EXPECT_EQ(host.checks[1].outcome.status, CheckStatus::FetchFailed);
        EXPECT_EQ(host.checks[1].reasonCode(), u"http 404; http 404");
        EXPECT_EQ(host.checks[1].afterStop, !finish);
        if (finish) {
            EXPECT_FALSE(host.checks[0].afterStop);
        }
        EXPECT_EQ(host.checks.count(2), 0u) << "never taken";
    }
}

// A page that could not be loaded says why, by the reason code of each attempt.
TEST(CheckRun, AFailedRecordNamesTheReasonOfEachAttempt) {
    RawServer server(pages());
    const int port = server.port();
    CountingHost host({record(port, u"/nothing"_s), record(port, u"/found"_s),
                       BuildRecordLine(u"http://["_s, {}, {}, QDate(), {}, {}, u"x"_s, {})});
    FetchSettings settings;
    settings.resolve += u"www.127.0.0.1:%1:127.0.0.1"_s.arg(port);
    CheckRun run(host, settings);
    runToEnd(host, run);
    ASSERT_EQ(host.checks.size(), 3u);
    EXPECT_EQ(host.checks.at(0).reasonCode(), u"http 404; http 404");
    EXPECT_TRUE(host.checks.at(1).reasonCode().isEmpty());
    EXPECT_EQ(host.checks.at(2).reasonCode(), u"dns; dns") << "no host to look up";
}

TEST(CheckRun, RecordsBeyondTheTablesGetNoResult) {
    // "http://[" fails at once in both attempts, without a connection.
    QStringList records(kResultTableSize + 1,
                        BuildRecordLine(u"http://["_s, {}, {}, QDate(), {}, {}, u"x"_s, {}));
    CountingHost host(records);
    CheckRun run(host);
    runToEnd(host, run);
    EXPECT_EQ(host.handedOut.size(), size_t(kResultTableSize + 1));
    EXPECT_EQ(run.results().statusAt(0), CheckStatus::FetchFailed);
    EXPECT_EQ(run.results().statusAt(kResultTableSize - 1), CheckStatus::FetchFailed);
    EXPECT_EQ(run.results().statusAt(kResultTableSize), CheckStatus::None);
}

TEST(CheckRun, ResultsStayWhereTheRecordWasHandedOut) {
    RawServer server(pages());
    const int port = server.port();
    const QStringList kinds = {u"/found"_s, u"/hidden"_s, u"/missing"_s, u"/nothing"_s};
    const std::map<QString, CheckStatus> expected = {{u"/found"_s, CheckStatus::Found},
                                                     {u"/hidden"_s, CheckStatus::Hidden},
                                                     {u"/missing"_s, CheckStatus::Missing},
                                                     {u"/nothing"_s, CheckStatus::FetchFailed}};
    QStringList records;
    for (int i = 0; i < 60; ++i) {
        records += record(port, kinds.at(i % 4));
    }
    CountingHost host(records);
    CheckRun run(host);
    run.start();
    int tick = 0;
    host.runUntilIdle(run, [&] {
        // The window adds and deletes records while the run goes on.
        ++tick;
        RecordStore& list = host.records();
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

// Shutting down releases workers that wait for the UI thread and cuts off
// their downloads: the run ends at once, whatever the server does.
TEST(CheckRun, ShutdownEndsEveryWorkerAtOnce) {
    RawServer server([](const RawServer::Connection& c) { c.pause(60000); });
    QStringList records;
    for (int i = 0; i < 30; ++i) {
        records += record(server.port(), u"/never"_s);
    }
    CountingHost host(records);
    {
        CheckRun run(host);
        run.start();
        while (server.requests().size() < kCheckWorkers) {
            host.processTasks(std::chrono::milliseconds(10));
        }
        QElapsedTimer timer;
        timer.start();
        EXPECT_TRUE(run.shutdown(std::chrono::seconds(5)));
        EXPECT_LT(timer.elapsed(), 1000);
        EXPECT_EQ(run.state(), CheckRun::State::Idle);
        EXPECT_EQ(host.terminations.load(), kCheckWorkers);
    }
    EXPECT_EQ(server.requests().size(), kCheckWorkers) << "nothing new starts";

    // Destroying a run that is under way does the same.
    CheckRun run(host);
    run.start();
    while (server.requests().size() < 2 * kCheckWorkers) {
        host.processTasks(std::chrono::milliseconds(10));
    }
}

// A worker that does not come back in time (here: held in its first call to
// the UI thread) does not hold the run's destruction up past its bound, and
// what it does afterwards touches nothing of the run.
TEST(CheckRun, DestructionWaitsNoLongerThanItsBound) {
    struct Sync {
        std::mutex mutex;
        std::condition_variable changed;
        bool held = false;
        bool released = false;
        bool back = false;
    };
    class HoldingHost : public CheckLoopHost {
      public:
        using CheckLoopHost::CheckLoopHost;
        void runOnUiThread(const std::function<void()>& task) override {
            // Shared with the worker: the test may end (and this host with
            // it) as soon as the worker has said it is back.
            const std::shared_ptr<Sync> sync = sync_;
            {
                std::unique_lock lock(sync->mutex);
                sync->held = true;
                sync->changed.notify_all();
                sync->changed.wait(lock, [&] { return sync->released; });
            }
            CheckLoopHost::runOnUiThread(task);
            std::lock_guard lock(sync->mutex);
            sync->back = true;
            sync->changed.notify_all();
        }
        bool waitFor(bool Sync::*what) {
            std::unique_lock lock(sync_->mutex);
            return sync_->changed.wait_for(lock, std::chrono::seconds(10),
                                           [&] { return (*sync_).*what; });
        }
        void release() {
            std::lock_guard lock(sync_->mutex);
            sync_->released = true;
            sync_->changed.notify_all();
        }

      private:
        std::shared_ptr<Sync> sync_ = std::make_shared<Sync>();
    };
    HoldingHost host({record(1, u"/found"_s)});
    QElapsedTimer timer;
    {
        CheckRun run(host, {}, CheckRunOptions{1, 0, std::chrono::milliseconds(200)});
        run.start();
        ASSERT_TRUE(host.waitFor(&Sync::held));
        timer.start();
    }
    EXPECT_LT(timer.elapsed(), 2000) << "twice the bound at most: the stop, then the detach";
    host.release();
    // The worker's hand-out now finds no run: it gets the end and goes.
    EXPECT_EQ(host.processTasks(std::chrono::seconds(10)), 1);
    EXPECT_TRUE(host.waitFor(&Sync::back));
}

// After the partner page, the user's own page (QV_4) is looked at for a
// link to the partner's site; a page many records share is fetched once.
TEST(CheckRun, YourSideOfTheExchange) {
    RawServer server([](const RawServer::Connection& c) {
        const QByteArray target = test::requestTarget(c.request);
        QByteArray body;
        if (target == "/partner") {
            body = "<a href=http://mysite.example.com/>me</a>";
        } else if (target == "/mine") {
            // One page of the user's with the partners' links.
            body =
                "<a href=http://WWW.Found.example/>f</a>"
                "<a href=http://nofollow.example/ rel=nofollow>n</a>"
                "<noindex><a href=https://inside.example/x>i</a></noindex>"
                "<a href=http://path.example/deep/page.html>p</a>";
        } else {
            c.send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
            return;
        }
        c.send(test::httpResponse("200 OK", body));
    });
    const QString base = u"127.0.0.1:%1"_s.arg(server.port());
    auto line = [&](const QString& partnerUrl, const QString& ownPage) {
        return BuildRecordLine(partnerUrl, {}, {}, QDate(), ownPage, u"5"_s,
                               u"http://mysite.example.com/"_s, {});
    };
    // Partner pages on hosts the server does not know fail at once; the
    // user's page is looked at all the same.
    struct Row {
        const char* what;
        QString partnerUrl;
        QString ownPage;
        CheckStatus reciprocal;
    };
    const QString mine = base + u"/mine";
    const Row rows[] = {
        {"found, www. and letter case aside", u"http://www.found.example/links.html"_s, mine,
         CheckStatus::Found},
        {"nofollow", u"nofollow.example"_s, mine, CheckStatus::Hidden},
        {"inside noindex", u"https://inside.example/"_s, mine, CheckStatus::Hidden},
        {"a partner address with a path", u"path.example/catalog/links.html"_s, mine,
         CheckStatus::Found},
        {"not linked", u"absent.example"_s, mine, CheckStatus::Missing},
        {"an own page that cannot be loaded", u"absent.example"_s, base + u"/gone",
         CheckStatus::FetchFailed},
        {"no own page", u"absent.example"_s, QString(), CheckStatus::None},
    };
    QStringList records;
    for (const Row& row : rows) {
        records += line(row.partnerUrl, row.ownPage);
    }
    records += line(base + u"/partner", mine);
    CountingHost host(records);
    FetchSettings settings;
    settings.connectTimeoutMs = 1000;
    settings.resolve = {u"*:80:127.0.0.1"_s, u"*:443:127.0.0.1"_s};  // partner hosts: refused
    CheckRun run(host, settings);
    runToEnd(host, run);
    ASSERT_EQ(host.checks.size(), records.size());
    for (size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].what);
        EXPECT_EQ(host.checks.at(int(i)).reciprocal, rows[i].reciprocal);
    }
    EXPECT_EQ(host.checks.at(int(std::size(rows))).outcome.status, CheckStatus::Found);
    EXPECT_EQ(host.checks.at(int(std::size(rows))).reciprocal, CheckStatus::Missing);
    int fetchesOfMine = 0;
    for (const QByteArray& request : server.requests()) {
        fetchesOfMine += test::requestTarget(request) == "/mine";
    }
    EXPECT_EQ(fetchesOfMine, 1) << "seven records share the page; it is fetched once";
}

// Pages that each need more room than the whole run has are all checked:
// every download waits its turn, and the run never stands still.
TEST(CheckRun, PagesLargerThanTheRoomTakeTurns) {
    const QByteArray page = test::httpResponse(
        "200 OK", QByteArray(256 * 1024, 'x') + "<a href=http://mysite.example.com/>me</a>");
    RawServer server([&page](const RawServer::Connection& c) { c.send(page); });
    QStringList records;
    for (int i = 0; i < 12; ++i) {
        records += record(server.port(), u"/page%1"_s.arg(i));
    }
    CountingHost host(records);
    CheckRunOptions options{6};
    options.pageMemory = 256 * 1024;  // less than one page takes
    CheckRun run(host, {}, options);
    runToEnd(host, run);
    ASSERT_EQ(host.checks.size(), records.size());
    for (const auto& [index, check] : host.checks) {
        EXPECT_EQ(check.outcome.status, CheckStatus::Found) << index;
    }
}

// However big the user's pages are, each is downloaded once per run: two
// pages of almost 16 MiB of short anchors, named by records in turn.
TEST(CheckRun, BigOwnPagesAreDownloadedOnce) {
    const auto page = [](const QByteArray& partner) {
        QByteArray body;
        body.reserve(kMaxPageBytes);
        for (int i = 0; body.size() < kMaxPageBytes - 100; ++i) {
            body.append("<a href=").append(QByteArray::number(i % 10000)).append('>');
        }
        return body.append("<a href=http://").append(partner).append(".example/>");
    };
    const QByteArray pages[] = {page("one"), page("two")};
    RawServer server([&pages](const RawServer::Connection& c) {
        const QByteArray target = test::requestTarget(c.request);
        if (target == "/one" || target == "/two") {
            c.send(test::httpResponse("200 OK", pages[target == "/one" ? 0 : 1]));
        } else {
            c.send("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
        }
    });
    const QString base = u"127.0.0.1:%1/"_s.arg(server.port());
    // Each record's partner is the site its own page links to, at its end.
    QStringList records;
    for (int i = 0; i < 12; ++i) {
        const QString own = i % 2 == 0 ? u"one"_s : u"two"_s;
        records += BuildRecordLine(u"http://"_s + own + u".example/"_s, {}, {}, QDate(), base + own,
                                   u"5"_s, u"http://mysite.example.com/"_s, {});
    }
    CountingHost host(records);
    FetchSettings settings;
    settings.resolve = {u"*:80:127.0.0.1"_s};  // partner pages: refused at once
    CheckRun run(host, settings, CheckRunOptions{4});
    runToEnd(host, run);
    ASSERT_EQ(host.checks.size(), records.size());
    for (const auto& [index, check] : host.checks) {
        EXPECT_EQ(check.reciprocal, CheckStatus::Found) << index;
    }
    std::map<QByteArray, int> downloads;
    for (const QByteArray& request : server.requests()) {
        ++downloads[test::requestTarget(request)];
    }
    EXPECT_EQ(downloads["/one"], 1);
    EXPECT_EQ(downloads["/two"], 1);
}

}  // namespace
}  // namespace quorvel
