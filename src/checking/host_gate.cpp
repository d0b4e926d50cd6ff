#include "checking/host_gate.h"

#include <chrono>

#include "checking/address.h"

namespace quorvel {

bool HostGate::tryEnter(const QByteArray& host) {
    std::lock_guard lock(mutex_);
    int& count = inUse_[host];
    if (count >= perHost_) {
        return false;
    }
    ++count;
    return true;
}

bool HostGate::enter(const QByteArray& host, const AbortFlag* abort) {
    std::unique_lock lock(mutex_);
    for (;;) {
        int& count = inUse_[host];
        if (count < perHost_) {
            ++count;
            return true;
        }
        if (abort && abort->isSet()) {
            return false;
        }
        // The abort flag is polled: it has no way to wake this wait.
        left_.wait_for(lock, std::chrono::milliseconds(20));
    }
}

void HostGate::leave(const QByteArray& host) {
    {
        std::lock_guard lock(mutex_);
        auto it = inUse_.find(host);
        if (it != inUse_.end() && --it.value() <= 0) {
            inUse_.erase(it);
        }
        ++leaves_;
    }
    left_.notify_all();
}

void HostGate::waitForLeave(int ms) {
    std::unique_lock lock(mutex_);
    const quint64 seen = leaves_;
    left_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return leaves_ != seen; });
}

int HostGate::inUse(const QByteArray& host) const {
    std::lock_guard lock(mutex_);
    return inUse_.value(host);
}

QByteArray requestHostOf(QStringView address) {
    return hostKeyOf(QString::fromLatin1(resolveRequestUrl(address, {}).host));
}

}  // namespace quorvel
