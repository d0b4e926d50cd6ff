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

namespace {

constexpr QStringView kRunSourceNames[] = {u"", u"window", u"quorvel-cli"};

}  // namespace

QStringView runSourceName(RunSource source) {
    return kRunSourceNames[size_t(source)];
}

RunSource runSourceFromName(QStringView name) {
    for (size_t i = 0; i < std::size(kRunSourceNames); ++i) {
        if (kRunSourceNames[i] == name) {
            return RunSource(i);
        }
    }
    return RunSource::Unknown;
}

QDateTime historyTime(qint64 secondsSinceEpoch) {
    return secondsSinceEpoch == 0 ? QDateTime()
                                  : QDateTime::fromSecsSinceEpoch(secondsSinceEpoch, Qt::UTC);
}

qint64 historySeconds(const QDateTime& time) {
    return time.isValid() ? time.toSecsSinceEpoch() : 0;
}

}  // namespace quorvel
