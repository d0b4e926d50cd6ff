#include "history/history_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "history/history_reader.h"
#include "history/history_recorder.h"
#include "history/history_support.h"
#include "support/printers.h"
#include "support/temp_dir.h"

#include <sqlite3.h>

namespace quorvel {
namespace {

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;
using test::historyEntry;
using test::queryNumber;
using test::recordRun;

constexpr qint64 kStart = 1'700'000'000;
const RecordIdentity kPartner{u"http://partner.example/"_s, u"http://mysite.example/"_s};
const QString kName = QString::fromUtf16(kHistoryFileName);

QByteArray randomBytes(int size) {
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(42);
    for (char& byte : bytes) {
        byte = char(generator.bounded(256));
    }
    return bytes;
}

// A history with a few thousand results, cut to half its size.
QByteArray truncatedHistory(const test::TempDir& dir) {
    const QString scratch = dir.path(u"whole.sqlite"_s);
    std::vector<HistoryEntry> entries;
    for (int i = 0; i < 3000; ++i) {
        entries.push_back(historyEntry({u"http://p%1.example/page.html"_s.arg(i), kPartner.link},
                                       CheckStatus::Found, kStart));
    }
    EXPECT_EQ(recordRun(scratch, kStart, entries).written, 3000);
    const QByteArray whole = dir.read(u"whole.sqlite"_s);
    return whole.first(whole.size() / 2);
}

// A damaged history goes aside with its -wal and -shm under the first
// suffix that none of the three names uses, and a new one starts.
TEST(HistoryFile, DamagedFileIsMovedAsideWithItsCompanions) {
    struct Case {
        const char* name;
        std::function<QByteArray(const test::TempDir&)> bytes;
    };
    const Case cases[] = {
        {"random bytes", [](const test::TempDir&) { return randomBytes(20000); }},
        {"a truncated database", truncatedHistory},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const QString path = dir.path(kName);
        const QByteArray damaged = c.bytes(dir);
        dir.write(kName, damaged);
        dir.write(kName + u"-wal"_s, "old wal");
        dir.write(kName + u"-shm"_s, "old shm");
        // .bad is taken by a main file, .bad2 by a lone companion.
        dir.write(kName + u".bad"_s, "first");
        dir.write(kName + u".bad2-shm"_s, "second");

        // Reading reports the damage but moves nothing: that is for a run.
        {
            HistoryReader reader(path);
            EXPECT_EQ(reader.outcome().status, HistoryOpenStatus::Failed);
            EXPECT_FALSE(reader.recordHistory(kPartner).ok());
        }
        EXPECT_EQ(dir.read(kName), damaged);

        const HistoryRunOutcome outcome =
            recordRun(path, kStart, {historyEntry(kPartner, CheckStatus::Found, kStart)});
        EXPECT_EQ(outcome.open.status, HistoryOpenStatus::Recovered);
        EXPECT_EQ(outcome.open.movedTo, path + u".bad3"_s);
        EXPECT_TRUE(outcome.message.startsWith(u"history: "_s + QDir::toNativeSeparators(path) +
                                               u" was damaged ("_s))
            << outcome.message.toStdString();
        EXPECT_TRUE(outcome.message.endsWith(u"; moved aside to "_s +
                                             QDir::toNativeSeparators(path) +
                                             u".bad3; started a new one"_s))
            << outcome.message.toStdString();
        EXPECT_FALSE(outcome.message.contains(u'\n'));
        EXPECT_EQ(outcome.written, 1);

        EXPECT_EQ(dir.read(kName + u".bad3"_s), damaged);
        EXPECT_EQ(dir.read(kName + u".bad3-wal"_s), QByteArray("old wal"));
        // SQLite rebuilds the -shm index whenever it opens a WAL database, so
        // only its name is sure to be kept.
        EXPECT_TRUE(QFileInfo::exists(path + u".bad3-shm"_s));
        EXPECT_EQ(dir.read(kName + u".bad"_s), QByteArray("first"));
        EXPECT_EQ(dir.read(kName + u".bad2-shm"_s), QByteArray("second"));
        EXPECT_FALSE(QFileInfo::exists(path + u".bad2"_s));

        // The new history holds this run only, and the next run uses it as is.
        EXPECT_EQ(queryNumber(path, "SELECT count(*) FROM results"), 1);
        const HistoryRunOutcome next =
            recordRun(path, kStart + 60, {historyEntry(kPartner, CheckStatus::Found, kStart)});
        EXPECT_EQ(next.open.status, HistoryOpenStatus::Opened);
        EXPECT_TRUE(next.message.isEmpty()) << next.message.toStdString();
        EXPECT_FALSE(QFileInfo::exists(path + u".bad4"_s));
    }
}

// Files that are not ours to change: a history of a newer program, and
// another program's database. Neither is touched, moved or read.
TEST(HistoryFile, FilesOfOthersAreLeftAlone) {
    struct Case {
        const char* name;
        const char* sql;
        HistoryOpenStatus status;
        QString says;
    };
    const Case cases[] = {
        {"a newer schema", "CREATE TABLE future (x); PRAGMA user_version = 2;",
         HistoryOpenStatus::NewerSchema, u"was written by a newer Quorvel; not recorded"_s},
        {"another program's database", "CREATE TABLE contacts (name TEXT);",
         HistoryOpenStatus::Foreign, u"is another program's database; not recorded"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const QString path = dir.path(kName);
        {
            SqliteDatabase db;
            ASSERT_EQ(db.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, {}), SQLITE_OK);
            ASSERT_EQ(db.exec(c.sql), SQLITE_OK);
        }
        const QByteArray before = dir.read(kName);

        const HistoryRunOutcome outcome =
            recordRun(path, kStart, {historyEntry(kPartner, CheckStatus::Found, kStart)});
        EXPECT_EQ(outcome.open.status, c.status);
        EXPECT_EQ(outcome.message,
                  u"history: "_s + QDir::toNativeSeparators(path) + u" "_s + c.says);
        EXPECT_EQ(outcome.runId, 0);
        EXPECT_EQ(outcome.dropped, 1);

        HistoryReader reader(path);
        EXPECT_EQ(reader.outcome().status, c.status);
        EXPECT_FALSE(reader.summaries({kPartner}).ok());

        EXPECT_EQ(dir.read(kName), before);
        EXPECT_EQ(QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files), QStringList{kName});
    }
}

// Runs `body` as a user without the right to write the directory: as root
// (who may write anywhere) in a child process that gives up its rights.
// The body's result is the child's exit status.
bool runUnprivileged(const std::function<bool()>& body) {
    if (geteuid() != 0) {
        return body();
    }
    const pid_t child = fork();
    if (child == 0) {
        const bool dropped = setgid(65534) == 0 && setuid(65534) == 0;
        _exit(dropped && body() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

TEST(HistoryFile, ReadOnlyDirectoryMeansNoHistory) {
    test::TempDir dir;
    const QString readOnly = dir.path(u"ro"_s);
    ASSERT_TRUE(QDir().mkdir(readOnly));
    const QString existing = readOnly + u"/with/"_s + kName;
    ASSERT_TRUE(QDir().mkpath(readOnly + u"/with"_s));
    ASSERT_EQ(
        recordRun(existing, kStart, {historyEntry(kPartner, CheckStatus::Found, kStart)}).written,
        1);
    const QByteArray before = dir.read(u"ro/with/"_s + kName);
    const QStringList directories = {dir.path(u"."_s), readOnly, readOnly + u"/with"_s};
    for (const QString& directory : directories) {
        ASSERT_EQ(chmod(QFile::encodeName(directory).constData(), 0555), 0);
    }
    const QString absent = readOnly + u"/"_s + kName;

    EXPECT_TRUE(runUnprivileged([&] {
        bool ok = true;
        for (const QString& path : {absent, existing}) {
            HistoryRecorder recorder(path, historyTime(kStart + 60));
            recorder.add(historyEntry(kPartner, CheckStatus::Missing, kStart + 60));
            const HistoryRunOutcome outcome = recorder.finish(10s);
            ok = ok && outcome.open.status == HistoryOpenStatus::Unwritable &&
                 outcome.dropped == 1 && outcome.message.startsWith(u"history: cannot write"_s);
        }
        return ok && !QFileInfo::exists(absent);
    }));
    EXPECT_EQ(dir.read(u"ro/with/"_s + kName), before);

    for (const QString& directory : directories) {
        chmod(QFile::encodeName(directory).constData(), 0755);
    }
}

}  // namespace
}  // namespace quorvel
