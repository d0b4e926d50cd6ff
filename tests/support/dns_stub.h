#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <mutex>
#include <thread>

namespace quorvel::test {

// A name server on 127.0.0.1, port 53 (UDP), that answers every question
// "no such name" at once and keeps the names it was asked: inside the
// tests' loopback-only network it shows whether a program looked anything
// up. A program reaches it through a resolver file of the stub's own that
// withResolver() mounts over /etc/resolv.conf for that program alone.
class DnsStub {
  public:
    DnsStub();
    ~DnsStub();
    DnsStub(const DnsStub&) = delete;
    DnsStub& operator=(const DnsStub&) = delete;

    bool listening() const { return fd_ >= 0; }
    QList<QByteArray> names() const;  // every name asked, in arrival order

    // The command line that runs `program` with `args` in a mount namespace
    // of its own where /etc/resolv.conf names this stub: for CliProcess's
    // program "/usr/bin/unshare".
    QStringList withResolver(const QString& program, const QStringList& args) const;

  private:
    void serve();

    int fd_ = -1;
    QString resolverFile_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    QList<QByteArray> names_;
};

}  // namespace quorvel::test
