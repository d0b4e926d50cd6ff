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

// Moves `path` and its -wal and -shm files to the first suffix among .bad,
// .bad2, .bad3, ... that none of the three names uses yet; never replaces a
// file. Returns the main file's new name, or an empty text and `error`.
QString moveHistoryAside(const QString& path, QString* error);

}  // namespace quorvel
