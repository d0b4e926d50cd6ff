#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QDateTime>
#include <QList>
#include <QString>

#include <map>
#include <optional>

#include "checking/check_outcome.h"
#include "notify/notice_queue.h"
#include "records/record_store.h"

namespace quorvel::cli {

struct Command;

// check's --notify and --notify-config.
QList<QCommandLineOption> checkNoticeOptions();

// With --notify: where the run's notices go, read and checked before the
// run starts; nothing without it. False, after a usage error that says why,
// when they cannot be used (no history, settings that cannot be used).
bool checkNoticeQueue(const Command& command, const QCommandLineParser& parser, const QString& file,
                      const std::optional<QString>& historyPath, const FetchSettings& fetch,
                      std::optional<NoticeQueue>* queue);
// Lets the queue's notices find their records' index and e-mail in the list
// (a shared copy: the list as read, whatever happens to the caller's).
void setRecordLookup(NoticeQueue* queue, const RecordStore& records);

// Sends what earlier runs left unsent; one line on standard error per
// delivery that failed.
void sendLeftNotices(const NoticeQueue& queue);
// Keeps the notice of the run just recorded and sends it (after anything
// older that is still unsent).
void sendRunNotice(const NoticeQueue& queue, qint64 runId, const QDateTime& runStarted,
                   const std::map<CheckStatus, int>& totals);

}  // namespace quorvel::cli
