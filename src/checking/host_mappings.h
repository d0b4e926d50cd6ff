#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <initializer_list>
#include <memory>

namespace quorvel {

// Host mappings in curl's --resolve form ("[+]HOST:PORT:ADDRESS[,ADDRESS]..."),
// a "*" host mapping every host at that port. A request looks up only its own
// host and port, so its cost does not grow with the number of mappings; a
// later mapping of the same host and port replaces an earlier one, and a
// mapping of the host itself comes before a "*" one. Cheap to copy.
class HostMappings {
  public:
    HostMappings() = default;
    HostMappings(const QStringList& entries);  // NOLINT: a list of mappings is the usual form
    HostMappings(std::initializer_list<QString> entries);
    HostMappings& operator+=(const QString& entry);

    // The mapping to hand the HTTP library for a request to `host` (lower
    // case) and `port`, written for that host; empty when there is none.
    QByteArray entryFor(const QByteArray& host, int port) const;

  private:
    struct Data {
        QHash<QByteArray, QByteArray> byHost;  // "host:port" -> "[+]" and the addresses
        QHash<int, QByteArray> anyHost;        // port -> "[+]" and the addresses
    };
    std::shared_ptr<Data> d_;
};

}  // namespace quorvel
