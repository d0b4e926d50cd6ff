#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <initializer_list>
#include <memory>
#include <optional>

namespace quorvel {

// One host mapping in curl's --resolve form: "[+]HOST:PORT:ADDRESS[,ADDRESS]...",
// a leading "+" for a mapping that expires. HOST is "*" (any host) or 1 to
// 255 bytes without ':'; PORT is decimal, 1 to 65535; each ADDRESS is a
// numerical IPv4 or IPv6 address, bracketed or not.
struct HostMapping {
    QByteArray host;  // as written, UTF-8
    int port = 0;
    QByteArray addresses;  // as written, commas and brackets included
    bool expiring = false;
};
// The mapping `entry` writes, or nothing for anything else: what libcurl
// would refuse, or take and quietly map nothing with. The one grammar, to
// check entries from outside and to map.
std::optional<HostMapping> parseHostMapping(QStringView entry);

// Host mappings in curl's --resolve form ("[+]HOST:PORT:ADDRESS[,ADDRESS]..."),
// a "*" host mapping every host at that port. A request looks up only its own
// host and port, so its cost does not grow with the number of mappings; a
// later mapping of the same host and port replaces an earlier one, and a
// mapping of the host itself comes before a "*" one. Cheap to copy.
class HostMappings {
  public:
    HostMappings() = default;
    // Every entry must be a mapping (parseHostMapping): entries from outside
    // are checked first, and anything else here is a mistake in the program
    // or a test, which ends it with a message rather than mapping nothing.
    HostMappings(const QStringList& entries);  // NOLINT: a list of mappings is the usual form
    HostMappings(std::initializer_list<QString> entries);
    HostMappings& operator+=(const QString& entry);

    // The mapping to hand the HTTP library for a request to `host` (lower
    // case, ASCII, as the library asks for it) and `port`, written for that
    // host; empty when there is none. Hosts match in one normal form (see
    // hostKeyOf): a mapping of "Partner.Test" or of its Unicode spelling
    // serves "partner.test." too.
    QByteArray entryFor(const QByteArray& host, int port) const;

  private:
    struct Data {
        QHash<QByteArray, QByteArray> byHost;  // "host:port" -> "[+]" and the addresses
        QHash<int, QByteArray> anyHost;        // port -> "[+]" and the addresses
    };
    std::shared_ptr<Data> d_;
};

}  // namespace quorvel
