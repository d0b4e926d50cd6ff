#include "checking/page_memory.h"

#include <algorithm>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace quorvel {

void keepPagesOutOfTheHeap() {
#ifdef __GLIBC__
    // A fixed threshold: blocks of a megabyte and more get mappings of their
    // own, now and after any free.
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
#endif
}

qint64 PageMemory::inUse() const {
    std::lock_guard lock(mutex_);
    return used_;
}

PageLease::~PageLease() {
    giveBack(held_);
    std::lock_guard lock(memory_.mutex_);
    stopWaiting();
}

bool PageLease::tryTake(qint64 bytes) {
    PageMemory& m = memory_;
    std::lock_guard lock(m.mutex_);
    const bool fits = m.used_ + bytes <= m.limit_;
    const bool alone = m.used_ == held_;
    bool go = fits || alone;
    if (!go && !waiting_) {
        waiting_ = true;
        if (ticket_ == 0) {
            ticket_ = m.nextTicket_++;
        }
        if (held_ > 0) {
            m.waitingHolders_.insert(ticket_);
            ++m.changes_;
            m.changed_.notify_all();  // this may be the last holder to wait
        }
    }
    if (!go && held_ > 0) {
        // Every page that holds room waits for more: none would give any
        // back. The one that has waited longest goes on.
        go = m.waitingHolders_.size() == m.holders_ && *m.waitingHolders_.begin() == ticket_;
    }
    if (!go) {
        seenChanges_ = m.changes_;
        return false;
    }
    stopWaiting();
    if (held_ == 0 && bytes > 0) {
        ++m.holders_;
    }
    held_ += bytes;
    m.used_ += bytes;
    return true;
}

void PageLease::waitForRoom(std::chrono::milliseconds limit) {
    PageMemory& m = memory_;
    std::unique_lock lock(m.mutex_);
    m.changed_.wait_for(lock, limit, [&] { return m.changes_ != seenChanges_; });
}

void PageLease::giveBack(qint64 bytes) {
    if (bytes <= 0) {
        return;
    }
    PageMemory& m = memory_;
    std::lock_guard lock(m.mutex_);
    bytes = std::min(bytes, held_);
    held_ -= bytes;
    m.used_ -= bytes;
    if (held_ == 0) {
        --m.holders_;
        m.waitingHolders_.erase(ticket_);
    }
    ++m.changes_;
    m.changed_.notify_all();
}

void PageLease::stopWaiting() {
    if (waiting_) {
        memory_.waitingHolders_.erase(ticket_);
        waiting_ = false;
    }
}

}  // namespace quorvel
