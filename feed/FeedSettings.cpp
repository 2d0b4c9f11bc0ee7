// The setters. The four format setters are refused while a session is Running or Paused, so
// a session's format is fixed for its whole run. The others may be called at any time and
// never report: fades and callbacks reach the next frame or buffer, the clip mode and the
// sync switch the next session.
#include <atomic>
#include <cstdint>

#include "feed/Feed.h"

namespace feed {

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;

// A fade length of 0 or less keeps the old one, so lengths stay above 0.
void StoreFadeLength(std::atomic<std::int32_t>& length, std::int32_t ms) {
    if (ms > 0) {
        length.store(ms, kRelaxed);
    }
}

// FEED_KEEP_COLOUR keeps the old fade colour.
void StoreFadeColour(std::atomic<std::uint32_t>& colour, std::uint32_t value) {
    if (value != FEED_KEEP_COLOUR) {
        colour.store(value, kRelaxed);
    }
}

}  // namespace

std::int32_t Feed::SetAudioSampleRate(std::int32_t rate) {
    if (busy()) {
        return Refuse(kFeedWrongState, 0);
    }
    shared_.format.sampleRate = rate;  // any value; the engine decides what 0 means
    return Succeed(1);
}

std::int32_t Feed::SetVideoSize(std::int32_t width, std::int32_t height) {
    if (busy()) {
        return Refuse(kFeedWrongState, 0);
    }
    // The largest odd width cannot be rounded up to even within 32 bits.
    if (width <= 0 || width == INT32_MAX) {
        report_.Fail(kBadVideoWidth);
        return 0;
    }
    shared_.format.videoWidth = width % 2 == 0 ? width : width + 1;
    if (height <= 0) {
        // Only the height is refused: the width stored above stays.
        report_.Fail(kBadVideoHeight);
        return 0;
    }
    shared_.format.videoHeight = height;
    return Succeed(1);
}

std::int32_t Feed::SetFrameRate(double framesPerSecond) {
    if (busy()) {
        return Refuse(kFeedWrongState, 0);
    }
    if (!(framesPerSecond >= 0.0)) {
        return 0;  // negative or not a number: refused without a report
    }
    shared_.format.frameRate = framesPerSecond;
    return 1;
}

std::int32_t Feed::SetAudioChannels(std::int32_t channels) {
    if (busy()) {
        return Refuse(kFeedWrongState, 0);
    }
    if (channels <= 0) {
        report_.Fail(kBadChannelCount);
        return 0;
    }
    if (channels >= 3) {
        report_.Fail(kTooManyChannels);
        return 0;
    }
    shared_.format.channels = channels;
    return Succeed(1);
}

std::int32_t Feed::SetAudioFade(std::int32_t fadeIn, std::int32_t fadeInMs, std::int32_t fadeOut,
                                std::int32_t fadeOutMs) {
    session::FadeSettings& fades = shared_.fades;
    fades.audioFadeIn.store(fadeIn, kRelaxed);
    fades.audioFadeOut.store(fadeOut, kRelaxed);
    StoreFadeLength(fades.audioFadeInMs, fadeInMs);
    StoreFadeLength(fades.audioFadeOutMs, fadeOutMs);
    return 1;
}

std::int32_t Feed::SetVideoFade(std::int32_t fadeIn, std::int32_t fadeInMs,
                                std::uint32_t fadeInColour, std::int32_t fadeOut,
                                std::int32_t fadeOutMs, std::uint32_t fadeOutColour) {
    session::FadeSettings& fades = shared_.fades;
    fades.videoFadeIn.store(fadeIn, kRelaxed);
    fades.videoFadeOut.store(fadeOut, kRelaxed);
    StoreFadeLength(fades.videoFadeInMs, fadeInMs);
    StoreFadeLength(fades.videoFadeOutMs, fadeOutMs);
    StoreFadeColour(fades.fadeInColour, fadeInColour);
    StoreFadeColour(fades.fadeOutColour, fadeOutColour);
    return 1;
}

FeedVideoFrameCallback Feed::SetVideoCallback(FeedVideoFrameCallback callback, void* user) {
    shared_.callbacks.videoCallback.store(callback, kRelaxed);
    shared_.callbacks.videoUser.store(user, kRelaxed);
    return callback;
}

FeedAudioBufferCallback Feed::SetAudioCallback(FeedAudioBufferCallback callback, void* user) {
    shared_.callbacks.audioCallback.store(callback, kRelaxed);
    shared_.callbacks.audioUser.store(user, kRelaxed);
    return callback;
}

std::int32_t Feed::SetClipMode(std::int32_t mode) {
    shared_.clipMode.store(mode, kRelaxed);
    return mode;
}

std::int32_t Feed::SetSyncEnabled(std::int32_t enabled) {
    shared_.syncEnabled.store(enabled, kRelaxed);
    return enabled;
}

}  // namespace feed
