#include "history/history_file.h"

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <chrono>
#include <thread>

#include "history/history_schema.h"
#include "records/file_io.h"

namespace quorvel {

using namespace Qt::StringLiterals;

namespace {

enum class Problem { None, Damaged, Newer, Foreign, Unwritable, Failed };

struct Attempt {
    SqliteDatabase db;
    Problem problem = Problem::None;
    QString why;           // for Damaged and Failed
    int code = SQLITE_OK;  // the SQLite result code behind `why`
    int version = 0;       // the file's user_version before any migration
};

Problem problemOf(int code) {
    return isDamageCode(code)       ? Problem::Damaged
           : isUnwritableCode(code) ? Problem::Unwritable
                                    : Problem::Failed;
}

// Fails `attempt` with the connection's last error.
void fail(Attempt& attempt, int code) {
    attempt.problem = problemOf(code);
    attempt.code = code;
    attempt.why = attempt.db.errorText();
}

// The first row of a query: its first column as a number and a text; or
// the error code.
struct Value {
    int code = SQLITE_OK;
    qint64 number = 0;
    QString text;
};
Value queryValue(SqliteDatabase& db, const char* sql) {
    SqliteStatement statement(db, sql);
    if (!statement.ok()) {
        return {db.errorCode(), 0, {}};
    }
    const int rc = statement.step();
    if (rc == SQLITE_ROW) {
        return {SQLITE_OK, statement.int64At(0), statement.textAt(0)};
    }
    return {rc == SQLITE_DONE ? SQLITE_OK : db.errorCode(), 0, {}};
}

// A check's finding as one line of a message: the checks put the name of
// the database on a line of its own before what they found there.
QString oneLine(const QString& finding) {
    return finding.simplified();
}

// What the file says of itself, read in one statement so that all of it
// comes from the same state of the file.
struct Facts {
    int code = SQLITE_OK;
    qint64 version = 0;
    qint64 applicationId = 0;
    qint64 objects = 0;    // schema objects of any kind
    qint64 ourTables = 0;  // how many of the history's tables it has
};
constexpr char kSchemaFacts[] =
    "SELECT user_version, application_id, (SELECT count(*) FROM sqlite_schema), "
    "(SELECT count(*) FROM sqlite_schema WHERE type = 'table' AND name IN "
    "('runs', 'records', 'results', 'streaks', 'events')) "
    "FROM pragma_user_version, pragma_application_id";
constexpr qint64 kHistoryTables = 5;

Facts readFacts(SqliteDatabase& db) {
    SqliteStatement statement(db, kSchemaFacts);
    if (!statement.ok()) {
        return {db.errorCode()};
    }
    const int rc = statement.step();
    if (rc != SQLITE_ROW) {
        return {rc == SQLITE_DONE ? SQLITE_INTERNAL : db.errorCode()};
    }
    return {SQLITE_OK, statement.int64At(0), statement.int64At(1), statement.int64At(2),
            statement.int64At(3)};
}

// What those facts forbid: a newer schema, or somebody else's database under
// our name; neither is ours to change. Our files carry our mark; files
// written before the mark are known by their version and their tables, and
// an unmarked file without any schema is a new one.
Problem schemaProblem(const Facts& facts) {
    const bool marked = facts.applicationId == kHistoryApplicationId;
    if (facts.applicationId != 0 && !marked) {
        return Problem::Foreign;
    }
    if (facts.version > kHistorySchemaVersion) {
        return Problem::Newer;
    }
    if (marked || (facts.version == 0 && facts.objects == 0)) {
        return Problem::None;
    }
    return facts.version > 0 && facts.ourTables == kHistoryTables ? Problem::None
                                                                  : Problem::Foreign;
}

// The file as an SQLite URI that reads it as it lies on the disk: no lock,
// no -wal or -shm file made or read, nothing written.
QString immutableUri(const QString& path) {
    QString absolute = QFileInfo(path).absoluteFilePath();
    if (!absolute.startsWith(u'/')) {
        absolute.prepend(u'/');  // a drive letter
    }
    return u"file:"_s + QString::fromLatin1(QUrl::toPercentEncoding(absolute, "/:")) +
           u"?immutable=1"_s;
}

// A look at an existing file before any open that could change it: another
// program's database or a newer history is refused here, byte for byte as
// it was, without the -wal and -shm files that opening a WAL database
// leaves. Whatever the look cannot tell (a damaged file, a torn read while
// another program writes) is left to the real open.
Problem lookBeforeOpening(const QString& path) {
    SqliteDatabase db;
    if (db.open(immutableUri(path), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, {}) != SQLITE_OK) {
        return Problem::None;
    }
    const Facts facts = readFacts(db);
    if (facts.code != SQLITE_OK) {
        return Problem::None;
    }
    return schemaProblem(facts);
}

// Brings the file to our schema and marks it as ours, in one transaction.
// Another program may have created or migrated it while we waited for the
// lock, so the facts are read again inside.
void migrate(Attempt& attempt) {
    SqliteDatabase& db = attempt.db;
    if (const int rc = db.exec("BEGIN IMMEDIATE"); rc != SQLITE_OK) {
        return fail(attempt, rc);
    }
    const Facts facts = readFacts(db);
    int rc = facts.code;
    if (rc == SQLITE_OK && schemaProblem(facts) != Problem::None) {
        db.exec("ROLLBACK");
        attempt.problem = schemaProblem(facts);
        return;
    }
    if (rc == SQLITE_OK && facts.version < kHistorySchemaVersion) {
        rc = migrateHistorySchema(db, int(facts.version));
    }
    if (rc == SQLITE_OK && facts.applicationId != kHistoryApplicationId) {
        const QByteArray mark =
            "PRAGMA application_id = " + QByteArray::number(kHistoryApplicationId);
        rc = db.exec(mark.constData());
    }
    if (rc == SQLITE_OK) {
        rc = db.exec("COMMIT");
    }
    if (rc != SQLITE_OK) {
        fail(attempt, rc);
        db.exec("ROLLBACK");
    }
}

// Whether a reader's failure means that WAL's shared index (the -shm file)
// can be neither made nor used, as in a directory the reader may not write.
bool sharedIndexUnavailable(int code) {
    const int primary = code & 0xff;
    return primary == SQLITE_READONLY || primary == SQLITE_CANTOPEN;
}

void attemptOpen(Attempt& attempt, const QString& path, OpenPurpose purpose,
                 const ConnectionOptions& options) {
    SqliteDatabase& db = attempt.db;
    // A reader never writes: it opens the file read-only, so it works on a
    // file it may not change and never waits for a writer's lock.
    const int flags = purpose == OpenPurpose::Run ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE
                                                  : SQLITE_OPEN_READONLY;
    int rc = db.open(path, flags, options);
    if (rc != SQLITE_OK) {
        return fail(attempt, rc);
    }

    // The first read of the file: a file that is not a database fails here.
    Facts facts = readFacts(db);
    if (facts.code != SQLITE_OK && purpose == OpenPurpose::Reading &&
        sharedIndexUnavailable(facts.code)) {
        // The file as it lies on the disk, without what a writer has in its
        // -wal file and not checkpointed yet: the best a reader can do here.
        rc = db.open(immutableUri(path), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, options);
        if (rc != SQLITE_OK) {
            return fail(attempt, rc);
        }
        facts = readFacts(db);
    }
    if (facts.code != SQLITE_OK) {
        return fail(attempt, facts.code);
    }
    attempt.version = int(facts.version);
    attempt.problem = schemaProblem(facts);
    if (attempt.problem != Problem::None) {
        return;
    }
    if (purpose == OpenPurpose::Run) {
        // quick_check reads every page but skips the costly index
        // cross-checks; enough to catch a truncated or overwritten file.
        const Value check = queryValue(db, "PRAGMA quick_check(1)");
        if (check.code != SQLITE_OK) {
            return fail(attempt, check.code);
        }
        if (check.text != u"ok") {
            attempt.problem = Problem::Damaged;
            attempt.why = oneLine(check.text);
            return;
        }
        // WAL lets the window and a cron job write at once while readers go
        // on; NORMAL loses at most the last transactions on a power cut,
        // never the file.
        if (rc = db.exec("PRAGMA journal_mode = WAL"); rc != SQLITE_OK) {
            return fail(attempt, rc);
        }
        if (rc = db.exec("PRAGMA synchronous = NORMAL"); rc != SQLITE_OK) {
            return fail(attempt, rc);
        }
        if (attempt.version < kHistorySchemaVersion ||
            facts.applicationId != kHistoryApplicationId) {
            migrate(attempt);
        }
    }
    // A reader takes an older file as it is (the reader knows each version's
    // columns) and leaves its migration to the next run.
}

// Some steps of opening do not wait through the busy handler: switching a
// new file to WAL while another program does the same, or reading while
// another connection recovers the WAL. Those are retried whole here, for
// as long as the busy timeout allows.
void openPatiently(Attempt& attempt, const QString& path, OpenPurpose purpose,
                   const ConnectionOptions& options) {
    const auto deadline = std::chrono::steady_clock::now() + options.busyTimeout;
    for (;;) {
        attempt = Attempt();
        attemptOpen(attempt, path, purpose, options);
        const bool busy =
            attempt.problem == Problem::Failed && (attempt.code & 0xff) == SQLITE_BUSY;
        if (!busy || attempt.db.abandoned() || std::chrono::steady_clock::now() >= deadline) {
            return;
        }
        attempt.db.close();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

}  // namespace

OpenedHistory openHistory(const QString& path, OpenPurpose purpose,
                          const ConnectionOptions& options) {
    OpenedHistory opened;
    HistoryOpenOutcome& outcome = opened.outcome;
    const QString tail = purpose == OpenPurpose::Run ? u"; not recorded"_s : u"; not read"_s;
    const QFileInfo info(path);

    if (purpose == OpenPurpose::Reading && !info.exists()) {
        outcome.status = HistoryOpenStatus::Absent;
        return opened;
    }
    if (info.isSymLink() && !info.exists()) {
        // SQLite would create the file at the link's target, wherever that is.
        outcome.status = HistoryOpenStatus::Failed;
        outcome.message = u"history: "_s + shown(path) + u" is a link to "_s +
                          shown(info.symLinkTarget()) + u", which does not exist"_s + tail;
        return opened;
    }
    if (info.exists() && !info.isFile()) {
        outcome.status = HistoryOpenStatus::Failed;
        outcome.message = u"history: "_s + shown(path) + u" is not a regular file"_s + tail;
        return opened;
    }
    if (purpose == OpenPurpose::Run) {
        const QFileInfo directory(info.absolutePath());
        if (!directory.isDir() || !directory.isWritable()) {
            outcome.status = HistoryOpenStatus::Unwritable;
            outcome.message = u"history: cannot write in "_s + shown(directory.filePath()) + tail;
            return opened;
        }
    }

    Attempt attempt;
    if (info.exists()) {
        attempt.problem = lookBeforeOpening(path);
    }
    if (attempt.problem == Problem::None) {
        openPatiently(attempt, path, purpose, options);
    }
    if (attempt.problem != Problem::None) {
        attempt.db.closeUntouched();
    }
    if (attempt.problem == Problem::Damaged && purpose == OpenPurpose::Run) {
        const Outcome<QString> moved = moveHistoryAside(path);
        if (!moved) {
            outcome.status = HistoryOpenStatus::Failed;
            outcome.message = u"history: "_s + shown(path) + u" is damaged ("_s + attempt.why +
                              u") and could not be moved aside ("_s + moved.error + u")"_s + tail;
            return opened;
        }
        outcome.movedTo = moved.value;
        const QString why = attempt.why;
        openPatiently(attempt, path, purpose, options);
        if (attempt.problem == Problem::None) {
            outcome.status = HistoryOpenStatus::Recovered;
            outcome.message = u"history: "_s + shown(path) + u" was damaged ("_s + why +
                              u"); moved aside to "_s + shown(outcome.movedTo) +
                              u"; started a new one"_s;
            opened.db = std::move(attempt.db);
            return opened;
        }
    }

    switch (attempt.problem) {
        case Problem::None:
            if (purpose == OpenPurpose::Reading && attempt.version == 0) {
                outcome.status = HistoryOpenStatus::Absent;
                return opened;
            }
            outcome.status =
                attempt.version == 0 ? HistoryOpenStatus::Created : HistoryOpenStatus::Opened;
            opened.db = std::move(attempt.db);
            return opened;
        case Problem::Newer:
            outcome.status = HistoryOpenStatus::NewerSchema;
            outcome.message =
                u"history: "_s + shown(path) + u" was written by a newer Quorvel"_s + tail;
            return opened;
        case Problem::Foreign:
            outcome.status = HistoryOpenStatus::Foreign;
            outcome.message =
                u"history: "_s + shown(path) + u" is another program's database"_s + tail;
            return opened;
        case Problem::Unwritable:
            if (purpose == OpenPurpose::Reading) {
                break;  // a reader writes nothing: the file cannot be read
            }
            outcome.status = HistoryOpenStatus::Unwritable;
            outcome.message =
                u"history: cannot write "_s + shown(path) + u" ("_s + attempt.why + u")"_s + tail;
            return opened;
        case Problem::Damaged:
            outcome.status = HistoryOpenStatus::Failed;
            outcome.message =
                u"history: "_s + shown(path) + u" is damaged ("_s + attempt.why + u")"_s + tail;
            return opened;
        case Problem::Failed:
            break;
    }
    outcome.status = HistoryOpenStatus::Failed;
    outcome.message =
        (purpose == OpenPurpose::Run ? u"history: cannot open "_s : u"history: cannot read "_s) +
        shown(path) + u" ("_s + attempt.why + u")"_s +
        (purpose == OpenPurpose::Run ? tail : QString());
    return opened;
}

OpenedHistory replaceDamagedHistory(const QString& path, const QString& why,
                                    const ConnectionOptions& options) {
    const Outcome<QString> moved = moveHistoryAside(path);
    if (!moved) {
        OpenedHistory failed;
        failed.outcome.message = u"history: "_s + shown(path) + u" is damaged ("_s + why +
                                 u") and could not be moved aside ("_s + moved.error + u")"_s;
        return failed;
    }
    const QString& movedTo = moved.value;
    OpenedHistory opened = openHistory(path, OpenPurpose::Run, options);
    if (opened.outcome.usable()) {
        opened.outcome.status = HistoryOpenStatus::Recovered;
        opened.outcome.movedTo = movedTo;
        opened.outcome.message = u"history: "_s + shown(path) + u" was damaged ("_s + why +
                                 u"); moved aside to "_s + shown(movedTo) +
                                 u"; started a new one"_s;
    }
    return opened;
}

namespace {

// One integrity check, its first finding or why it did not finish.
IntegrityCheck integrityOnce(SqliteDatabase& db) {
    using Result = IntegrityCheck::Result;
    const Value first = queryValue(db, "PRAGMA integrity_check(1)");
    if (first.code != SQLITE_OK) {
        return {isDamageCode(first.code) ? Result::Damaged : Result::Unfinished, db.errorText()};
    }
    return {first.text == u"ok" ? Result::Sound : Result::Damaged, oneLine(first.text)};
}

}  // namespace

IntegrityCheck checkIntegrity(SqliteDatabase& db) {
    using Result = IntegrityCheck::Result;
    const IntegrityCheck first = integrityOnce(db);
    if (first.result != Result::Damaged) {
        return first;
    }
    // The tables hold the history; an index is only a way into them, and
    // REINDEX builds each one again from its table. When that fails (a
    // damaged table, or rows the index cannot hold) or leaves other faults,
    // the file is beyond mending here.
    if (const int rc = db.exec("REINDEX"); rc != SQLITE_OK) {
        const bool beyond = isDamageCode(rc) || (rc & 0xff) == SQLITE_CONSTRAINT;
        return {beyond ? Result::Damaged : Result::Unfinished, beyond ? first.why : db.errorText()};
    }
    const IntegrityCheck again = integrityOnce(db);
    if (again.result == Result::Sound) {
        return {Result::Rebuilt, first.why};
    }
    return again;
}

bool fullCheckDue(SqliteDatabase& db, qint64 runId) {
    SqliteStatement due(db,
                        "SELECT coalesce((SELECT started / 86400 FROM runs WHERE id = ?1) > "
                        "(SELECT max(started) / 86400 FROM runs WHERE id < ?1), 1)");
    if (!due.ok()) {
        return false;
    }
    due.bind(1, runId);
    return due.step() == SQLITE_ROW && due.int64At(0) != 0;
}

Outcome<QString> moveHistoryAside(const QString& path) {
    static constexpr QStringView kCompanions[] = {u"-wal", u"-shm"};
    return useNextFreeName(path, u".bad", [&path](const QString& target, QString* why) {
        for (QStringView companion : kCompanions) {
            if (nameTaken(target + companion)) {
                return NameUse::Taken;
            }
        }
        // QFile::rename never replaces an existing file, so a name taken
        // meanwhile only sends us on to the next one.
        if (!QFile::rename(path, target)) {
            *why = u"cannot rename it"_s;
            return nameTaken(target) ? NameUse::Taken : NameUse::Failed;
        }
        for (QStringView companion : kCompanions) {
            const QString from = path + companion;
            if (nameTaken(from) && !QFile::rename(from, target + companion)) {
                *why = u"cannot rename "_s + shown(from);
                return NameUse::Failed;
            }
        }
        return NameUse::Done;
    });
}

}  // namespace quorvel
