#include "history/history_file.h"

#include <sqlite3.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

// The first row of a query: its first column as a number and a text, its
// second as a number; or the error code.
struct Value {
    int code = SQLITE_OK;
    qint64 number = 0;
    QString text;
    qint64 second = 0;
};
Value queryValue(SqliteDatabase& db, const char* sql) {
    SqliteStatement statement(db, sql);
    if (!statement.ok()) {
        return {db.errorCode(), 0, {}, 0};
    }
    const int rc = statement.step();
    if (rc == SQLITE_ROW) {
        return {SQLITE_OK, statement.int64At(0), statement.textAt(0), statement.int64At(1)};
    }
    return {rc == SQLITE_DONE ? SQLITE_OK : db.errorCode(), 0, {}, 0};
}

// The schema version and the number of schema objects, read in one
// statement so that both come from the same state of the file: our own
// migration sets both in one transaction, so version 0 with objects is
// somebody else's database.
constexpr char kSchemaFacts[] =
    "SELECT user_version, (SELECT count(*) FROM sqlite_schema) FROM pragma_user_version";

// What those facts forbid: a newer schema, or somebody else's database under
// our name; neither is ours to change.
Problem schemaProblem(const Value& facts) {
    if (facts.number > kHistorySchemaVersion) {
        return Problem::Newer;
    }
    return facts.number == 0 && facts.second > 0 ? Problem::Foreign : Problem::None;
}

// Brings the file to our schema in one transaction. Another program may
// have created or migrated it while we waited for the lock, so the facts
// are read again inside.
void migrate(Attempt& attempt) {
    SqliteDatabase& db = attempt.db;
    if (const int rc = db.exec("BEGIN IMMEDIATE"); rc != SQLITE_OK) {
        return fail(attempt, rc);
    }
    const Value version = queryValue(db, kSchemaFacts);
    int rc = version.code;
    if (rc == SQLITE_OK && schemaProblem(version) != Problem::None) {
        db.exec("ROLLBACK");
        attempt.problem = schemaProblem(version);
        return;
    }
    if (rc == SQLITE_OK && version.number < kHistorySchemaVersion) {
        rc = migrateHistorySchema(db, int(version.number));
    }
    if (rc == SQLITE_OK) {
        rc = db.exec("COMMIT");
    }
    if (rc != SQLITE_OK) {
        fail(attempt, rc);
        db.exec("ROLLBACK");
    }
}

void attemptOpen(Attempt& attempt, const QString& path, OpenPurpose purpose,
                 const ConnectionOptions& options) {
    SqliteDatabase& db = attempt.db;
    int flags = SQLITE_OPEN_READWRITE | (purpose == OpenPurpose::Run ? SQLITE_OPEN_CREATE : 0);
    int rc = db.open(path, flags, options);
    if (rc != SQLITE_OK && purpose == OpenPurpose::Reading && isUnwritableCode(rc)) {
        rc = db.open(path, SQLITE_OPEN_READONLY, options);
    }
    if (rc != SQLITE_OK) {
        return fail(attempt, rc);
    }

    // The first read of the file: a file that is not a database fails here.
    const Value version = queryValue(db, kSchemaFacts);
    if (version.code != SQLITE_OK) {
        return fail(attempt, version.code);
    }
    attempt.version = int(version.number);
    attempt.problem = schemaProblem(version);
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
            attempt.why = check.text;
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
        if (attempt.version < kHistorySchemaVersion) {
            migrate(attempt);
        }
    }
    // A reader takes an older file as it is (the reader knows each version's
    // columns) and leaves its migration to the next run: reading never
    // writes, so it never waits for a writer's lock and works on a file it
    // may not change.
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
    openPatiently(attempt, path, purpose, options);
    if (attempt.problem != Problem::None) {
        attempt.db.closeUntouched();
    }
    if (attempt.problem == Problem::Damaged && purpose == OpenPurpose::Run) {
        QString error;
        outcome.movedTo = moveHistoryAside(path, &error);
        if (outcome.movedTo.isEmpty()) {
            outcome.status = HistoryOpenStatus::Failed;
            outcome.message = u"history: "_s + shown(path) + u" is damaged ("_s + attempt.why +
                              u") and could not be moved aside ("_s + error + u")"_s + tail;
            return opened;
        }
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
        u"history: cannot open "_s + shown(path) + u" ("_s + attempt.why + u")"_s + tail;
    return opened;
}

QString moveHistoryAside(const QString& path, QString* error) {
    static constexpr QStringView kCompanions[] = {u"-wal", u"-shm"};
    const FileOutcome<QString> moved =
        useNextFreeName(path, u".bad", [&path](const QString& target, QString* why) {
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
    if (!moved) {
        *error = moved.error;
    }
    return moved.value;
}

}  // namespace quorvel
