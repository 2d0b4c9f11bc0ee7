// A host of one feed on the real engine, as the tests of real sessions write it: the feed with
// an output format and two callbacks that count and look at what arrives (and hand each
// arrival to the test), a session run until Idle under a deadline, and what came out.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

#include <gtest/gtest.h>

#include <feed/feed.h>

#include "tests/support/Sanitizers.h"

namespace support {

// What the host asks the feed for; an empty audio setting stays at the feed's default.
struct OutputFormat {
    int width = 160;
    int height = 120;
    double frameRate = 25.0;
    std::optional<int> sampleRate = 8000;
    std::optional<int> channels = 1;
};

// One call of the frame callback; index counts the frames from 0. pixels live for the call.
struct FrameArrival {
    int index;
    bool black;  // every pixel's B, G and R are 0
    const std::uint8_t* pixels;
    std::int32_t length;
    std::int32_t positionMs;
    std::int32_t width;
    std::int32_t height;
};

// One call of the buffer callback; index counts the buffers from 0, firstSampleFrame the
// sample frames before it.
struct BufferArrival {
    int index;
    std::int64_t firstSampleFrame;
    const std::uint8_t* samples;
    std::int32_t length;
    std::int32_t positionMs;
    std::int32_t channels;
};

class EngineHost {
  public:
    explicit EngineHost(const OutputFormat& format = OutputFormat{});
    ~EngineHost();  // destroys the feed, which stops a session still running
    EngineHost(const EngineHost&) = delete;
    EngineHost& operator=(const EngineHost&) = delete;

    // Null when the feed could not be created (and after Destroy).
    FeedHandle feed() const { return feed_; }

    // Starts a session: true when FeedStart took it.
    bool Start();
    // Waits for the feed to be Idle, looking every `poll` (whileWaiting() runs at each look
    // that finds it busy); false when it still was at the deadline.
    bool WaitUntilIdle(std::chrono::milliseconds patience,
                       const std::function<void()>& whileWaiting = nullptr,
                       std::chrono::milliseconds poll = std::chrono::milliseconds(2));
    // Start, then WaitUntilIdle.
    bool Play(std::chrono::milliseconds patience,
              const std::function<void()>& whileWaiting = nullptr);
    // Destroys the feed now (joining its threads): what it delivered may then be read freely.
    void Destroy();

    // Given each arrival on the engine's video or audio thread, after it is counted. Set them
    // before the session starts.
    std::function<void(const FrameArrival&)> onFrame;
    std::function<void(const BufferArrival&)> onBuffer;

    // Counted on the engine's threads (which allocate nothing here, so that the memory a test
    // measures is the library's); the counts may be read at any time.
    std::atomic<int> frames{0};
    std::atomic<int> buffers{0};
    std::atomic<std::int64_t> sampleFrames{0};
    std::atomic<int> framesOffFormat{0};  // frames whose size or length is not the format's
    std::atomic<bool> allBlack{true};     // every pixel's B, G and R were 0
    std::atomic<bool> allSilent{true};    // every sample was 0

  private:
    static std::intptr_t FEED_CALL OnFrame(void* user, const std::uint8_t* frame,
                                           std::int32_t length, std::int32_t positionMs,
                                           std::int32_t width, std::int32_t height);
    static std::int32_t FEED_CALL OnBuffer(void* user, const std::uint8_t* buffer,
                                           std::int32_t length, std::int32_t positionMs,
                                           std::int32_t bitsPerSample, std::int32_t sampleRate,
                                           std::int32_t channels);

    OutputFormat format_;
    FeedHandle feed_ = nullptr;
};

// The long source list: `clips` clips of each kind, 40 ms each (a frame per video clip,
// 320 sample frames at 8,000 Hz per audio clip), taken from along the generated media.
constexpr int kLongListClips = kUnderSanitizer ? 200 : 1000;
// Adds the long list to feed; fails at the first source the feed refuses.
::testing::AssertionResult AddLongClipList(FeedHandle feed, int clips = kLongListClips);

}  // namespace support
