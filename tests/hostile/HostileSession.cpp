#include "tests/hostile/HostileSession.h"

#include <chrono>
#include <utility>
#include <vector>

#include <feed/feed.h>

#include "tests/support/EngineHost.h"

namespace hostile {
namespace {

using namespace std::chrono_literals;

constexpr auto kTimeLimit = support::kUnderSanitizer ? 120s : 30s;

}  // namespace

Outcome Play(const std::string& videoName, const std::string& audioName, int lengthMs,
             const std::function<bool()>& watch, const std::function<void(int)>& onFrame,
             const std::function<void(int)>& onBuffer) {
    Outcome outcome;
    const auto started = std::chrono::steady_clock::now();
    std::vector<bool> blackFrames;  // written on the video thread, read after the feed is gone
    support::EngineHost host;
    host.onFrame = [&](const support::FrameArrival& frame) {
        blackFrames.push_back(frame.black);
        if (onFrame) {
            onFrame(frame.index);
        }
    };
    host.onBuffer = [&](const support::BufferArrival& buffer) {
        if (onBuffer) {
            onBuffer(static_cast<int>(buffer.firstSampleFrame / 80));
        }
    };
    FeedHandle feed = host.feed();
    bool added = true;
    outcome.hasVideo = !videoName.empty();
    outcome.hasAudio = !audioName.empty();
    if (!videoName.empty()) {
        added = FeedAddVideoSource(feed, videoName.c_str(), 0, lengthMs) > 0 && added;
    }
    if (!audioName.empty()) {
        added = FeedAddAudioSource(feed, audioName.c_str(), 0, lengthMs) > 0 && added;
    }
    outcome.started = added && host.Start();
    outcome.ended = host.WaitUntilIdle(kTimeLimit, [&] {
        if (watch && !watch()) {
            outcome.watchHeld = false;
        }
        const std::int32_t duration = FeedGetDuration(feed);
        if (duration >= 0) {
            outcome.durationMs = duration;
        }
    });
    // A session that did not end is stopped; a worker stuck in a read may still hang here,
    // which ctest's time limit then reports.
    host.Destroy();
    outcome.frames = host.frames.load();
    outcome.sampleFrames = host.sampleFrames.load();
    outcome.allBlack = host.allBlack.load();
    outcome.allSilent = host.allSilent.load();
    outcome.blackFrames = std::move(blackFrames);
    outcome.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return outcome;
}

void ExpectExactCounts(const Outcome& outcome, int lengthMs, const std::string& what) {
    EXPECT_TRUE(outcome.started) << what;
    EXPECT_TRUE(outcome.ended) << what << ": the session did not end in time";
    EXPECT_EQ(outcome.durationMs, lengthMs) << what;
    EXPECT_EQ(outcome.frames, outcome.hasVideo ? lengthMs / 40 : 0) << what;
    EXPECT_EQ(outcome.sampleFrames, outcome.hasAudio ? std::int64_t{lengthMs} * 8 : 0) << what;
}

void ExpectBlankSession(const Outcome& outcome, int lengthMs, const std::string& what) {
    ExpectExactCounts(outcome, lengthMs, what);
    EXPECT_TRUE(outcome.allBlack) << what << ": a picture came out";
    EXPECT_TRUE(outcome.allSilent) << what << ": a sound came out";
}

}  // namespace hostile
