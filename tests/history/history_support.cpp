#include "history/history_support.h"

#include <sqlite3.h>

#include <gtest/gtest.h>

#include "history/sqlite_db.h"

namespace quorvel::test {

HistoryEntry historyEntry(const RecordIdentity& identity, CheckStatus status, qint64 checkedAt,
                          const QString& reason) {
    RecordOutcome outcome;
    outcome.status = status;
    outcome.count = status == CheckStatus::FetchFailed ? 0 : 12;
    return {identity, historyTime(checkedAt), outcome, reason};
}

HistoryRunOutcome recordRun(const QString& path, qint64 startedAt,
                            const std::vector<HistoryEntry>& entries,
                            HistoryRecorderOptions options) {
    HistoryRecorder recorder(path, historyTime(startedAt), options);
    for (const HistoryEntry& entry : entries) {
        recorder.add(entry);
    }
    return recorder.finish(std::chrono::seconds(60));
}

qint64 queryNumber(const QString& path, const char* sql) {
    SqliteDatabase db;
    if (db.open(path, SQLITE_OPEN_READONLY, {}) != SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << path.toStdString();
        return -1;
    }
    SqliteStatement statement(db, sql);
    if (!statement.ok() || statement.step() != SQLITE_ROW) {
        ADD_FAILURE() << sql << ": " << db.errorText().toStdString();
        return -1;
    }
    return statement.int64At(0);
}

}  // namespace quorvel::test
