#pragma once

// Opening the history file: checks, repairs by moving aside, and schema
// migrations. Internal to the history library.

#include <QString>

#include "history/history.h"
#include "history/sqlite_db.h"

namespace quorvel {

enum class OpenPurpose {
    // At the start of a run: creates the file, checks its integrity and
    // moves a damaged one aside before starting a new one.
    Run,
    // For queries: never creates, checks, migrates or moves anything.
    Reading,
};

struct OpenedHistory {
    SqliteDatabase db;  // open only when outcome.usable()
    HistoryOpenOutcome outcome;
};

OpenedHistory openHistory(const QString& path, OpenPurpose purpose,
                          const ConnectionOptions& options);

// For a file found damaged while in use, closed by the caller: moves it
// aside and starts a new one, as opening a damaged file does (Recovered,
// with the message saying so), or says why it could not.
OpenedHistory replaceDamagedHistory(const QString& path, const QString& why,
                                    const ConnectionOptions& options);

// The full integrity check: every page, and every index against its table.
// It reads the whole file, so it runs only when a write has found the file
// contradicting itself, and at most once a day after a run.
struct IntegrityCheck {
    enum class Result {
        Sound,
        Rebuilt,     // only indexes were wrong, and they are rebuilt from their tables
        Damaged,     // beyond that: the file is to be moved aside
        Unfinished,  // the check could not run to its end (busy, abandoned)
    };
    Result result = Result::Sound;
    QString why;  // the first problem found, or why the check did not finish
};
IntegrityCheck checkIntegrity(SqliteDatabase& db);

// Whether the run with this id is the first of its day (UTC) that the file
// holds: the full check after a run is made after such runs only.
bool fullCheckDue(SqliteDatabase& db, qint64 runId);

// Moves `path` and its -wal and -shm files to the first suffix among .bad,
// .bad2, .bad3, ... that none of the three names uses yet; never replaces a
// file. The main file's new name.
Outcome<QString> moveHistoryAside(const QString& path);

}  // namespace quorvel
