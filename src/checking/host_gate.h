#pragma once

#include <QByteArray>
#include <QHash>

#include <condition_variable>
#include <mutex>

#include "checking/abort_flag.h"

namespace quorvel {

// At most a few attempts at a time against one host, however many workers a
// run has: many parallel requests can overload a small site or get the
// checker's address blocked. An attempt is counted by the host of the
// address it starts with; its redirects count as the same attempt.
// Thread-safe.
class HostGate {
  public:
    explicit HostGate(int perHost) : perHost_(perHost) {}
    HostGate(const HostGate&) = delete;
    HostGate& operator=(const HostGate&) = delete;

    // Enters when the host has room; never waits.
    bool tryEnter(const QByteArray& host);
    // Waits until the host has room, then enters; false (not entered) when
    // `abort` is set meanwhile.
    bool enter(const QByteArray& host, const AbortFlag* abort);
    void leave(const QByteArray& host);
    // Waits until some host has had room made, at most `ms`.
    void waitForLeave(int ms);
    int inUse(const QByteArray& host) const;

  private:
    const int perHost_;
    mutable std::mutex mutex_;
    std::condition_variable left_;
    QHash<QByteArray, int> inUse_;  // hosts with attempts under way
    quint64 leaves_ = 0;
};

// The host an address would be requested from, in the form hosts are
// compared in (hostKeyOf), or an empty text when the address is not one that
// can be requested.
QByteArray requestHostOf(QStringView address);

}  // namespace quorvel
