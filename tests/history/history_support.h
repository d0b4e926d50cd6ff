#pragma once

#include <QString>

#include <chrono>
#include <vector>

#include "history/history.h"
#include "history/history_recorder.h"

namespace quorvel::test {

// A check of `identity` that ended at `checkedAt` (seconds since the epoch).
HistoryEntry historyEntry(const RecordIdentity& identity, CheckStatus status, qint64 checkedAt,
                          const QString& reason = {});

// Records one run that started at `startedAt` and waits for it to be written.
HistoryRunOutcome recordRun(const QString& path, qint64 startedAt,
                            const std::vector<HistoryEntry>& entries,
                            HistoryRecorderOptions options = {});

// The first value of a query on the file, read with a connection of its own.
qint64 queryNumber(const QString& path, const char* sql);

}  // namespace quorvel::test
