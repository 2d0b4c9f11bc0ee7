#include "tests/hostile/HostileSession.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <feed/feed.h>

namespace hostile {
namespace {

using namespace std::chrono_literals;

#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr auto kTimeLimit = 120s;
#else
constexpr auto kTimeLimit = 30s;
#endif

struct Host {
    std::atomic<int> frames{0};
    std::atomic<std::int64_t> sampleFrames{0};
    std::atomic<bool> allBlack{true};
    std::atomic<bool> allSilent{true};
    std::vector<bool> blackFrames;  // written on the video thread only, read after the join
    const std::function<void(int)>* onFrame = nullptr;
    const std::function<void(int)>* onBuffer = nullptr;
};

std::intptr_t FEED_CALL OnFrame(void* user, const uint8_t* frame, int32_t length, int32_t, int32_t,
                                int32_t) {
    auto& host = *static_cast<Host*>(user);
    const int index = host.frames++;
    bool black = true;
    for (int32_t i = 0; i + 3 < length && black; i += 4) {
        black = frame[i] == 0 && frame[i + 1] == 0 && frame[i + 2] == 0;
    }
    host.blackFrames.push_back(black);
    if (!black) {
        host.allBlack = false;
    }
    if (host.onFrame != nullptr && *host.onFrame) {
        (*host.onFrame)(index);
    }
    return reinterpret_cast<std::intptr_t>(frame);
}

int32_t FEED_CALL OnBuffer(void* user, const uint8_t* buffer, int32_t length, int32_t, int32_t,
                           int32_t, int32_t channels) {
    auto& host = *static_cast<Host*>(user);
    const std::int64_t before = host.sampleFrames.fetch_add(length / (2 * channels));
    for (int32_t i = 0; i < length; ++i) {
        if (buffer[i] != 0) {
            host.allSilent = false;
            break;
        }
    }
    if (host.onBuffer != nullptr && *host.onBuffer) {
        (*host.onBuffer)(static_cast<int>(before / 80));
    }
    return 0;
}

}  // namespace

Outcome Play(const std::string& videoName, const std::string& audioName, int lengthMs,
             const std::function<bool()>& watch, const std::function<void(int)>& onFrame,
             const std::function<void(int)>& onBuffer) {
    Outcome outcome;
    Host host;
    host.onFrame = &onFrame;
    host.onBuffer = &onBuffer;
    const auto started = std::chrono::steady_clock::now();
    FeedHandle feed = FeedCreate();
    FeedSetVideoCallback(feed, OnFrame, &host);
    FeedSetAudioCallback(feed, OnBuffer, &host);
    FeedSetVideoSize(feed, 160, 120);
    FeedSetFrameRate(feed, 25.0);
    FeedSetAudioSampleRate(feed, 8000);
    FeedSetAudioChannels(feed, 1);
    bool added = true;
    outcome.hasVideo = !videoName.empty();
    outcome.hasAudio = !audioName.empty();
    if (!videoName.empty()) {
        added = FeedAddVideoSource(feed, videoName.c_str(), 0, lengthMs) > 0 && added;
    }
    if (!audioName.empty()) {
        added = FeedAddAudioSource(feed, audioName.c_str(), 0, lengthMs) > 0 && added;
    }
    outcome.started = added && FeedStart(feed) == 1;
    const auto until = std::chrono::steady_clock::now() + kTimeLimit;
    while (outcome.started && FeedGetState(feed) != FEED_STATE_IDLE &&
           std::chrono::steady_clock::now() < until) {
        if (watch && !watch()) {
            outcome.watchHeld = false;
        }
        const std::int32_t duration = FeedGetDuration(feed);
        if (duration >= 0) {
            outcome.durationMs = duration;
        }
        std::this_thread::sleep_for(2ms);
    }
    outcome.ended = FeedGetState(feed) == FEED_STATE_IDLE;
    // A session that did not end is stopped; a worker stuck in a read may still hang here,
    // which ctest's time limit then reports.
    FeedDestroy(feed);
    outcome.frames = host.frames.load();
    outcome.sampleFrames = host.sampleFrames.load();
    outcome.allBlack = host.allBlack.load();
    outcome.allSilent = host.allSilent.load();
    outcome.blackFrames = std::move(host.blackFrames);
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
