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

constexpr QStringView kRunSourceNames[] = {u"", u"window", u"quorvel-cli", u"schedule"};

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

QString localIsoTime(const QDateTime& time) {
    if (!time.isValid()) {
        return QString();
    }
    const QDateTime local = time.toLocalTime();
    const int offset = local.offsetFromUtc() / 60;
    return local.toString(u"yyyy-MM-ddTHH:mm:ss") % (offset < 0 ? u'-' : u'+') %
           QString::number(qAbs(offset) / 60).rightJustified(2, u'0') % u':' %
           QString::number(qAbs(offset) % 60).rightJustified(2, u'0');
}

}  // namespace quorvel
