#pragma once

// The history's tables and the steps that bring an older file up to date.
// Internal to the history library.

#include "history/history.h"
#include "history/sqlite_db.h"

namespace quorvel {

// Marks a file as a Quorvel history (PRAGMA application_id), set when the
// file is created or first migrated, so that another program's database is
// never taken for ours.
inline constexpr qint32 kHistoryApplicationId = 0x5176484c;

// Runs the steps from `fromVersion` up to `toVersion` and sets user_version,
// inside the caller's transaction. An SQLite result code. Only tests stop
// short of the current version, to make the files older programs wrote.
int migrateHistorySchema(SqliteDatabase& db, int fromVersion,
                         int toVersion = kHistorySchemaVersion);

}  // namespace quorvel
