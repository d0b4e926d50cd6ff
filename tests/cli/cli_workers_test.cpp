#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <algorithm>
#include <csignal>
#include <map>
#include <mutex>
#include <vector>

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

// A server that answers "/found..." after `delayMs` (or after the number in
// "/wait<ms>/found") and counts the connections open at once, in all and
// per Host header: a connection counts from its start until its client has
// closed it.
class CountingServer {
  public:
    explicit CountingServer(int delayMs)
        : server([this, delayMs](const RawServer::Connection& c) {
              const QByteArray target = test::requestTarget(c.request);
              const QByteArray host = hostOf(c.request);
              enter(host, c.fd);
              int delay = delayMs;
              if (target.startsWith("/wait")) {
                  delay = target.mid(5, target.indexOf('/', 1) - 5).toInt();
              }
              if (c.pause(delay)) {
                  c.send(test::httpResponse("200 OK", "<a href=http://me.example.com/>me</a>"));
                  char byte;
                  while (::recv(c.fd, &byte, 1, 0) > 0) {
                  }
              }
              leave(host, c.fd);
          }) {}

    int port() const { return server.port(); }
    bool waitForRequests(qsizetype count) const { return server.waitForRequests(count); }
    int mostAtOnce() const {
        std::lock_guard lock(mutex);
        return most;
    }
    int mostAtOnce(const QByteArray& host) const {
        std::lock_guard lock(mutex);
        const auto it = mostPerHost.find(host);
        return it == mostPerHost.end() ? 0 : it->second;
    }
    QList<QByteArray> hostsInOrder() const {
        QList<QByteArray> hosts;
        for (const QByteArray& request : server.requests()) {
            if (test::requestTarget(request) != "/robots.txt") {  // pages only
                hosts += hostOf(request);
            }
        }
        return hosts;
    }

  private:
    static QByteArray hostOf(const QByteArray& request) {
        const qsizetype at = request.indexOf("\r\nHost: ");
        const qsizetype end = request.indexOf("\r\n", at + 2);
        const QByteArray hostPort = request.mid(at + 8, end - at - 8);
        return hostPort.left(hostPort.lastIndexOf(':'));
    }
    // Whether the client has closed the connection: its end is readable now.
    static bool closedByClient(int fd) {
        char byte;
        return ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
    }
    void enter(const QByteArray& host, int fd) {
        std::lock_guard lock(mutex);
        // A thread that has not yet seen its client's close must not make
        // the count too high: the kernel already knows.
        for (auto& [name, fds] : open) {
            std::erase_if(fds, closedByClient);
        }
        open[host].push_back(fd);
        int all = 0;
        for (const auto& [name, fds] : open) {
            all += int(fds.size());
        }
        most = std::max(most, all);
        mostPerHost[host] = std::max(mostPerHost[host], int(open[host].size()));
    }
    void leave(const QByteArray& host, int fd) {
        std::lock_guard lock(mutex);
        std::erase(open[host], fd);
    }

    mutable std::mutex mutex;
    std::map<QByteArray, std::vector<int>> open;
    int most = 0;
    std::map<QByteArray, int> mostPerHost;
    RawServer server;  // last: it stops before the counters go
};

QString writeRecords(const test::TempDir& dir, const QStringList& urls) {
    QStringList records;
    for (const QString& url : urls) {
        records += BuildRecordLine(url, {}, {}, QDate(), {}, u"5"_s, u"me.example.com"_s, {});
    }
    const QString path = dir.path(u"list.qvp"_s);
    EXPECT_TRUE(writeRecordFile(path, records));
    return path;
}

// Every host name below .test goes to the loopback server.
QStringList check(const CountingServer& server, const QStringList& options, const QString& file) {
    return QStringList{u"check"_s, u"--resolve=*:%1:127.0.0.1"_s.arg(server.port())} + options +
           QStringList{file};
}

QList<QByteArray> rowsOf(const test::CliResult& r) {
    return r.out.isEmpty() ? QList<QByteArray>() : r.out.trimmed().split('\n');
}

TEST(CliWorkers, OptionsOutOfRangeAreUsageErrors) {
    const char* const bad[][2] = {{"--workers", "0"},   {"--workers", "257"}, {"--workers", "ten"},
                                  {"--workers", "2.5"}, {"--per-host", "0"},  {"--per-host", "17"},
                                  {"--per-host", ""}};
    for (const auto& [option, value] : bad) {
        SCOPED_TRACE(std::string(option) + " " + value);
        const test::CliResult r = test::runCli(
            {u"check"_s, QString::fromLatin1(option), QString::fromLatin1(value), u"-"_s});
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.err.contains(QByteArray(option).mid(2))) << r.err.toStdString();
    }
    EXPECT_EQ(test::runCli({u"check"_s, u"--workers=256"_s, u"--per-host=16"_s, u"-"_s}).exitCode,
              0);
}

TEST(CliWorkers, AsManyDownloadsAtOnceAsWorkers) {
    CountingServer server(150);
    test::TempDir dir;
    QStringList urls;
    for (int i = 0; i < 40; ++i) {
        urls += u"p%1.test:%2/found"_s.arg(i).arg(server.port());  // a host each
    }
    const test::CliResult r =
        test::runCli(check(server, {u"--workers"_s, u"8"_s}, writeRecords(dir, urls)));
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    EXPECT_EQ(rowsOf(r).size(), 40);
    EXPECT_EQ(server.mostAtOnce(), 8);
}

// A host at its limit waits; the other workers go on with the other hosts,
// and the rows still come in list order.
TEST(CliWorkers, PerHostLimitAndListOrder) {
    for (const int perHost : {2, 5}) {
        SCOPED_TRACE(perHost);
        CountingServer server(100);
        test::TempDir dir;
        QStringList urls;
        for (int i = 0; i < 24; ++i) {
            urls += u"busy.test:%1/found"_s.arg(server.port());
        }
        for (int i = 0; i < 10; ++i) {
            urls += u"other%1.test:%2/found"_s.arg(i).arg(server.port());
        }
        QStringList options{u"--workers=20"_s};
        if (perHost != 2) {
            options += u"--per-host=%1"_s.arg(perHost);  // 2 is the default
        }
        const test::CliResult r = test::runCli(check(server, options, writeRecords(dir, urls)));
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(server.mostAtOnce("busy.test"), perHost);
        // The ten other hosts were served among the first requests.
        const QList<QByteArray> hosts = server.hostsInOrder();
        ASSERT_EQ(hosts.size(), 34);
        EXPECT_EQ(hosts.mid(0, perHost + 10).count("busy.test"), perHost);
        const QList<QByteArray> rows = rowsOf(r);
        ASSERT_EQ(rows.size(), 34);
        for (int i = 0; i < 34; ++i) {
            EXPECT_TRUE(rows.at(i).startsWith(QByteArray(QByteArray::number(i) + "\tFound\t")))
                << rows.at(i).toStdString();
        }
    }
}

// Records that end in any order are printed in list order.
TEST(CliWorkers, RowsInListOrderWhateverFinishesFirst) {
    CountingServer server(0);
    test::TempDir dir;
    QStringList urls;
    for (int i = 0; i < 120; ++i) {
        const int wait = (i * 37) % 11 * 20;  // 0 to 200 ms, shuffled
        urls += (i % 7 == 3) ? u"p%1.test:1/closed"_s.arg(i)
                             : u"p%1.test:%2/wait%3/found"_s.arg(i).arg(server.port()).arg(wait);
    }
    const test::CliResult r =
        test::runCli(check(server, {u"--workers=64"_s}, writeRecords(dir, urls)));
    EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
    const QList<QByteArray> rows = rowsOf(r);
    ASSERT_EQ(rows.size(), 120);
    for (int i = 0; i < 120; ++i) {
        const QByteArray status = i % 7 == 3 ? "\tFetchFailed\t" : "\tFound\t";
        EXPECT_TRUE(rows.at(i).startsWith(QByteArray(QByteArray::number(i) + status)))
            << rows.at(i).toStdString();
    }
}

// The window's tables end at 100000 records; the command line has a row with
// a status for every record.
TEST(CliWorkers, EveryRecordGetsAResultBeyondTheWindowsTables) {
    test::TempDir dir;
    // "http://[" fails at once, in both attempts, without a connection.
    const QStringList records(150000,
                              BuildRecordLine(u"http://["_s, {}, {}, QDate(), {}, {}, u"x"_s, {}));
    const QString file = dir.path(u"big.qvp"_s);
    ASSERT_TRUE(writeRecordFile(file, records));
    const test::CliResult r = test::runCli({u"check"_s, u"--workers=32"_s, file});
    EXPECT_EQ(r.exitCode, 1);
    const QList<QByteArray> rows = rowsOf(r);
    ASSERT_EQ(rows.size(), 150000);
    for (const int i : {0, 99999, 100000, 149999}) {
        EXPECT_TRUE(rows.at(i).startsWith(QByteArray(QByteArray::number(i) + "\tFetchFailed\t")))
            << i;
    }
}

TEST(CliWorkers, StopAndAbortWithManyWorkers) {
    CountingServer server(60000);  // never answers in time
    test::TempDir dir;
    QStringList urls;
    for (int i = 0; i < 150; ++i) {
        urls += u"p%1.test:%2/found"_s.arg(i).arg(server.port());
    }
    test::CliProcess process(check(server, {u"--workers=64"_s}, writeRecords(dir, urls)));
    ASSERT_TRUE(server.waitForRequests(64));  // none is answered: 64 at once
    ::kill(process.pid(), SIGINT);            // stop: nothing new starts
    ASSERT_TRUE(process.waitForErr("quorvel-cli: check: stopping"));
    ::kill(process.pid(), SIGINT);  // abort the 64 downloads under way
    QElapsedTimer timer;
    timer.start();
    const test::CliResult r = process.finish(20000);
    EXPECT_LT(timer.elapsed(), 3000);
    EXPECT_EQ(r.exitCode, 130);
    const QList<QByteArray> rows = rowsOf(r);
    ASSERT_EQ(rows.size(), 150);
    for (const QByteArray& row : rows) {
        EXPECT_TRUE(row.contains("\tnone\t")) << row.toStdString();
    }
    EXPECT_EQ(server.hostsInOrder().size(), 64) << "nothing started after the stop";
}

}  // namespace
}  // namespace quorvel
