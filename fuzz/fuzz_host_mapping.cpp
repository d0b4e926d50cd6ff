// Any text as a --resolve value: the one grammar that checks it is the one
// that maps, so a value it takes maps the host it names (in any spelling of
// that host a request may use), and the entry handed to the HTTP library
// reads back as the same mapping, written for the host the request asks.
#include <QString>

#include <cstdint>
#include <cstdlib>

#include "checking/address.h"
#include "checking/host_mappings.h"

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The entry for `requestHost` reads back as `mapping`, written for that host.
void readsBack(const quorvel::HostMappings& mappings, const quorvel::HostMapping& mapping,
               const QByteArray& requestHost) {
    const QByteArray entry = mappings.entryFor(requestHost, mapping.port);
    require(!entry.isEmpty());
    const std::optional<quorvel::HostMapping> back =
        quorvel::parseHostMapping(QString::fromUtf8(entry));
    require(back.has_value());
    require(back->host == requestHost);
    require(back->port == mapping.port);
    require(back->addresses == mapping.addresses);
    require(back->expiring == mapping.expiring);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<quorvel::HostMapping> mapping = quorvel::parseHostMapping(text);
    if (!mapping) {
        return 0;
    }
    const quorvel::HostMappings mappings{text};
    if (mapping->host == "*") {
        readsBack(mappings, *mapping, "any.test");
        return 0;
    }
    const QString host = QString::fromUtf8(mapping->host);
    const QByteArray key = quorvel::hostKeyOf(host);
    require(quorvel::hostKeyOf(QString::fromUtf8(key)) == key);  // one form: it stays
    // A request to the host as written, with or without a trailing dot.
    for (const QString& spelling : {host, QString(host + u'.')}) {
        const quorvel::RequestUrl url =
            quorvel::resolveRequestUrl(QString(u"http://" + spelling + u'/'), {});
        if (url.url.isEmpty() || quorvel::hostKeyOf(QString::fromLatin1(url.host)) != key) {
            continue;  // no host a request could ask for, or another one
        }
        readsBack(mappings, *mapping, url.host);
    }
    return 0;
}
