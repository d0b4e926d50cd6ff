#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <map>
#include <mutex>

#include "history/history.h"
#include "history/history_recorder.h"
#include "history/sqlite_db.h"
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

// Partner pages whose content the test changes between runs, by host.
class ChangingPages {
  public:
    enum Page { Found, Missing, Down, LinksToA };

    ChangingPages()
        : server([this](const RawServer::Connection& c) {
              const qsizetype at = c.request.indexOf("\r\nHost: ");
              QByteArray host = c.request.mid(at + 8, c.request.indexOf("\r\n", at + 2) - at - 8);
              host = host.left(host.lastIndexOf(':'));
              if (host.startsWith("www.")) {
                  host = host.mid(4);
              }
              Page page = Down;
              {
                  std::lock_guard lock(mutex);
                  page = pages.count(host) ? pages.at(host) : Down;
              }
              if (page == Down) {
                  c.send("HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\n\r\n");
              } else if (page == LinksToA) {
                  // The user's own page, with a link to partner a.
                  c.send(test::httpResponse(
                      "200 OK",
                      "<a href=http://a.test:" + QByteArray::number(server.port()) + "/>a</a>"));
              } else {
                  c.send(test::httpResponse(
                      "200 OK", page == Found ? "<a href=http://me.example.com/>me</a>" : "<p>"));
              }
          }) {}

    void set(const QByteArray& name, Page page) {
        std::lock_guard lock(mutex);
        pages[name + ".test"] = page;
    }
    QString url(const char* host) const {
        return u"%1.test:%2/links.html"_s.arg(QLatin1StringView(host)).arg(server.port());
    }
    QString mapping() const { return u"--resolve=*:%1:127.0.0.1"_s.arg(server.port()); }

  private:
    std::mutex mutex;
    std::map<QByteArray, Page> pages;

  public:
    RawServer server;
};

QString writeList(const test::TempDir& dir, const QStringList& urls, const QString& ownPage = {}) {
    QStringList records;
    for (const QString& url : urls) {
        records += BuildRecordLine(url, {}, {}, QDate(), ownPage, u"5"_s, u"me.example.com"_s, {});
    }
    const QString path = dir.path(u"list.qvp"_s);
    EXPECT_TRUE(writeRecordFile(path, records));
    return path;
}

// The columns index, status, change and previous of every row --changes
// printed, after its header.
QStringList changes(const test::CliResult& r) {
    QList<QByteArray> lines = r.out.split('\n');
    lines.removeAll(QByteArray());
    if (!lines.isEmpty()) {
        EXPECT_EQ(lines.takeFirst(),
                  "index\tstatus\tcount\tover_limit\tpartner_url\treason\tsignals\treciprocal\t"
                  "overdue\tanchor\tnear_"
                  "link\tcanonical\texternal\tchange\tprevious\tsince\temail\tnotes");
    }
    QStringList rows;
    for (const QByteArray& line : lines) {
        const QList<QByteArray> cells = line.split('\t');
        EXPECT_EQ(cells.size(), 18) << line.toStdString();
        rows += QString::fromUtf8(cells.value(0) + ' ' + cells.value(1) + ' ' + cells.value(13) +
                                  ' ' + cells.value(14));
    }
    return rows;
}

// Run after run, the confirmed state moves only on evidence, and --changes
// prints each move once.
TEST(CliHistory, ChangesAcrossRuns) {
    ChangingPages pages;
    test::TempDir dir;
    // a: the link comes and goes; d: the page is down; a again: a duplicate.
    const QString list =
        writeList(dir, {pages.url("a"), pages.url("d"), pages.url("a"), pages.url("b")});
    pages.set("b", ChangingPages::Found);
    struct Run {
        const char* what;
        ChangingPages::Page a;
        QStringList printed;
    };
    const Run runs[] = {
        {"first run: found is the quiet baseline", ChangingPages::Found, {}},
        {"missing once: no event yet; d down twice", ChangingPages::Missing, {}},
        {"missing twice: lost; d down thrice: down",
         ChangingPages::Missing,
         {u"0 Missing lost found"_s, u"1 FetchFailed down "_s}},
        {"back: restored", ChangingPages::Found, {u"0 Found restored missing"_s}},
        {"nothing moves", ChangingPages::Found, {}},
    };
    for (const Run& run : runs) {
        SCOPED_TRACE(run.what);
        pages.set("a", run.a);
        const test::CliResult r = test::runCli({u"check"_s, u"--changes"_s, pages.mapping(), list});
        EXPECT_EQ(r.exitCode, 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.isEmpty()) << r.err.toStdString();
        EXPECT_EQ(changes(r), run.printed);
    }
    EXPECT_TRUE(QFileInfo::exists(dir.path(u"quorvel-history.sqlite"_s))) << "beside the list";
    {
        SqliteDatabase db;
        ASSERT_EQ(db.open(dir.path(u"quorvel-history.sqlite"_s), SQLITE_OPEN_READONLY, {}),
                  SQLITE_OK);
        SqliteStatement sources(db, "SELECT group_concat(DISTINCT source) FROM runs");
        ASSERT_EQ(sources.step(), SQLITE_ROW);
        EXPECT_EQ(sources.textAt(0), u"quorvel-cli") << "every run is the command line's";
    }

    // The history of every record, in list order; the duplicate shares its
    // record's history, counted once per run.
    const test::CliResult h = test::runCli({u"history"_s, u"--format=json"_s, list});
    ASSERT_EQ(h.exitCode, 0) << h.err.toStdString();
    const QJsonArray rows = QJsonDocument::fromJson(h.out).array();
    ASSERT_EQ(rows.size(), 4);
    for (int i : {0, 2}) {
        const QJsonObject row = rows.at(i).toObject();
        EXPECT_EQ(row.value(u"status"_s).toString(), u"Found");
        EXPECT_EQ(row.value(u"state"_s).toString(), u"found");
        EXPECT_EQ(row.value(u"checks"_s).toInt(), 5);
        EXPECT_FALSE(row.value(u"since"_s).toString().isEmpty());
        EXPECT_FALSE(row.value(u"last_found"_s).toString().isEmpty());
    }
    const QJsonObject down = rows.at(1).toObject();
    EXPECT_EQ(down.value(u"status"_s).toString(), u"FetchFailed");
    EXPECT_EQ(down.value(u"state"_s).toString(), u"down");
    EXPECT_FALSE(down.value(u"reason"_s).toString().isEmpty());
    EXPECT_TRUE(down.value(u"last_found"_s).toString().isEmpty());
    EXPECT_EQ(down.value(u"partner_url"_s).toString(), pages.url("d"));
}

// Your side of the exchange has a confirmed state of its own: its loss, seen
// twice, and its return are changes too; the history shows the last facts.
TEST(CliHistory, YourSideOfTheExchangeChanges) {
    ChangingPages pages;
    pages.set("a", ChangingPages::Found);
    test::TempDir dir;
    const QString list = writeList(dir, {pages.url("a")}, pages.url("mine"));
    const ChangingPages::Page mine[] = {ChangingPages::LinksToA, ChangingPages::Missing,
                                        ChangingPages::Missing, ChangingPages::LinksToA};
    const QStringList printed[] = {
        {}, {}, {u"0 Found reciprocal-lost found"_s}, {u"0 Found reciprocal-restored missing"_s}};
    for (int run = 0; run < 4; ++run) {
        SCOPED_TRACE(run);
        pages.set("mine", mine[run]);
        const test::CliResult r = test::runCli({u"check"_s, u"--changes"_s, pages.mapping(), list});
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
        EXPECT_EQ(changes(r), printed[run]);
    }
    const test::CliResult h = test::runCli({u"history"_s, u"--format=json"_s, list});
    const QJsonObject row = QJsonDocument::fromJson(h.out).array().at(0).toObject();
    EXPECT_EQ(row.value(u"reciprocal"_s).toString(), u"Found");
    EXPECT_EQ(row.value(u"signals"_s).toArray(), QJsonArray());
    EXPECT_EQ(row.value(u"overdue"_s).toInt(), 0);
    EXPECT_EQ(row.value(u"checks"_s).toInt(), 4);
}

// A deadline is overdue only when it lapsed after the record's first check:
// a partner the history saw before the deadline is late, one it sees for
// the first time after it is not; check and history agree.
TEST(CliHistory, OverdueIsADeadlineThatLapsedAfterTheFirstCheck) {
    ChangingPages pages;
    pages.set("a", ChangingPages::Missing);
    pages.set("b", ChangingPages::Missing);
    test::TempDir dir;
    const QDate today = QDate::currentDate();
    QStringList records;
    for (const char* host : {"a", "b"}) {
        records += BuildRecordLine(pages.url(host), {}, {}, today.addDays(-1), {}, u"5"_s,
                                   u"me.example.com"_s, {});
    }
    const QString list = dir.path(u"list.qvp"_s);
    ASSERT_TRUE(writeRecordFile(list, records));
    {
        // a was first checked five days ago, before its deadline.
        const QDateTime then = QDateTime(today.addDays(-5), QTime(9, 0)).toUTC();
        HistoryRecorder recorder(dir.path(u"quorvel-history.sqlite"_s), then);
        RecordOutcome missing;
        missing.status = CheckStatus::Missing;
        recorder.add({identityOf(records.at(0)), then.addSecs(60), missing, {}});
        ASSERT_EQ(recorder.finish(std::chrono::seconds(10)).written, 1);
    }
    const auto overdueOf = [](const test::CliResult& r) {
        QList<int> overdue;
        for (const QJsonValue row : QJsonDocument::fromJson(r.out).array()) {
            overdue += row.toObject().value(u"overdue"_s).toInt();
        }
        return overdue;
    };
    const test::CliResult check =
        test::runCli({u"check"_s, u"--format=json"_s, pages.mapping(), list});
    EXPECT_EQ(check.exitCode, 1) << check.err.toStdString();
    EXPECT_EQ(overdueOf(check), (QList<int>{1, 0}));
    const test::CliResult history = test::runCli({u"history"_s, u"--format=json"_s, list});
    EXPECT_EQ(overdueOf(history), (QList<int>{1, 0}));
}

TEST(CliHistory, WhereTheHistoryIsAndWhenThereIsNone) {
    ChangingPages pages;
    pages.set("a", ChangingPages::Found);
    test::TempDir dir;
    const QString list = writeList(dir, {pages.url("a")});
    const QString elsewhere = dir.path(u"elsewhere.sqlite"_s);
    EXPECT_EQ(test::runCli({u"check"_s, u"--history"_s, elsewhere, pages.mapping(), list}).exitCode,
              0);
    EXPECT_TRUE(QFileInfo::exists(elsewhere));
    EXPECT_EQ(test::runCli({u"check"_s, u"--no-history"_s, pages.mapping(), list}).exitCode, 0);
    EXPECT_FALSE(QFileInfo::exists(dir.path(u"quorvel-history.sqlite"_s)));
    const test::CliResult both =
        test::runCli({u"check"_s, u"--no-history"_s, u"--history=x"_s, pages.mapping(), list});
    EXPECT_EQ(both.exitCode, 2);
    // Changes come from the history: asking for them without one is a mistake.
    EXPECT_EQ(test::runCli({u"check"_s, u"--changes"_s, u"--no-history"_s, pages.mapping(), list})
                  .exitCode,
              2);

    // Standard input has no place beside it: no history unless named.
    QFile in(list);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    const QByteArray bytes = in.readAll();
    EXPECT_EQ(test::runCli({u"check"_s, pages.mapping(), u"-"_s}, bytes, dir.path({})).exitCode, 0);
    EXPECT_FALSE(QFileInfo::exists(dir.path(u"quorvel-history.sqlite"_s)));
    EXPECT_EQ(test::runCli({u"history"_s, u"-"_s}, bytes).exitCode, 2);
    EXPECT_EQ(test::runCli({u"check"_s, u"--changes"_s, pages.mapping(), u"-"_s}, bytes).exitCode,
              2);
}

// A history that cannot be used never stops the run: its results are
// printed, and one line says why.
TEST(CliHistory, AnUnusableHistoryIsNamedAndTheRunGoesOn) {
    ChangingPages pages;
    pages.set("a", ChangingPages::Found);
    struct Case {
        const char* what;
        std::function<void(const test::TempDir&)> prepare;
        const char* said;
        bool replaced;
    };
    const Case cases[] = {
        {"damaged: moved aside with its WAL files",
         [](const test::TempDir& dir) {
             dir.write(u"quorvel-history.sqlite"_s, QByteArray(8192, 'x'));
             dir.write(u"quorvel-history.sqlite-wal"_s, "wal bytes");
             dir.write(u"quorvel-history.sqlite-shm"_s, "shm bytes");
         },
         "moved aside", true},
        {"a newer program's history: left alone",
         [](const test::TempDir& dir) {
             SqliteDatabase db;
             ASSERT_EQ(db.open(dir.path(u"quorvel-history.sqlite"_s),
                               SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, {}),
                       SQLITE_OK);
             ASSERT_EQ(db.exec("CREATE TABLE future (x); PRAGMA user_version = 99;"), SQLITE_OK);
         },
         "newer", false},
        {"a folder that cannot be written",
         [](const test::TempDir& dir) {
             QFile::setPermissions(dir.path({}), QFile::ReadOwner | QFile::ExeOwner |
                                                     QFile::ReadOther | QFile::ExeOther);
         },
         "cannot write", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        test::TempDir dir;
        const QString list = writeList(dir, {pages.url("a")});
        c.prepare(dir);
        // The run goes as an ordinary user, for whom folder permissions hold.
        for (const QString& name : QDir(dir.path({})).entryList(QDir::Files)) {
            QFile::setPermissions(dir.path(name), QFile::ReadOwner | QFile::WriteOwner |
                                                      QFile::ReadOther | QFile::WriteOther);
        }
        if (c.replaced || QString::fromLatin1(c.said) == u"newer") {
            QFile::setPermissions(dir.path({}), QFile::ReadOwner | QFile::WriteOwner |
                                                    QFile::ExeOwner | QFile::ReadOther |
                                                    QFile::WriteOther | QFile::ExeOther);
        }
        const QByteArray before = QFileInfo::exists(dir.path(u"quorvel-history.sqlite"_s))
                                      ? dir.read(u"quorvel-history.sqlite"_s)
                                      : QByteArray();
        const test::CliResult r =
            test::CliProcess({u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s,
                              QStringLiteral(QUORVEL_CLI_PATH), u"check"_s, pages.mapping(), list},
                             {}, {}, "/usr/bin/setpriv")
                .finish();
        QFile::setPermissions(dir.path({}), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_TRUE(r.out.startsWith("0\tFound\t")) << r.out.toStdString();
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.toStdString();
        EXPECT_TRUE(r.err.contains(c.said)) << r.err.toStdString();
        if (c.replaced) {
            EXPECT_TRUE(dir.read(u"quorvel-history.sqlite.bad"_s) == QByteArray(8192, 'x'));
            EXPECT_EQ(dir.read(u"quorvel-history.sqlite.bad-wal"_s), "wal bytes");
            EXPECT_TRUE(QFileInfo::exists(dir.path(u"quorvel-history.sqlite.bad-shm"_s)));
            EXPECT_TRUE(QFileInfo::exists(dir.path(u"quorvel-history.sqlite"_s))) << "a new one";
        } else if (!before.isEmpty()) {
            EXPECT_TRUE(dir.read(u"quorvel-history.sqlite"_s) == before);
        }
    }
}

// Reading never needs the right to write: another user's history, in a
// folder we may only read, is shown as it is; one we may not read says so
// once.
TEST(CliHistory, AHistoryWeMayOnlyRead) {
    ChangingPages pages;
    pages.set("a", ChangingPages::Found);
    test::TempDir dir;
    const QString list = writeList(dir, {pages.url("a")});
    ASSERT_EQ(test::runCli({u"check"_s, pages.mapping(), list}).exitCode, 0);
    const QString history = dir.path(u"quorvel-history.sqlite"_s);
    const QByteArray before = dir.read(u"quorvel-history.sqlite"_s);
    const auto asNobody = [&] {
        return test::CliProcess({u"--reuid=65534"_s, u"--regid=65534"_s, u"--clear-groups"_s,
                                 QStringLiteral(QUORVEL_CLI_PATH), u"history"_s, list},
                                {}, {}, "/usr/bin/setpriv")
            .finish();
    };
    const auto readOnly = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther;
    QFile::setPermissions(dir.path({}), readOnly);
    QFile::setPermissions(list, QFile::ReadOwner | QFile::ReadOther);
    QFile::setPermissions(history, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);

    const test::CliResult shown = asNobody();
    EXPECT_EQ(shown.exitCode, 0) << shown.err.toStdString();
    EXPECT_TRUE(shown.out.startsWith("0\tFound\t\tfound\t")) << shown.out.toStdString();
    EXPECT_TRUE(shown.err.isEmpty()) << shown.err.toStdString();

    QFile::setPermissions(history, QFile::ReadOwner | QFile::WriteOwner);
    const test::CliResult refused = asNobody();
    QFile::setPermissions(dir.path({}), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_TRUE(refused.err.startsWith(
        QByteArray("quorvel-cli: history: cannot read " + history.toUtf8() + " (")))
        << refused.err.toStdString();
    EXPECT_EQ(refused.err.count('\n'), 1) << refused.err.toStdString();
    EXPECT_TRUE(dir.read(u"quorvel-history.sqlite"_s) == before);
    EXPECT_EQ(QDir(dir.path({})).entryList(QDir::Files),
              QStringList({u"list.qvp"_s, u"quorvel-history.sqlite"_s}));
}

}  // namespace
}  // namespace quorvel
