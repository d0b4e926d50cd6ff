#include "history/history_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <functional>
#include <string>

#include "history/history_reader.h"
#include "history/history_recorder.h"
#include "history/history_schema.h"
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

// A history whose table definition can no longer be read.
QByteArray damagedSchema(const test::TempDir& dir) {
    const QString scratch = dir.path(u"whole.sqlite"_s);
    EXPECT_EQ(
        recordRun(scratch, kStart, {historyEntry(kPartner, CheckStatus::Found, kStart)}).written,
        1);
    QByteArray bytes = dir.read(u"whole.sqlite"_s);
    const qsizetype at = bytes.indexOf("UNIQUE (partner_url, link)");
    EXPECT_GT(at, 0);
    bytes[at + 7] = '[';
    return bytes;
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
        // Its error quotes the schema's lines; the message stays one line.
        {"a broken schema", damagedSchema},
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
        EXPECT_EQ(queryNumber(path, "PRAGMA application_id"), kHistoryApplicationId);
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
        std::string sql;
        HistoryOpenStatus status;
        QString says;
    };
    const Case cases[] = {
        {"a newer schema",
         "CREATE TABLE future (x); PRAGMA user_version = " +
             std::to_string(kHistorySchemaVersion + 1) + ";",
         HistoryOpenStatus::NewerSchema, u"was written by a newer Quorvel; not recorded"_s},
        {"another program's database", "CREATE TABLE contacts (name TEXT);",
         HistoryOpenStatus::Foreign, u"is another program's database; not recorded"_s},
        // Schema versions are every program's to use: only our tables or our
        // mark make a file ours. Neither is switched to WAL or given -wal and
        // -shm files, even one that is in WAL mode already.
        {"another program's database at our version",
         "CREATE TABLE results (x); PRAGMA user_version = 1;", HistoryOpenStatus::Foreign,
         u"is another program's database; not recorded"_s},
        {"another program's database in WAL mode",
         "PRAGMA journal_mode = WAL; CREATE TABLE runs (x); PRAGMA user_version = " +
             std::to_string(kHistorySchemaVersion) + ";",
         HistoryOpenStatus::Foreign, u"is another program's database; not recorded"_s},
        {"another program's mark on our tables",
         "CREATE TABLE runs (x); CREATE TABLE records (x); CREATE TABLE results (x); "
         "CREATE TABLE streaks (x); CREATE TABLE events (x); PRAGMA user_version = 1; "
         "PRAGMA application_id = 7;",
         HistoryOpenStatus::Foreign, u"is another program's database; not recorded"_s},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const QString path = dir.path(kName);
        {
            SqliteDatabase db;
            ASSERT_EQ(db.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, {}), SQLITE_OK);
            ASSERT_EQ(db.exec(c.sql.c_str()), SQLITE_OK);
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

// A history as the first version of the program left it after three runs:
// the partner was found twice and then missing once (one more Missing
// confirms the loss); the other page failed three times and is down.
constexpr char kVersion1Rows[] = R"sql(
INSERT INTO runs VALUES (1, 1700000000), (2, 1700086400), (3, 1700172800);
INSERT INTO records VALUES
    (1, 'http://partner.example/', 'http://mysite.example/', 3, 3, 1700172810, 3, '', 2,
     'found', 1700000000, '', 1, 1700172800, 0, NULL, 1700086410),
    (2, 'http://down.example/', 'http://mysite.example/', 3, 3, 1700172820, 4, 'dns; dns', 3,
     'down', 1700000000, 'dns; dns', 0, NULL, 3, 1700000000, NULL);
INSERT INTO results VALUES
    (1, 1, 1700000010, 1, 12, 0, ''), (1, 2, 1700086410, 1, 12, 0, ''),
    (1, 3, 1700172810, 3, 0, 0, ''), (2, 1, 1700000020, 4, 0, 0, 'dns; dns'),
    (2, 2, 1700086420, 4, 0, 0, 'dns; dns'), (2, 3, 1700172820, 4, 0, 0, 'dns; dns');
INSERT INTO streaks VALUES
    (1, 1, 1, '', 1700000010, 1700086410, 2), (2, 1, 3, '', 1700172810, 1700172810, 1),
    (3, 2, 4, 'dns; dns', 1700000020, 1700172820, 3);
INSERT INTO events VALUES
    (1, 2, 3, 1700172820, 'down', '', 'down', 1700000000, 'dns; dns');
)sql";

void writeVersion1History(const QString& path, const char* extraSql = "") {
    SqliteDatabase db;
    ASSERT_EQ(db.open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, {}), SQLITE_OK);
    ASSERT_EQ(db.exec("PRAGMA journal_mode = WAL"), SQLITE_OK);
    ASSERT_EQ(db.exec("BEGIN"), SQLITE_OK);
    ASSERT_EQ(migrateHistorySchema(db, 0, 1), SQLITE_OK);
    ASSERT_EQ(db.exec(kVersion1Rows), SQLITE_OK) << db.errorText().toStdString();
    ASSERT_EQ(db.exec(extraSql), SQLITE_OK) << db.errorText().toStdString();
    ASSERT_EQ(db.exec("COMMIT"), SQLITE_OK);
}

// An older history is read as it is and migrated by the next run, which
// carries on from the states and streaks it kept.
TEST(HistoryFile, OlderVersionIsReadAsItIsAndMigratedByARun) {
    test::TempDir dir;
    const QString path = dir.path(kName);
    writeVersion1History(path);
    const RecordIdentity down{u"http://down.example/"_s, kPartner.link};
    const qint64 run4 = 1'700'259'200;

    const QByteArray before = dir.read(kName);
    {
        HistoryReader reader(path);
        ASSERT_EQ(reader.outcome().status, HistoryOpenStatus::Opened);
        const Outcome<QList<RecordSummary>> summaries = reader.summaries({kPartner, down});
        ASSERT_TRUE(summaries.ok()) << summaries.error.toStdString();
        EXPECT_EQ(summaries.value[0].checks, 3);
        EXPECT_EQ(summaries.value[0].state, ConfirmedState::Found);
        EXPECT_EQ(summaries.value[0].lastStatus, CheckStatus::Missing);
        EXPECT_TRUE(summaries.value[0].lastSignals.isEmpty());
        EXPECT_EQ(summaries.value[0].lastReciprocal, CheckStatus::None);
        EXPECT_EQ(summaries.value[0].reciprocalState, ConfirmedState::None);
        EXPECT_EQ(reader.recordHistory(down).value.events.size(), 1);
    }
    EXPECT_EQ(queryNumber(path, "PRAGMA user_version"), 1) << "reading does not migrate";
    EXPECT_EQ(dir.read(kName), before);
    EXPECT_EQ(queryNumber(path, "PRAGMA application_id"), 0) << "written before the mark";

    HistoryEntry partnerCheck = historyEntry(kPartner, CheckStatus::Missing, run4 + 10);
    partnerCheck.pageSignals = PageSignal::MetaNofollow;
    partnerCheck.reciprocal = CheckStatus::Found;
    const HistoryRunOutcome outcome =
        recordRun(path, run4, {partnerCheck, historyEntry(down, CheckStatus::Found, run4 + 20)});
    EXPECT_EQ(outcome.open.status, HistoryOpenStatus::Opened);
    EXPECT_TRUE(outcome.message.isEmpty()) << outcome.message.toStdString();
    EXPECT_EQ(outcome.written, 2);
    EXPECT_EQ(queryNumber(path, "PRAGMA user_version"), kHistorySchemaVersion);
    EXPECT_EQ(queryNumber(path, "PRAGMA application_id"), kHistoryApplicationId);

    // Every old row is kept; the old checks read as checks without the new facts.
    EXPECT_EQ(queryNumber(path, "SELECT count(*) FROM results"), 8);
    EXPECT_EQ(queryNumber(path,
                          "SELECT count(*) FROM results WHERE run <= 3 AND signals = '' "
                          "AND reciprocal = 0 AND overdue = 0"),
              6);
    EXPECT_EQ(queryNumber(path, "SELECT sum(checks) FROM streaks"), 8);

    HistoryReader reader(path);
    const QList<RunEvent> events = reader.eventsOfRun(outcome.runId).value;
    ASSERT_EQ(events.size(), 2);
    EXPECT_EQ(events[0].event.change, ChangeKind::Lost) << "the kept missing streak confirms";
    EXPECT_EQ(events[0].event.since, historyTime(1'700'172'800));
    EXPECT_EQ(events[1].event.change, ChangeKind::Up);
    EXPECT_EQ(events[1].event.previous, ConfirmedState::Down);

    const RecordSummary partner = reader.summaries({kPartner}).value.value(0);
    EXPECT_EQ(partner.checks, 4);
    EXPECT_EQ(partner.lastFound, historyTime(1'700'086'410));
    EXPECT_EQ(partner.lastSignals, QStringList{u"meta-nofollow"_s});
    EXPECT_EQ(partner.reciprocalState, ConfirmedState::Found);
    EXPECT_EQ(partner.reciprocalSince, historyTime(run4));
    const QList<HistoryEvent> downEvents = reader.recordHistory(down).value.events;
    ASSERT_EQ(downEvents.size(), 2);
    EXPECT_EQ(downEvents[1].change, ChangeKind::Down);
    EXPECT_EQ(downEvents[1].reason, u"dns; dns"_s);
}

// A file of every earlier version (none at all is version 0) is read as it
// is, then brought to the current one by a run: its runs and checks stay,
// the runs recorded before read as of no known source, and the new run is
// the window's.
TEST(HistoryFile, EveryEarlierVersionIsMigratedByARun) {
    for (int version = 0; version < kHistorySchemaVersion; ++version) {
        SCOPED_TRACE(version);
        test::TempDir dir;
        const QString path = dir.path(kName);
        qsizetype oldChecks = 0;
        if (version > 0) {
            writeVersion1History(path);
            SqliteDatabase db;
            ASSERT_EQ(db.open(path, SQLITE_OPEN_READWRITE, {}), SQLITE_OK);
            ASSERT_EQ(db.exec("BEGIN"), SQLITE_OK);
            ASSERT_EQ(migrateHistorySchema(db, 1, version), SQLITE_OK);
            ASSERT_EQ(db.exec("COMMIT"), SQLITE_OK);
            oldChecks = 3;
            HistoryReader reader(path);
            const Outcome<RecordHistory> read = reader.recordHistory(kPartner);
            ASSERT_TRUE(read.ok()) << read.error.toStdString();
            ASSERT_EQ(read.value.checks.size(), 3);
            EXPECT_EQ(read.value.checks[0].status, CheckStatus::Missing) << "newest first";
            EXPECT_EQ(read.value.checks[2].checkedAt, historyTime(1'700'000'010));
            EXPECT_EQ(read.value.checks[2].count, 12);
            EXPECT_EQ(read.value.checks[2].source, RunSource::Unknown);
        }
        const qint64 run = 1'700'259'200;
        HistoryEntry found = historyEntry(kPartner, CheckStatus::Found, run + 10);
        found.anchor = u"окна"_s;
        found.external = 3;
        const HistoryRunOutcome outcome =
            recordRun(path, run, {found}, {.source = RunSource::Window});
        EXPECT_TRUE(outcome.message.isEmpty()) << outcome.message.toStdString();
        EXPECT_EQ(queryNumber(path, "PRAGMA user_version"), kHistorySchemaVersion);
        EXPECT_EQ(queryNumber(path, "SELECT count(*) FROM runs WHERE source = ''"),
                  version > 0 ? 3 : 0);

        HistoryReader reader(path);
        const QList<PastCheck> checks = reader.recordHistory(kPartner).value.checks;
        ASSERT_EQ(checks.size(), oldChecks + 1);
        EXPECT_EQ(checks[0].checkedAt, historyTime(run + 10));
        EXPECT_EQ(checks[0].source, RunSource::Window);
        EXPECT_EQ(checks[0].anchor, u"окна"_s);
        EXPECT_EQ(checks[0].external, 3);
        for (qsizetype i = 1; i < checks.size(); ++i) {
            EXPECT_EQ(checks[i].source, RunSource::Unknown);
            EXPECT_TRUE(checks[i].anchor.isEmpty());
            EXPECT_EQ(checks[i].external, -1);
        }
        // The text of the link before the history kept it is not known: the
        // first one kept is no change.
        EXPECT_TRUE(reader.eventsOfRun(outcome.runId).value.isEmpty());
        EXPECT_EQ(reader.summaries({kPartner}).value.value(0).lastAnchor, u"окна"_s);
    }
}

// A migration that cannot finish leaves no half-migrated file: it is one
// transaction, and the file stays as the older program left it.
TEST(HistoryFile, AMigrationThatFailsLeavesTheFileAsItWas) {
    test::TempDir dir;
    const QString path = dir.path(kName);
    // A column in the way of one of the later steps.
    writeVersion1History(path, "ALTER TABLE records ADD COLUMN reciprocal_state TEXT;");

    const HistoryRunOutcome outcome =
        recordRun(path, kStart + 4 * 86'400, {historyEntry(kPartner, CheckStatus::Found, kStart)});
    EXPECT_EQ(outcome.open.status, HistoryOpenStatus::Failed);
    EXPECT_TRUE(outcome.message.contains(u"duplicate column name"_s))
        << outcome.message.toStdString();
    EXPECT_EQ(outcome.dropped, 1);

    EXPECT_EQ(queryNumber(path, "PRAGMA user_version"), 1);
    EXPECT_EQ(queryNumber(path,
                          "SELECT count(*) FROM pragma_table_info('results') "
                          "WHERE name = 'signals'"),
              0)
        << "the steps before the failing one are undone too";
    EXPECT_EQ(queryNumber(path, "SELECT count(*) FROM results"), 6);
    EXPECT_FALSE(QFileInfo::exists(path + u".bad"_s)) << "a file we cannot migrate is not damaged";
}

// Directory rights and other users are POSIX's.
#ifndef Q_OS_WIN
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

// A directory we may not write holds no new history and takes no run, but
// a history in it is read as it is: from its WAL when another user's program
// has the shared index open, from the file alone when nobody has.
TEST(HistoryFile, ReadOnlyDirectoryIsReadButNeverWritten) {
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
    EXPECT_EQ(QDir(readOnly + u"/with"_s).entryList(QDir::Files), QStringList{kName});

    const auto readsChecks = [&](qint64 checks) {
        return runUnprivileged([&] {
            HistoryReader reader(existing);
            const Outcome<QList<RecordSummary>> read = reader.summaries({kPartner});
            return reader.outcome().status == HistoryOpenStatus::Opened && read.ok() &&
                   read.value.value(0).checks == checks &&
                   read.value.value(0).lastStatus == CheckStatus::Found;
        });
    };
    // The owner's program writes and keeps its -wal and -shm files open.
    {
        SqliteDatabase owner;
        ASSERT_EQ(owner.open(existing, SQLITE_OPEN_READWRITE, {}), SQLITE_OK);
        ASSERT_EQ(owner.exec("PRAGMA wal_autocheckpoint = 0; UPDATE records SET checks = 5"),
                  SQLITE_OK);
        EXPECT_TRUE(readsChecks(5)) << "the latest commit, from the WAL";
    }
    const QByteArray checkpointed = dir.read(u"ro/with/"_s + kName);
    EXPECT_TRUE(readsChecks(5)) << "the file alone";
    EXPECT_EQ(dir.read(u"ro/with/"_s + kName), checkpointed);
    EXPECT_EQ(QDir(readOnly + u"/with"_s).entryList(QDir::Files), QStringList{kName});

    for (const QString& directory : directories) {
        chmod(QFile::encodeName(directory).constData(), 0755);
    }
}
#endif

// Changes bytes of the page where the named table or index starts (a small
// one lies whole in it): the first `from` found there becomes `to`.
void patchRootPage(const test::TempDir& dir, const char* object, const QByteArray& from,
                   const QByteArray& to) {
    const QString path = dir.path(kName);
    const std::string root =
        "SELECT rootpage FROM sqlite_schema WHERE name = '" + std::string(object) + "'";
    const qint64 pageSize = queryNumber(path, "PRAGMA page_size");
    const qint64 start = (queryNumber(path, root.c_str()) - 1) * pageSize;
    QByteArray bytes = dir.read(kName);
    const qsizetype at = bytes.indexOf(from, start);
    ASSERT_TRUE(at >= start && at + from.size() <= start + pageSize) << object;
    bytes.replace(at, from.size(), to);
    dir.write(kName, bytes);
}

// Damage that the quick check at the start of a run does not see, met by a
// write: the full check finds it, and the write goes on in a mended file
// (indexes rebuilt from their tables) or, when the tables themselves
// disagree with the index, in a new one. No check of the run is lost.
TEST(HistoryFile, DamageThatAWriteMeetsIsMendedAndNoCheckIsLost) {
    struct Case {
        const char* name;
        const char* object;
        QByteArray from;
        QByteArray to;
        const char* says;
        bool movedAside;
    };
    const QByteArray link = kPartner.link.toUtf8();
    const Case cases[] = {
        // Record 2's index entry leads to record 3: its check would land on
        // record 3's row, which has its result of this run already.
        {"a rowid flipped in the unique index", "sqlite_autoindex_records_1",
         "http://p2.example/" + link + '\x02', "http://p2.example/" + link + '\x03',
         " had a damaged index (row 2 missing from index sqlite_autoindex_records_1); "
         "rebuilt it",
         false},
        // Record 2's row holds record 3's address: no index can hold both.
        {"two rows of one identity", "records", "http://p2.example/", "http://p3.example/",
         " was damaged (row 2 missing from index sqlite_autoindex_records_1); moved aside to ",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const QString path = dir.path(kName);
        std::vector<HistoryEntry> run;
        for (int i = 1; i <= 5; ++i) {
            run.push_back(historyEntry({u"http://p%1.example/"_s.arg(i), kPartner.link},
                                       CheckStatus::Found, kStart));
        }
        ASSERT_EQ(recordRun(path, kStart, run).written, 5);
        patchRootPage(dir, c.object, c.from, c.to);
        ASSERT_EQ(queryNumber(path,
                              "SELECT count(*) FROM pragma_quick_check WHERE quick_check = "
                              "'ok'"),
                  1);

        // The same day: no full check at the start or the end of the run.
        const qint64 later = kStart + 3600;
        for (HistoryEntry& entry : run) {
            entry.checkedAt = historyTime(later);
        }
        const HistoryRunOutcome outcome = recordRun(path, later, run);
        EXPECT_EQ(outcome.written, 5);
        EXPECT_EQ(outcome.dropped, 0);
        EXPECT_TRUE(outcome.message.startsWith(u"history: "_s + QDir::toNativeSeparators(path) +
                                               QString::fromLatin1(c.says)))
            << outcome.message.toStdString();
        EXPECT_FALSE(outcome.message.contains(u'\n'));
        EXPECT_EQ(queryNumber(path,
                              "SELECT count(*) FROM pragma_integrity_check WHERE "
                              "integrity_check = 'ok'"),
                  1);
        // Every identity has its check of this run, on its own row.
        EXPECT_EQ(queryNumber(path,
                              "SELECT count(DISTINCT r.partner_url) FROM results s JOIN records r "
                              "ON r.id = s.record WHERE s.run = (SELECT max(id) FROM runs)"),
                  5);
        EXPECT_EQ(queryNumber(path, "SELECT count(*) FROM records"), 5);
        if (c.movedAside) {
            EXPECT_EQ(outcome.open.status, HistoryOpenStatus::Recovered);
            EXPECT_EQ(outcome.open.movedTo, path + u".bad"_s);
            EXPECT_EQ(queryNumber(path, "SELECT count(*) FROM results"), 5);
            EXPECT_EQ(queryNumber(path + u".bad"_s, "SELECT count(*) FROM results"), 5);
        } else {
            EXPECT_EQ(outcome.open.status, HistoryOpenStatus::Opened);
            EXPECT_EQ(queryNumber(path, "SELECT min(checks) FROM records"), 2);
        }
    }
}

// Damage that no write meets is found by the full check, which runs after
// the first run of each day only (it reads the whole file).
TEST(HistoryFile, TheFirstRunOfADayEndsWithTheFullCheck) {
    test::TempDir dir;
    const QString path = dir.path(kName);
    const RecordIdentity other{u"http://p2.example/"_s, kPartner.link};
    ASSERT_EQ(recordRun(path, kStart,
                        {historyEntry(kPartner, CheckStatus::Found, kStart),
                         historyEntry(other, CheckStatus::Found, kStart)})
                  .written,
              2);
    const QByteArray link = kPartner.link.toUtf8();
    patchRootPage(dir, "sqlite_autoindex_records_1", "http://p2.example/" + link + '\x02',
                  "http://p2.example/" + link + '\x07');
    const char* sound = "SELECT count(*) FROM pragma_integrity_check WHERE integrity_check = 'ok'";

    const qint64 sameDay = kStart + 60;
    const HistoryRunOutcome quiet =
        recordRun(path, sameDay, {historyEntry(kPartner, CheckStatus::Found, sameDay)});
    EXPECT_TRUE(quiet.message.isEmpty()) << quiet.message.toStdString();
    EXPECT_EQ(queryNumber(path, sound), 0) << "not checked twice in a day";

    const qint64 nextDay = kStart + 86'400;
    const HistoryRunOutcome checked =
        recordRun(path, nextDay, {historyEntry(kPartner, CheckStatus::Found, nextDay)});
    EXPECT_EQ(checked.written, 1);
    EXPECT_EQ(checked.message, u"history: "_s + QDir::toNativeSeparators(path) +
                                   u" had a damaged index (row 2 missing from index "
                                   "sqlite_autoindex_records_1); rebuilt it"_s);
    EXPECT_EQ(queryNumber(path, sound), 1);
}

#ifndef Q_OS_WIN
// A link to a history elsewhere is followed; a link to nothing is refused,
// since opening it would create a file wherever it points. (Linux: QFile::link
// makes a shortcut on Windows, which is no link to the file system.)
TEST(HistoryFile, ALinkToNothingIsRefused) {
    test::TempDir dir;
    ASSERT_TRUE(QDir().mkpath(dir.path(u"lists"_s)));
    ASSERT_TRUE(QDir().mkpath(dir.path(u"elsewhere"_s)));
    const QString link = dir.path(u"lists/"_s + kName);
    const QString target = dir.path(u"elsewhere/"_s + kName);
    ASSERT_TRUE(QFile::link(target, link));

    const HistoryRunOutcome refused =
        recordRun(link, kStart, {historyEntry(kPartner, CheckStatus::Found, kStart)});
    EXPECT_EQ(refused.open.status, HistoryOpenStatus::Failed);
    EXPECT_EQ(refused.message, u"history: "_s + QDir::toNativeSeparators(link) +
                                   u" is a link to "_s + QDir::toNativeSeparators(target) +
                                   u", which does not exist; not recorded"_s);
    EXPECT_EQ(refused.dropped, 1);
    EXPECT_FALSE(QFileInfo::exists(target));
    EXPECT_EQ(HistoryReader(link).outcome().status, HistoryOpenStatus::Absent);
    EXPECT_FALSE(QFileInfo::exists(target));

    ASSERT_EQ(
        recordRun(target, kStart, {historyEntry(kPartner, CheckStatus::Found, kStart)}).written, 1);
    const HistoryRunOutcome followed =
        recordRun(link, kStart + 60, {historyEntry(kPartner, CheckStatus::Found, kStart + 60)});
    EXPECT_EQ(followed.open.status, HistoryOpenStatus::Opened);
    EXPECT_EQ(followed.written, 1);
    EXPECT_EQ(queryNumber(target, "SELECT count(*) FROM results"), 2);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
}
#endif

}  // namespace
}  // namespace quorvel
