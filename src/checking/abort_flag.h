#pragma once

#include <atomic>

namespace quorvel {

// Cuts off the transfers that watch it. A flag may hang below another: it
// counts as set when it or any flag above it is set, so one flag of the
// window ends every download of the window, while a run or a dialog can
// still cut off its own downloads alone. Set from any thread.
class AbortFlag {
  public:
    explicit AbortFlag(const AbortFlag* parent = nullptr) : parent_(parent) {}
    AbortFlag(const AbortFlag&) = delete;
    AbortFlag& operator=(const AbortFlag&) = delete;

    void set() { set_.store(true, std::memory_order_relaxed); }
    bool isSet() const {
        for (const AbortFlag* f = this; f; f = f->parent_) {
            if (f->set_.load(std::memory_order_relaxed)) {
                return true;
            }
        }
        return false;
    }

  private:
    std::atomic<bool> set_{false};
    const AbortFlag* parent_;
};

}  // namespace quorvel
