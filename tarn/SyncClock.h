// SyncClock: the shared state through which an audio/video sync object holds the delivery
// that is ahead until the other one catches up. Each side is one timeline's delivery thread;
// its composite says whether it is active (running, not paused, stopped or ended).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace tarn {

class SyncClock {
  public:
    enum class Side { Video = 0, Audio = 1 };

    // How far one side may run ahead of the other: 200 ms in 100-ns units.
    static constexpr std::int64_t kWindow = 2'000'000;

    void Attach(Side side);

    // Called by a side's composite whenever it starts, resumes, pauses, stops or ends; wakes
    // every wait so that no side waits on one that will not move.
    void SetActive(Side side, bool active);

    // A delivery of `side` at `start` (100-ns units): records it, then waits while this side
    // is active and ahead of the other, active, attached side by more than the window. A side
    // that has not delivered yet stands at the start of the timeline, so the window holds
    // from the first delivery on.
    void Notify(Side side, std::int64_t start);

  private:
    struct SideState {
        bool attached = false;
        bool active = false;
        std::int64_t last = 0;  // time of the side's latest delivery
    };

    SideState& of(Side side) { return sides_[static_cast<int>(side)]; }
    SideState& other(Side side) { return sides_[1 - static_cast<int>(side)]; }

    std::mutex mutex_;
    std::condition_variable changed_;
    SideState sides_[2];
};

}  // namespace tarn
