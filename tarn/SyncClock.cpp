#include "tarn/SyncClock.h"

namespace tarn {

void SyncClock::Attach(Side side) {
    std::lock_guard<std::mutex> lock(mutex_);
    of(side).attached = true;
}

void SyncClock::SetActive(Side side, bool active) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        of(side).active = active;
    }
    changed_.notify_all();
}

void SyncClock::Notify(Side side, std::int64_t start) {
    std::unique_lock<std::mutex> lock(mutex_);
    of(side).last = start;
    changed_.notify_all();
    changed_.wait(lock, [&] {
        const SideState& mine = of(side);
        const SideState& theirs = other(side);
        // The other side's last time is recorded before it waits, so the two can never both
        // be ahead: no deadlock between them.
        return !mine.active || !theirs.attached || !theirs.active || start <= theirs.last + kWindow;
    });
}

}  // namespace tarn
