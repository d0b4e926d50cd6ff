#include "checking/host_mappings.h"

namespace quorvel {

HostMappings::HostMappings(const QStringList& entries) {
    for (const QString& entry : entries) {
        *this += entry;
    }
}

HostMappings::HostMappings(std::initializer_list<QString> entries) {
    for (const QString& entry : entries) {
        *this += entry;
    }
}

HostMappings& HostMappings::operator+=(const QString& entry) {
    QByteArray text = entry.toUtf8();
    QByteArray plus;
    if (text.startsWith('+')) {
        plus = "+";
        text.remove(0, 1);
    }
    const qsizetype hostEnd = text.indexOf(':');
    const qsizetype portEnd = hostEnd < 0 ? -1 : text.indexOf(':', hostEnd + 1);
    if (portEnd < 0) {
        return *this;  // not a mapping; the command line refuses such entries
    }
    const QByteArray host = text.first(hostEnd).toLower();
    bool ok = false;
    const int port = text.mid(hostEnd + 1, portEnd - hostEnd - 1).toInt(&ok);
    if (!ok) {
        return *this;
    }
    if (!d_) {
        d_ = std::make_shared<Data>();
    } else if (d_.use_count() > 1) {
        d_ = std::make_shared<Data>(*d_);  // copies share until one changes
    }
    const QByteArray addresses = plus + text.mid(portEnd + 1);
    if (host == "*") {
        d_->anyHost.insert(port, addresses);
    } else {
        d_->byHost.insert(host + ':' + QByteArray::number(port), addresses);
    }
    return *this;
}

QByteArray HostMappings::entryFor(const QByteArray& host, int port) const {
    if (!d_) {
        return QByteArray();
    }
    const QByteArray portText = QByteArray::number(port);
    auto it = d_->byHost.constFind(host + ':' + portText);
    const QByteArray* addresses = nullptr;
    if (it != d_->byHost.constEnd()) {
        addresses = &it.value();
    } else if (auto any = d_->anyHost.constFind(port); any != d_->anyHost.constEnd()) {
        addresses = &any.value();
    }
    if (!addresses) {
        return QByteArray();
    }
    // "+host:port:addresses": the mark of an expiring mapping goes in front.
    const bool expiring = addresses->startsWith('+');
    return (expiring ? QByteArray("+") : QByteArray()) + host + ':' + portText + ':' +
           (expiring ? addresses->mid(1) : *addresses);
}

}  // namespace quorvel
