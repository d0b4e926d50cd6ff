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

QDateTime historyTime(qint64 secondsSinceEpoch) {
    return secondsSinceEpoch == 0 ? QDateTime()
                                  : QDateTime::fromSecsSinceEpoch(secondsSinceEpoch, Qt::UTC);
}

qint64 historySeconds(const QDateTime& time) {
    return time.isValid() ? time.toSecsSinceEpoch() : 0;
}

}  // namespace quorvel
