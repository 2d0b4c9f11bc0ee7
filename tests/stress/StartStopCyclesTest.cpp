// A thousand sessions on one feed against the scripted engine: each is stopped while it is
// being built, while it runs (after random pauses and resumes), or right at its natural end.
// Afterwards every engine object must have been released, and the threads, file handles and
// resident memory of the process must be back where they were.
//
// The PRNG seed is printed; FEED_STRESS_SEED=<n> repeats a run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <feed/feed.h>

#include "tests/fake_engine/FakeEngine.h"
#include "tests/support/ProcessFigures.h"
#include "tests/support/Sanitizers.h"
#include "tests/support/Waiting.h"

namespace {

using namespace std::chrono_literals;
using fake::Step;

constexpr int kCycles = support::kUnderSanitizer ? 200 : 1000;
constexpr int kWarmUpCycles = 50;  // resident memory is measured from here on
constexpr int kSeriesLength = 10;  // frames and buffers per composite, 40 ms each
constexpr std::int64_t kTicks = 400000;

std::uint32_t ChooseSeed() {
    if (const char* given = std::getenv("FEED_STRESS_SEED")) {
        return static_cast<std::uint32_t>(std::strtoul(given, nullptr, 10));
    }
    return std::random_device{}();
}

enum class Ending { kWhileBuilding, kWhileRunning, kAtTheEnd };

struct Tally {
    int whileBuilding = 0;
    int buildStepMissed = 0;  // the armed step was not reached: stopped while running instead
    int whileRunning = 0;
    int atTheEnd = 0;
    int pauses = 0;
    int resumes = 0;
    double longestStopMs = 0.0;  // FeedStop on a running or paused session
    double totalStopMs = 0.0;
    int timedStops = 0;
};

class Cycles {
  public:
    explicit Cycles(std::uint32_t seed) : random_(seed) {}

    // One session from start to idle; a failed assertion ends the run.
    void Run(FeedHandle feed, int cycle) {
        fake::engine().reset();
        const int kind = Pick(0, 2);  // 0 video, 1 audio, 2 both
        hasVideo_ = kind != 1;
        hasAudio_ = kind != 0;
        fake::engine().addFile("clip.mp4", true, true);
        ScriptSeries();
        fake::engine().setPace(std::chrono::milliseconds(Pick(0, 2)));
        ASSERT_EQ(FeedClearSources(feed), 1);
        if (hasVideo_) {
            ASSERT_GT(FeedAddVideoSource(feed, "clip.mp4", 0, kSeriesLength * 40), 0);
        }
        if (hasAudio_) {
            ASSERT_GT(FeedAddAudioSource(feed, "clip.mp4", 0, kSeriesLength * 40), 0);
        }

        const int roll = Pick(0, 99);
        const Ending ending = roll < 65   ? Ending::kWhileBuilding
                              : roll < 95 ? Ending::kWhileRunning
                                          : Ending::kAtTheEnd;
        fake::engine().setHoldEnd(ending == Ending::kWhileRunning && Pick(0, 1) == 1);
        switch (ending) {
            case Ending::kWhileBuilding:
                StopWhileBuilding(feed);
                break;
            case Ending::kWhileRunning:
                ASSERT_EQ(FeedStart(feed), 1);
                StopWhileRunning(feed);
                break;
            case Ending::kAtTheEnd:
                ASSERT_EQ(FeedStart(feed), 1);
                StopAtTheEnd(feed);
                break;
        }
        ASSERT_EQ(FeedGetState(feed), FEED_STATE_IDLE) << "cycle " << cycle;
        EXPECT_EQ(FeedStop(feed), 0) << "cycle " << cycle;
        const std::vector<std::string> faults = fake::engine().faults();
        ASSERT_THAT(faults, ::testing::IsEmpty()) << "cycle " << cycle;
    }

    Tally tally;

  private:
    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

    void ScriptSeries() {
        fake::VideoSeries video;
        fake::AudioSeries audio;
        audio.channels = 1;
        audio.sampleRate = 8000;
        for (int i = 0; i < kSeriesLength; ++i) {
            video.frames.push_back({i * kTicks, kTicks, std::vector<std::uint8_t>(32)});
            audio.buffers.push_back({i * kTicks, kTicks, std::vector<std::uint8_t>(640)});
        }
        fake::engine().setVideoSeries(std::move(video));
        fake::engine().setAudioSeries(std::move(audio));
    }

    // Holds the worker at a step it takes while building, then stops from another thread
    // (Stop waits for the teardown, so the step is let go once the feed shows Idle).
    void StopWhileBuilding(FeedHandle feed) {
        std::vector<Step> steps = {Step::CreateComposite, Step::QueryCompositeEdit,
                                   Step::SelectSources, Step::CreateAcceptor,
                                   Step::QueryAcceptorConnection};
        if (hasVideo_) {
            steps.push_back(Step::PrepareVideo);
        }
        if (hasAudio_) {
            steps.push_back(Step::PrepareAudio);
        }
        if (hasVideo_ && hasAudio_) {
            steps.push_back(Step::CreateSync);
        }
        fake::engine().blockAt(
            steps[static_cast<std::size_t>(Pick(0, static_cast<int>(steps.size()) - 1))]);
        ASSERT_EQ(FeedStart(feed), 1);
        if (!fake::engine().waitUntilBlocked(2s)) {
            fake::engine().release();
            ++tally.buildStepMissed;
            StopWhileRunning(feed);
            return;
        }
        ++tally.whileBuilding;
        if (Pick(0, 3) == 0) {
            EXPECT_EQ(FeedPause(feed), 1);
            ++tally.pauses;
        }
        std::int32_t stopped = -1;
        std::thread host([&] { stopped = FeedStop(feed); });
        const bool idle = support::WaitUntilIdle(feed);
        if (Pick(0, 1) == 1) {
            std::this_thread::sleep_for(std::chrono::microseconds(Pick(0, 2000)));
        }
        fake::engine().release();
        host.join();
        EXPECT_TRUE(idle);
        EXPECT_EQ(stopped, 1);
    }

    // Pauses and resumes at random moments, then stops (the session may have ended by then).
    void StopWhileRunning(FeedHandle feed) {
        ++tally.whileRunning;
        const int actions = Pick(0, 4);
        for (int i = 0; i < actions; ++i) {
            std::this_thread::sleep_for(std::chrono::microseconds(Pick(0, 3000)));
            const FeedState state = FeedGetState(feed);
            if (state == FEED_STATE_RUNNING) {
                EXPECT_EQ(FeedPause(feed), 1);
                ++tally.pauses;
            } else if (state == FEED_STATE_PAUSED) {
                EXPECT_EQ(FeedStart(feed), 1);
                ++tally.resumes;
            }
        }
        std::this_thread::sleep_for(std::chrono::microseconds(Pick(0, 3000)));
        const auto stopping = std::chrono::steady_clock::now();
        const std::int32_t stopped = FeedStop(feed);
        EXPECT_TRUE(stopped == 0 || stopped == 1);
        if (stopped == 1) {
            const double ms = std::chrono::duration<double, std::milli>(
                                  std::chrono::steady_clock::now() - stopping)
                                  .count();
            tally.longestStopMs = std::max(tally.longestStopMs, ms);
            tally.totalStopMs += ms;
            ++tally.timedStops;
        }
    }

    // Waits for the last frame and buffer, then stops at once, racing the worker's own end;
    // or lets the session end by itself. Either way every scripted delivery arrived.
    void StopAtTheEnd(FeedHandle feed) {
        ++tally.atTheEnd;
        const std::size_t video = hasVideo_ ? kSeriesLength : 0;
        const std::size_t audio = hasAudio_ ? kSeriesLength : 0;
        ASSERT_TRUE(fake::engine().waitForDeliveries(video, audio, 10s));
        if (Pick(0, 1) == 1) {
            const std::int32_t stopped = FeedStop(feed);
            EXPECT_TRUE(stopped == 0 || stopped == 1);
        } else {
            ASSERT_TRUE(support::WaitUntilIdle(feed));
        }
        EXPECT_EQ(fake::engine().videoReceived().size(), video);
        EXPECT_EQ(fake::engine().audioReceived().size(), audio);
    }

    std::mt19937 random_;
    bool hasVideo_ = true;
    bool hasAudio_ = true;
};

TEST(StartStopCyclesTest, AThousandSessionsOnOneFeedLeaveNothingBehind) {
    const std::uint32_t seed = ChooseSeed();
    std::cout << "[ seed     ] FEED_STRESS_SEED=" << seed << std::endl;
    RecordProperty("seed", std::to_string(seed));
    fake::engine().reset();
    // ThreadSanitizer starts a helper thread of its own with the first thread; have it now.
    std::thread([] {}).join();
    const figures::Snapshot before = figures::Take();
    const auto started = std::chrono::steady_clock::now();

    FeedHandle feed = FeedCreate();
    ASSERT_NE(feed, nullptr);
    Cycles cycles(seed);
    figures::Snapshot warm;
    for (int cycle = 0; cycle < kCycles && !HasFatalFailure(); ++cycle) {
        cycles.Run(feed, cycle);
        if (cycle + 1 == kWarmUpCycles) {
            warm = figures::TakeSettled(before.threads);
        }
    }
    FeedDestroy(feed);
    fake::engine().reset();
    EXPECT_THAT(fake::engine().faults(), ::testing::IsEmpty());

    const figures::Snapshot after = figures::TakeSettled(before.threads);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const Tally& t = cycles.tally;
    std::cout << "[ figures  ] " << kCycles << " cycles in " << seconds << " s: " << t.whileBuilding
              << " stopped while building (" << t.buildStepMissed << " missed the step), "
              << t.whileRunning << " while running, " << t.atTheEnd << " at the end; " << t.pauses
              << " pauses, " << t.resumes << " resumes; FeedStop while running took "
              << (t.timedStops > 0 ? t.totalStopMs / t.timedStops : 0.0) << " ms on average, "
              << t.longestStopMs << " ms at most\n"
              << "[ figures  ] before: " << before << "; after " << kWarmUpCycles
              << " cycles: " << warm << "; after all: " << after << std::endl;
    EXPECT_EQ(after.threads, before.threads);
    EXPECT_EQ(after.files, before.files);
    // The fake keeps every object it handed out (to catch late calls), a few hundred bytes
    // per session; anything the library leaked per cycle would show far above that.
    if (figures::kResidentMemoryTellsLeaks) {
        EXPECT_LE(after.residentBytes - warm.residentBytes, 8 * 1024 * 1024);
    }
}

}  // namespace
