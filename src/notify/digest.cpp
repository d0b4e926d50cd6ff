#include "notify/digest.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

#include "history/history_words.h"

namespace quorvel {

namespace {

int totalOf(const std::map<CheckStatus, int>& totals, CheckStatus status) {
    const auto it = totals.find(status);
    return it == totals.end() ? 0 : it->second;
}

}  // namespace

QList<ChangeKind> digestOrder() {
    return {ChangeKind::Lost,
            ChangeKind::Down,
            ChangeKind::ReciprocalLost,
            ChangeKind::Hidden,
            ChangeKind::Blocked,
            ChangeKind::Overdue,
            ChangeKind::AnchorChanged,
            ChangeKind::Restored,
            ChangeKind::Indexable,
            ChangeKind::Up,
            ChangeKind::ReciprocalRestored};
}

Notice buildDigest(const DigestInput& input) {
    Notice notice;
    if (input.events.isEmpty()) {
        return notice;
    }
    const int found = totalOf(input.totals, CheckStatus::Found);
    const int hidden = totalOf(input.totals, CheckStatus::Hidden);
    const int missing = totalOf(input.totals, CheckStatus::Missing);
    const int failed = totalOf(input.totals, CheckStatus::FetchFailed);
    const int checked = found + hidden + missing + failed;
    notice.lines.append({input.list % u", " % runTimeWords(input.runStarted) % u": " %
                             runTotalsWords(checked, found, hidden, missing, failed),
                         false});

    QSet<RecordIdentity> wanted;
    for (const RunEvent& e : input.events) {
        wanted.insert(e.identity);
    }
    const QHash<RecordIdentity, DigestRecord> records =
        input.lookup ? input.lookup(wanted) : QHash<RecordIdentity, DigestRecord>();

    QStringList groups;
    QJsonArray changes;
    for (const ChangeKind kind : digestOrder()) {
        QList<NoticeLine> lines;
        for (const RunEvent& e : input.events) {
            if (e.event.change != kind) {
                continue;
            }
            const auto known = records.constFind(e.identity);
            const DigestRecord* record = known == records.cend() ? nullptr : &*known;
            const QString email = record ? record->email : QString();
            QStringList parts{e.identity.partnerUrl};
            if (!email.isEmpty()) {
                parts += email;
            }
            if (e.event.since.isValid()) {
                parts += sinceWords(e.event.since);
            }
            if (!e.event.reason.isEmpty()) {
                parts += reasonWords(e.event.reason);
            }
            lines.append({parts.join(u" — "), false});
            changes.append(QJsonObject{
                {QStringLiteral("index"), record ? QJsonValue(record->index) : QJsonValue()},
                {QStringLiteral("partner_url"), e.identity.partnerUrl},
                {QStringLiteral("email"), email},
                {QStringLiteral("change"), changeName(kind).toString()},
                {QStringLiteral("previous"), stateName(e.event.previous).toString()},
                {QStringLiteral("since"), localIsoTime(e.event.since)},
                {QStringLiteral("reason"), e.event.reason}});
        }
        if (lines.isEmpty()) {
            continue;
        }
        const QString group = changeGroupWords(kind) % u" (" % QString::number(lines.size()) % u')';
        groups += group;
        notice.lines.append({group, true});
        notice.lines += lines;
    }
    notice.subject = u"Quorvel: " % groups.join(u", ");
    notice.payload =
        QJsonObject{{QStringLiteral("list"), input.list},
                    {QStringLiteral("run"), localIsoTime(input.runStarted)},
                    {QStringLiteral("totals"), QJsonObject{{QStringLiteral("checked"), checked},
                                                           {QStringLiteral("found"), found},
                                                           {QStringLiteral("hidden"), hidden},
                                                           {QStringLiteral("missing"), missing},
                                                           {QStringLiteral("failed"), failed}}},
                    {QStringLiteral("changes"), changes}};
    return notice;
}

}  // namespace quorvel
