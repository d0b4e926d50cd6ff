#include "notify/notice_queue.h"

#include <QCoreApplication>
#include <QSet>
#include <QSysInfo>

#include "history/history_reader.h"
#include "notify/channels.h"

#ifndef Q_OS_WIN
#include <cerrno>
#include <csignal>
#endif

namespace quorvel {

namespace {

// A send claimed longer ago than this is taken as cut off, whoever claimed it.
constexpr qint64 kClaimLifetimeSeconds = 15 * 60;

QStringList channelNames(const NotifySettings& settings) {
    QStringList names;
    for (const NoticeChannel channel : channelsOf(settings)) {
        names += channelName(channel);
    }
    return names;
}

// Whether a send under way may be another program's: its claimant is alive,
// or cannot be asked (another host) and claimed it recently.
bool claimedByAnother(const OpenDelivery& d, const QDateTime& now) {
    if (d.state != u"sending") {
        return false;
    }
    if (!d.lastTime.isValid() || d.lastTime.secsTo(now) > kClaimLifetimeSeconds) {
        return false;
    }
    const QString host = d.claimedBy.section(u':', 0, -2);
    if (host != QSysInfo::machineHostName()) {
        return true;
    }
#ifdef Q_OS_WIN
    return true;
#else
    bool ok = false;
    const qint64 pid = d.claimedBy.section(u':', -1).toLongLong(&ok);
    if (!ok || pid <= 0) {
        return false;
    }
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
#endif
}

NoticeChannel channelNamed(const QString& name) {
    for (const NoticeChannel channel :
         {NoticeChannel::Telegram, NoticeChannel::Mail, NoticeChannel::Webhook}) {
        if (channelName(channel) == name) {
            return channel;
        }
    }
    return NoticeChannel::Webhook;  // openDeliveries() gives only configured names
}

Outcome<> keepNotice(DeliveryLog& log, const NoticeQueue& queue, qint64 runId, DigestInput input) {
    HistoryReader reader(queue.historyPath);
    const Outcome<QList<RunEvent>> events = reader.eventsOfRun(runId);
    if (!events.ok()) {
        return Outcome<>::failure(events.error);
    }
    input.events = events.value;
    input.lookup = queue.lookup;
    const Notice notice = buildDigest(input);
    return log.keepNotice(runId, notice.isEmpty() ? QString() : notice.toJson(),
                          channelNames(queue.settings));
}

}  // namespace

QString deliveryClaimant() {
    return QSysInfo::machineHostName() % u':' % QString::number(QCoreApplication::applicationPid());
}

Outcome<> keepRunNotice(const NoticeQueue& queue, qint64 runId, const QDateTime& runStarted,
                        const std::map<CheckStatus, int>& totals) {
    DeliveryLog log(queue.historyPath);
    if (!log.outcome().usable()) {
        return Outcome<>::failure(log.outcome().message);
    }
    return keepNotice(log, queue, runId, DigestInput{queue.list, runStarted, totals, {}, {}});
}

NoticeReport sendOpenNotices(const NoticeQueue& queue, const QDateTime& now) {
    NoticeReport report;
    DeliveryLog log(queue.historyPath);
    if (!log.outcome().usable()) {
        report.problems += log.outcome().message;
        return report;
    }
    const Outcome<QList<RunAwaitingNotice>> left = log.runsAwaitingNotice(now);
    if (!left.ok()) {
        report.problems += left.error;
    }
    for (const RunAwaitingNotice& run : left.value) {
        const QString list = run.list.isEmpty() ? queue.list : run.list;
        if (const Outcome<> kept =
                keepNotice(log, queue, run.run, DigestInput{list, run.started, run.totals, {}, {}});
            !kept) {
            report.problems += kept.error;
        }
    }

    const Outcome<QList<OpenDelivery>> open = log.openDeliveries(channelNames(queue.settings));
    if (!open.ok()) {
        report.problems += open.error;
        return report;
    }
    const QString claimant = deliveryClaimant();
    // A channel that fails is not asked again in this pass: its other
    // notices wait for the next check rather than each for its time limit.
    QSet<QString> failing;
    for (const OpenDelivery& d : open.value) {
        if (failing.contains(d.channel) || claimedByAnother(d, now)) {
            continue;
        }
        const Outcome<bool> claimed = log.claim(d, claimant, QDateTime::currentDateTimeUtc());
        if (!claimed) {
            report.problems += claimed.error;
            continue;
        }
        if (!claimed.value) {
            continue;  // another program took it first
        }
        const NoticeChannel channel = channelNamed(d.channel);
        const DeliveryAnswer answer = deliverNotice(
            channel, queue.settings, Notice::fromJson(d.notice), queue.fetch, d.parts);
        if (const Outcome<> noted = log.noteOutcome(d.run, d.channel, answer.accepted, answer.sent,
                                                    answer.accepted ? QString() : answer.answer,
                                                    QDateTime::currentDateTimeUtc());
            !noted) {
            report.problems += noted.error;
        }
        if (answer.accepted) {
            ++report.sent;
        } else {
            failing.insert(d.channel);
            report.problems +=
                d.channel % u": the notice of the check of " % localIsoTime(d.runStarted) %
                u" was not delivered (tried again by the next check --notify): " % answer.answer;
        }
    }
    return report;
}

}  // namespace quorvel
