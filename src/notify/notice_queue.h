#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <map>

#include "checking/http_client.h"
#include "history/delivery_log.h"
#include "notify/digest.h"
#include "notify/notify_settings.h"

namespace quorvel {

// The notices of one record file's history and where they go.
struct NoticeQueue {
    QString historyPath;
    QString list;  // the record file as named, for runs that did not keep its name
    NotifySettings settings;
    FetchSettings fetch;
    DigestLookup lookup;  // the records of the list as it is now
};

struct NoticeReport {
    int sent = 0;          // deliveries accepted
    QStringList problems;  // one line per delivery that failed, or why none could be tried
};

// Keeps the notice of a run just recorded, built from its changes in the
// history and `totals`, with a pending delivery per configured channel; a
// run that changed nothing is noted as told.
Outcome<> keepRunNotice(const NoticeQueue& queue, qint64 runId, const QDateTime& runStarted,
                        const std::map<CheckStatus, int>& totals);

// Builds the notices of runs that asked for one but were stopped before
// they kept it, then sends every delivery of the configured channels that is
// not sent yet, oldest run first: each is claimed in the history before it
// goes out and noted as sent once the server accepted it, so a notice is
// never lost and, when the program is killed between the two, sent at most
// once more. A delivery another program is sending now is left to it, and a
// channel that fails is not asked again before the next call.
NoticeReport sendOpenNotices(const NoticeQueue& queue, const QDateTime& now);

// Who claims a delivery: this host and process ("host:pid").
QString deliveryClaimant();

}  // namespace quorvel
