#include "tests/support/EngineHost.h"

#include "tests/support/Waiting.h"
#include "tests/support/media/TestMedia.h"

namespace support {

EngineHost::EngineHost(const OutputFormat& format) : format_(format), feed_(FeedCreate()) {
    if (feed_ == nullptr) {
        return;
    }
    FeedSetVideoCallback(feed_, OnFrame, this);
    FeedSetAudioCallback(feed_, OnBuffer, this);
    FeedSetVideoSize(feed_, format.width, format.height);
    FeedSetFrameRate(feed_, format.frameRate);
    if (format.sampleRate) {
        FeedSetAudioSampleRate(feed_, *format.sampleRate);
    }
    if (format.channels) {
        FeedSetAudioChannels(feed_, *format.channels);
    }
}

EngineHost::~EngineHost() {
    Destroy();
}

bool EngineHost::Start() {
    return FeedStart(feed_) == 1;
}

bool EngineHost::WaitUntilIdle(std::chrono::milliseconds patience,
                               const std::function<void()>& whileWaiting,
                               std::chrono::milliseconds poll) {
    return support::WaitUntilIdle(feed_, patience, poll, [&] {
        if (whileWaiting) {
            whileWaiting();
        }
    });
}

bool EngineHost::Play(std::chrono::milliseconds patience,
                      const std::function<void()>& whileWaiting) {
    return Start() && WaitUntilIdle(patience, whileWaiting);
}

void EngineHost::Destroy() {
    FeedDestroy(feed_);
    feed_ = nullptr;
}

std::intptr_t FEED_CALL EngineHost::OnFrame(void* user, const std::uint8_t* frame,
                                            std::int32_t length, std::int32_t positionMs,
                                            std::int32_t width, std::int32_t height) {
    auto& host = *static_cast<EngineHost*>(user);
    const int index = host.frames++;
    if (width != host.format_.width || height != host.format_.height ||
        length != width * height * 4) {
        ++host.framesOffFormat;
    }
    bool black = true;
    for (std::int32_t i = 0; i + 3 < length && black; i += 4) {
        black = frame[i] == 0 && frame[i + 1] == 0 && frame[i + 2] == 0;
    }
    if (!black) {
        host.allBlack = false;
    }
    if (host.onFrame) {
        host.onFrame(FrameArrival{index, black, frame, length, positionMs, width, height});
    }
    return reinterpret_cast<std::intptr_t>(frame);
}

std::int32_t FEED_CALL EngineHost::OnBuffer(void* user, const std::uint8_t* buffer,
                                            std::int32_t length, std::int32_t positionMs,
                                            std::int32_t, std::int32_t, std::int32_t channels) {
    auto& host = *static_cast<EngineHost*>(user);
    const int index = host.buffers++;
    const std::int64_t before = host.sampleFrames.fetch_add(length / (2 * channels));
    for (std::int32_t i = 0; i < length; ++i) {
        if (buffer[i] != 0) {
            host.allSilent = false;
            break;
        }
    }
    if (host.onBuffer) {
        host.onBuffer(BufferArrival{index, before, buffer, length, positionMs, channels});
    }
    return 0;
}

::testing::AssertionResult AddLongClipList(FeedHandle feed, int clips) {
    const testmedia::Files& media = testmedia::Media();
    for (int i = 0; i < clips; ++i) {
        const int startMs = (i * 40) % 1400;
        if (FeedAddVideoSource(feed, media.videoOnly.c_str(), startMs, startMs + 40) <= 0) {
            return ::testing::AssertionFailure() << "video clip " << i << " was refused";
        }
        if (FeedAddAudioSource(feed, media.ramp.c_str(), startMs, startMs + 40) <= 0) {
            return ::testing::AssertionFailure() << "audio clip " << i << " was refused";
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace support
