#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <map>

#include "history/history.h"
#include "history/sqlite_db.h"

namespace quorvel {

// A delivery of a kept notice that has not been sent yet.
struct OpenDelivery {
    qint64 run = 0;
    QDateTime runStarted;
    QString list;     // the record file the run checked, as it named it
    QString channel;  // "telegram", "mail", "webhook"
    QString notice;   // as kept
    QString state;    // "pending", "failed" or "sending"
    int attempts = 0;
    int parts = 0;  // messages of the notice accepted before
    QString claimedBy;
    QDateTime lastTime;
};

// A run that asked for a notice, ended, and has none kept yet.
struct RunAwaitingNotice {
    qint64 run = 0;
    QDateTime started;
    QString list;
    // Checks of the run by status (identities, each once).
    std::map<CheckStatus, int> totals;
};

// The history's record of notices: which runs asked for one, the notice
// kept for each, and each channel's delivery of it, so that a notice is
// never lost (a channel that fails is tried again by the next run) and
// never sent twice (a delivery is claimed before it goes out and noted as
// sent once it is accepted). It opens the history as a run does (created,
// migrated or repaired as needed) and works on the thread that made it.
class DeliveryLog {
  public:
    explicit DeliveryLog(const QString& historyPath,
                         std::chrono::milliseconds busyTimeout = std::chrono::seconds(10));

    // Unusable outcomes make every call fail with the outcome's message.
    const HistoryOpenOutcome& outcome() const { return outcome_; }

    // Runs that asked for a notice, have none kept and are over: their last
    // check is written, or they began more than a day before `now` and never
    // ended (their program was stopped). Oldest first.
    Outcome<QList<RunAwaitingNotice>> runsAwaitingNotice(const QDateTime& now);
    // Keeps the notice of a run with a pending delivery per channel, in one
    // transaction; an empty notice notes that the run had nothing to tell.
    // A run that has a notice already keeps it (another program built it
    // first): nothing is added then.
    Outcome<> keepNotice(qint64 run, const QString& notice, const QStringList& channels);
    // The deliveries of these channels that are not sent yet, oldest run first.
    Outcome<QList<OpenDelivery>> openDeliveries(const QStringList& channels);
    // Claims a delivery for sending (state "sending", one more attempt, the
    // claimant and the time), committed before anything goes out; false
    // when it is no longer as `delivery` saw it (another program claimed or
    // sent it meanwhile).
    Outcome<bool> claim(const OpenDelivery& delivery, const QString& claimant, const QDateTime& at);
    // Notes how a claimed send ended: sent, or failed with the error; the
    // messages accepted so far either way.
    Outcome<> noteOutcome(qint64 run, const QString& channel, bool sent, int parts,
                          const QString& error, const QDateTime& at);

  private:
    QString unavailable() const;
    QString failed() const;

    SqliteDatabase db_;
    HistoryOpenOutcome outcome_;
};

}  // namespace quorvel
