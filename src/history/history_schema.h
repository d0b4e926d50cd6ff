#pragma once

// The history's tables and the steps that bring an older file up to date.
// Internal to the history library.

#include "history/sqlite_db.h"

namespace quorvel {

// Runs the steps from `fromVersion` up to kHistorySchemaVersion and sets
// user_version, inside the caller's transaction. An SQLite result code.
int migrateHistorySchema(SqliteDatabase& db, int fromVersion);

}  // namespace quorvel
