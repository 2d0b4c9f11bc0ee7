// The sync window: a side that runs ahead waits for the other, and nothing it waits on can
// leave it waiting for good.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tarn/SyncClock.h"
#include "tests/support/Waiting.h"

namespace tarn {

namespace {

using Side = SyncClock::Side;
using namespace std::chrono_literals;

// Runs Notify on a thread of its own and says whether it has returned.
class Notifier {
  public:
    Notifier(SyncClock& clock, Side side, std::int64_t start)
        : thread_([&clock, side, start, this] {
              clock.Notify(side, start);
              done_ = true;
          }) {}
    ~Notifier() { thread_.join(); }
    bool done() const { return done_; }
    bool doneWithin(std::chrono::milliseconds limit) const {
        return support::Eventually([this] { return done_.load(); }, limit, 1ms);
    }

  private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

void AttachBoth(SyncClock& clock) {
    clock.Attach(Side::Video);
    clock.Attach(Side::Audio);
    clock.SetActive(Side::Video, true);
    clock.SetActive(Side::Audio, true);
}

TEST(SyncClockTest, ASideAheadByMoreThanTheWindowWaitsUntilTheOtherCatchesUp) {
    SyncClock clock;
    AttachBoth(clock);
    clock.Notify(Side::Audio, 0);
    clock.Notify(Side::Video, SyncClock::kWindow);  // exactly at the edge: goes on
    Notifier ahead(clock, Side::Video, SyncClock::kWindow + 400'000);
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(ahead.done());
    clock.Notify(Side::Audio, 300'000);  // not yet within the window
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(ahead.done());
    clock.Notify(Side::Audio, 400'000);
    EXPECT_TRUE(ahead.doneWithin(5s));
}

TEST(SyncClockTest, AWaitEndsWhenTheOtherSidePausesStopsOrEnds) {
    for (int way = 0; way < 2; ++way) {
        SyncClock clock;
        AttachBoth(clock);
        clock.Notify(Side::Video, 0);
        Notifier audioAhead(clock, Side::Audio, 10'000'000);
        std::this_thread::sleep_for(30ms);
        EXPECT_FALSE(audioAhead.done());
        if (way == 0) {
            clock.SetActive(Side::Video, false);  // the video timeline paused, stopped or ended
        } else {
            clock.SetActive(Side::Audio, false);  // the waiting side itself is stopped
        }
        EXPECT_TRUE(audioAhead.doneWithin(5s));
    }
}

TEST(SyncClockTest, NoWaitOnASideThatIsMissingOrNotRunningNorBetweenTwoStarts) {
    SyncClock onlyVideo;
    onlyVideo.Attach(Side::Video);
    onlyVideo.SetActive(Side::Video, true);
    onlyVideo.Notify(Side::Video, 600'000'000);  // no audio side: returns at once

    SyncClock audioNotRunning;
    AttachBoth(audioNotRunning);
    audioNotRunning.SetActive(Side::Audio, false);  // not started yet, or already ended
    audioNotRunning.Notify(Side::Video, 600'000'000);

    // Both sides starting together never wait on each other.
    SyncClock both;
    AttachBoth(both);
    Notifier video(both, Side::Video, 0);
    Notifier audio(both, Side::Audio, 0);
    EXPECT_TRUE(video.doneWithin(5s));
    EXPECT_TRUE(audio.doneWithin(5s));
}

// A running side whose first frame is slow to come stands at the start of the timeline: the
// other may not run more than the window ahead of it meanwhile.
TEST(SyncClockTest, ASideThatHasNotDeliveredYetHoldsTheOtherAtTheWindow) {
    SyncClock clock;
    AttachBoth(clock);
    clock.Notify(Side::Audio, SyncClock::kWindow);  // at the edge: goes on
    Notifier audioAhead(clock, Side::Audio, SyncClock::kWindow + 100'000);
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(audioAhead.done());
    clock.Notify(Side::Video, 0);  // the first frame, at the start: still too far behind
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(audioAhead.done());
    clock.Notify(Side::Video, 100'000);
    EXPECT_TRUE(audioAhead.doneWithin(5s));
}

}  // namespace

}  // namespace tarn
