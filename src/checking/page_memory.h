#pragma once

#include <QtGlobal>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <set>

namespace quorvel {

// The default room for the pages a run holds at once.
inline constexpr qint64 kDefaultPageMemory = qint64(1) << 30;
// What a page costs a byte of its body: the byte itself while it downloads
// and is decoded, then at most two for its text (one UTF-16 unit a byte).
inline constexpr qint64 kPageCostPerByte = 3;

// Room for the pages that a run's workers hold at once, each from its first
// body byte until its check is done with it: however many workers a run
// has, partners' big pages cannot take more memory than this. A page takes
// room as its body comes in; when it would pass the limit it waits (its
// download paused) until room is given back, unless nothing else holds any
// (a page larger than all the room loads alone), or every page that holds
// room waits too: then the one that has waited longest goes on, so the run
// never stands still; it keeps that turn until it is done. Thread-safe.
class PageMemory {
  public:
    explicit PageMemory(qint64 limit) : limit_(limit) {}
    PageMemory(const PageMemory&) = delete;
    PageMemory& operator=(const PageMemory&) = delete;

    qint64 limit() const { return limit_; }
    qint64 inUse() const;

  private:
    friend class PageLease;
    const qint64 limit_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;  // room given back, or one more holder waiting
    quint64 changes_ = 0;              // counts those events
    qint64 used_ = 0;
    size_t holders_ = 0;                // leases that hold room
    std::set<quint64> waitingHolders_;  // of those, the ones waiting: their tickets
    quint64 nextTicket_ = 1;
};

// Pages are big and short-lived: each is to go back to the system when it is
// freed. The C library's allocator would otherwise serve blocks that size
// from its heaps after the first one is freed, where freed pages stay
// resident and many workers' heaps add up. Call once, before any thread.
void keepPagesOutOfTheHeap();

// One page's room. Not for use from two threads at once; given back whole
// when it is destroyed.
class PageLease {
  public:
    explicit PageLease(PageMemory& memory) : memory_(memory) {}
    ~PageLease();
    PageLease(const PageLease&) = delete;
    PageLease& operator=(const PageLease&) = delete;

    // Takes `bytes` more when the rules above allow, without waiting; else
    // the lease is counted as waiting from now on, and false.
    bool tryTake(qint64 bytes);
    // Waits at most `limit` for a change since the last tryTake() that
    // failed: room given back, or another page waiting too (then try again).
    void waitForRoom(std::chrono::milliseconds limit);
    void giveBack(qint64 bytes);
    qint64 held() const { return held_; }

  private:
    void stopWaiting();  // with the memory's lock held

    PageMemory& memory_;
    qint64 held_ = 0;
    // Drawn at the lease's first wait and kept: the page that went on past
    // the limit keeps its turn for every later piece, so only one page at a
    // time is ever beyond it.
    quint64 ticket_ = 0;
    bool waiting_ = false;
    quint64 seenChanges_ = 0;  // the memory's changes at the last failed try
};

}  // namespace quorvel
