// How soon the host's pause, resume and stop take effect, and what reaches the host after them:
// a pause holds deliveries at once, nothing reaches the host once the feed is Idle, and stop
// and destroy work from any thread, inside a callback included.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "tests/feed/FeedTestSupport.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct Counts {
    FeedHandle feed = nullptr;
    std::atomic<int> frames{0};
    std::atomic<int> buffers{0};
    std::atomic<int> afterStop{0};  // callbacks that began after the feed read Idle
    std::atomic<bool> stopInCallback{false};
    std::atomic<bool> destroyInCallback{false};
    // A host thread stops the feed while the fourth frame's callback destroys it: the host's
    // FeedStop begins first (kStopFirst) or right after the destroy (kDestroyFirst).
    int raceStopAndDestroy = 0;
    std::atomic<bool> destroying{false};  // the fourth frame's callback has begun its part
};

constexpr int kStopFirst = 1;
constexpr int kDestroyFirst = 2;

void DestroyWhileTheHostStops(Counts& counts) {
    using namespace std::chrono_literals;
    counts.destroying = true;
    const auto hostStopping = [&] {
        while (feed::FeedTestAccess::WaitingStops(counts.feed) == 0) {
            std::this_thread::yield();
        }
    };
    if (counts.raceStopAndDestroy == kStopFirst) {
        hostStopping();
        std::this_thread::sleep_for(20ms);  // it is joining the worker by now
        FeedDestroy(counts.feed);
    } else {
        FeedDestroy(counts.feed);
        hostStopping();  // this callback holds the session until the host's FeedStop has begun
    }
}

std::intptr_t FEED_CALL CountFrame(void* user, const uint8_t* frame, int32_t, int32_t, int32_t,
                                   int32_t) {
    auto& counts = *static_cast<Counts*>(user);
    if (counts.frames++ == 3) {
        if (counts.stopInCallback) {
            FeedStop(counts.feed);
        }
        if (counts.destroyInCallback) {
            FeedDestroy(counts.feed);
        }
        if (counts.raceStopAndDestroy != 0) {
            DestroyWhileTheHostStops(counts);
        }
    }
    return reinterpret_cast<std::intptr_t>(frame);
}

int32_t FEED_CALL CountBuffer(void* user, const uint8_t*, int32_t, int32_t, int32_t, int32_t,
                              int32_t) {
    ++static_cast<Counts*>(user)->buffers;
    return 0;
}

class SessionTimingTest : public FeedFixture {
  protected:
    // A session of both kinds whose engine delivers a frame and a buffer every millisecond
    // for ten seconds, until stopped.
    void StartBusySession(Counts& counts) {
        std::vector<fake::Delivery> frames;
        std::vector<fake::Delivery> buffers;
        for (int i = 0; i < 10000; ++i) {
            frames.push_back({i * 10000LL, 10000, std::vector<std::uint8_t>(32, 0x40)});
            buffers.push_back({i * 10000LL, 10000, std::vector<std::uint8_t>(176)});
        }
        fake::engine().addFile("v.mp4", true, true);
        fake::engine().setVideoSeries({4, 2, frames});
        fake::engine().setAudioSeries({2, 44100, 16, buffers});
        fake::engine().setPace(1ms);
        fake::engine().setHoldEnd(true);
        counts.feed = feed;
        FeedSetVideoCallback(feed, CountFrame, &counts);
        FeedSetAudioCallback(feed, CountBuffer, &counts);
        if (!sourcesAdded_) {
            ASSERT_GT(FeedAddVideoSource(feed, "v.mp4", 0, 10000), 0);
            ASSERT_GT(FeedAddAudioSource(feed, "v.mp4", 0, 10000), 0);
            sourcesAdded_ = true;
        }
        ASSERT_EQ(FeedStart(feed), 1);
        ASSERT_TRUE(Eventually([&] { return counts.frames >= 4; }));
    }

    static double MedianMs(std::vector<Clock::duration> times) {
        std::sort(times.begin(), times.end());
        return std::chrono::duration<double, std::milli>(times[times.size() / 2]).count();
    }

    // A new feed in place of one that a test let a callback destroy.
    void Renew() {
        feed = FeedCreate();
        sourcesAdded_ = false;
    }

  private:
    bool sourcesAdded_ = false;
};

TEST_F(SessionTimingTest, APauseHoldsDeliveriesAtOnceOnBothTimelines) {
    Counts counts;
    StartBusySession(counts);
    for (int round = 0; round < 5; ++round) {
        ASSERT_EQ(FeedPause(feed), 1);
        const int frames = counts.frames;
        const int buffers = counts.buffers;
        std::this_thread::sleep_for(150ms);
        // Only a callback already running when the pause returned may finish.
        EXPECT_LE(counts.frames - frames, 1) << "round " << round;
        EXPECT_LE(counts.buffers - buffers, 1) << "round " << round;
        ASSERT_EQ(FeedStart(feed), 1);
        ASSERT_TRUE(Eventually([&] { return counts.frames > frames + 5; }));
    }
    EXPECT_EQ(FeedStop(feed), 1);
}

TEST_F(SessionTimingTest, StopFromRunningAndFromPausedReturnsWithinMilliseconds) {
    std::vector<Clock::duration> fromRunning;
    std::vector<Clock::duration> fromPaused;
    for (int round = 0; round < 10; ++round) {
        for (bool paused : {false, true}) {
            Counts counts;
            StartBusySession(counts);
            if (paused) {
                ASSERT_EQ(FeedPause(feed), 1);
                std::this_thread::sleep_for(5ms);
            }
            const Clock::time_point before = Clock::now();
            ASSERT_EQ(FeedStop(feed), 1);
            (paused ? fromPaused : fromRunning).push_back(Clock::now() - before);
        }
    }
    // The worker wakes on the change instead of at its next 100 ms look.
    EXPECT_LT(MedianMs(fromRunning), 20.0);
    EXPECT_LT(MedianMs(fromPaused), 20.0);
}

TEST_F(SessionTimingTest, NothingReachesTheHostAfterAStopFromInsideACallback) {
    Counts counts;
    counts.stopInCallback = true;
    StartBusySession(counts);
    ASSERT_TRUE(WaitUntilIdle(feed));
    const int frames = counts.frames;
    const int buffers = counts.buffers;
    std::this_thread::sleep_for(150ms);  // the worker tears the session down meanwhile
    EXPECT_EQ(frames, 4);                // the stop came from the fourth frame's callback
    EXPECT_EQ(counts.frames, frames);
    EXPECT_LE(counts.buffers - buffers, 1);  // one audio callback may have been running
    EXPECT_EQ(FeedStop(feed), 0);
}

TEST_F(SessionTimingTest, StopFromTwoThreadsAtOnceReturnsInBoth) {
    for (int round = 0; round < 20; ++round) {
        Counts counts;
        StartBusySession(counts);
        std::promise<void> go;
        std::shared_future<void> ready = go.get_future().share();
        auto stop = [&] {
            ready.wait();
            return FeedStop(feed);
        };
        std::future<std::int32_t> first = std::async(std::launch::async, stop);
        std::future<std::int32_t> second = std::async(std::launch::async, stop);
        go.set_value();
        ASSERT_EQ(first.wait_for(10s), std::future_status::ready);
        ASSERT_EQ(second.wait_for(10s), std::future_status::ready);
        EXPECT_EQ(first.get() + second.get(), 1);  // one stopped the session, one found it Idle
        EXPECT_EQ(FeedGetState(feed), FEED_STATE_IDLE);
        EXPECT_THAT(fake::engine().faults(), ::testing::IsEmpty());
    }
}

TEST_F(SessionTimingTest, DestroyFromInsideACallbackFreesTheFeedWhenItsSessionEnds) {
    Counts counts;
    counts.destroyInCallback = true;
    StartBusySession(counts);
    feed = nullptr;  // the callback destroys it; TearDown must not
    // Every engine object is released once the worker has torn the session down.
    EXPECT_TRUE(Eventually([&] { return CountCalls("C1.Release") == 1; }));
    EXPECT_TRUE(Eventually([&] { return fake::engine().faults().empty(); }));
    const int frames = counts.frames;
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(counts.frames, frames);
}

// Both are allowed at once: the host's FeedStop returns, and the feed is freed once, after the
// last of the two has finished with it (AddressSanitizer sees any use after the free).
TEST_F(SessionTimingTest, HostStopWhileACallbackDestroysTheFeedReturnsAndFreesItOnce) {
    for (const int order : {kStopFirst, kDestroyFirst, kStopFirst, kDestroyFirst}) {
        Counts counts;
        counts.raceStopAndDestroy = order;
        StartBusySession(counts);
        ASSERT_TRUE(Eventually([&] { return counts.destroying.load(); }));
        std::promise<std::int32_t> stopped;
        std::future<std::int32_t> result = stopped.get_future();
        std::thread host([&stopped, handle = feed] { stopped.set_value(FeedStop(handle)); });
        feed = nullptr;  // the callback destroys it; TearDown must not
        if (result.wait_for(10s) != std::future_status::ready) {
            host.detach();
            FAIL() << "FeedStop did not return (order " << order << ")";
        }
        host.join();
        EXPECT_EQ(result.get(), order == kStopFirst ? 1 : 0);  // else the destroy stopped it
        EXPECT_TRUE(Eventually([] { return fake::engine().faults().empty(); }))
            << "order " << order;
        Renew();
    }
}

}  // namespace
