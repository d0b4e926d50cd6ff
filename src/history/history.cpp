#include "history/history.h"

#include <QHash>
#include <QSet>

#include "records/record_line.h"

namespace quorvel {

size_t qHash(const RecordIdentity& identity, size_t seed) noexcept {
    return qHashMulti(seed, identity.partnerUrl, identity.link);
}

RecordIdentity identityOf(QStringView recordLine) {
    return {ExtractField(recordLine, QChar(u'U')), ExtractField(recordLine, QChar(u'6'))};
}

std::vector<bool> firstOccurrences(const QList<RecordIdentity>& identities) {
    std::vector<bool> first(size_t(identities.size()), false);
    QSet<RecordIdentity> seen;
    seen.reserve(identities.size());
    for (qsizetype i = 0; i < identities.size(); ++i) {
        const qsizetype before = seen.size();
        seen.insert(identities.at(i));
        first[size_t(i)] = seen.size() != before;
    }
    return first;
}

QDateTime historyTime(qint64 secondsSinceEpoch) {
    return secondsSinceEpoch == 0 ? QDateTime()
                                  : QDateTime::fromSecsSinceEpoch(secondsSinceEpoch, Qt::UTC);
}

qint64 historySeconds(const QDateTime& time) {
    return time.isValid() ? time.toSecsSinceEpoch() : 0;
}

}  // namespace quorvel
