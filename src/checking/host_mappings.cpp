#include "checking/host_mappings.h"

#include "checking/address.h"

#ifdef Q_OS_WIN
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif

namespace quorvel {

namespace {

bool isPort(QStringView text) {
    if (text.isEmpty()) {
        return false;
    }
    int value = 0;
    for (const QChar ch : text) {
        if (ch < u'0' || ch > u'9') {
            return false;
        }
        value = value * 10 + (ch.unicode() - u'0');
        if (value > 65535) {
            return false;
        }
    }
    return value > 0;
}

// libcurl reads a mapped address with inet_pton, so the same call decides here.
bool isNumericAddress(QStringView text) {
    if (text.size() >= 2 && text.startsWith(u'[') && text.endsWith(u']')) {
        text = text.sliced(1, text.size() - 2);
    }
    if (text.isEmpty()) {
        return false;
    }
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        const bool hex =
            (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (!hex && c != u'.' && c != u':') {
            return false;  // also keeps a NUL from cutting the text short
        }
    }
    const QByteArray ascii = text.toLatin1();
    unsigned char buffer[16];
    return inet_pton(AF_INET, ascii.constData(), buffer) == 1 ||
           inet_pton(AF_INET6, ascii.constData(), buffer) == 1;
}

}  // namespace

std::optional<HostMapping> parseHostMapping(QStringView entry) {
    HostMapping mapping;
    if (entry.startsWith(u'+')) {
        mapping.expiring = true;  // a mapping that expires like a looked-up name
        entry = entry.sliced(1);
    } else if (entry.startsWith(u'-')) {
        return std::nullopt;  // "-HOST:PORT" removes a mapping: it maps nothing
    }
    const qsizetype hostEnd = entry.indexOf(u':');
    if (hostEnd <= 0) {
        return std::nullopt;
    }
    const QStringView host = entry.first(hostEnd);
    mapping.host = host.toUtf8();
    if (host.contains(QChar(u'\0')) || mapping.host.size() > 255) {
        return std::nullopt;  // libcurl keeps the host in a 256-byte C string
    }
    const QStringView rest = entry.sliced(hostEnd + 1);
    const qsizetype portEnd = rest.indexOf(u':');
    if (portEnd < 0 || !isPort(rest.first(portEnd))) {
        return std::nullopt;
    }
    mapping.port = rest.first(portEnd).toInt();
    const QStringView addresses = rest.sliced(portEnd + 1);
    for (const QStringView address : addresses.split(u',')) {
        if (!isNumericAddress(address)) {
            return std::nullopt;
        }
    }
    mapping.addresses = addresses.toLatin1();  // digits, dots, colons and brackets only
    return mapping;
}

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
    const std::optional<HostMapping> mapping = parseHostMapping(entry);
    if (!mapping) {
        qFatal("not a host mapping: '%s'", qPrintable(entry));
    }
    if (!d_) {
        d_ = std::make_shared<Data>();
    } else if (d_.use_count() > 1) {
        d_ = std::make_shared<Data>(*d_);  // copies share until one changes
    }
    // The same form as a request's host (see hostKeyOf).
    const QByteArray host =
        mapping->host == "*" ? mapping->host : hostKeyOf(QString::fromUtf8(mapping->host));
    const QByteArray addresses = (mapping->expiring ? "+" : "") + mapping->addresses;
    if (host == "*") {
        d_->anyHost.insert(mapping->port, addresses);
    } else {
        d_->byHost.insert(host + ':' + QByteArray::number(mapping->port), addresses);
    }
    return *this;
}

QByteArray HostMappings::entryFor(const QByteArray& host, int port) const {
    if (!d_) {
        return QByteArray();
    }
    const QByteArray portText = QByteArray::number(port);
    auto it = d_->byHost.constFind(hostKeyOf(QString::fromLatin1(host)) + ':' + portText);
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
