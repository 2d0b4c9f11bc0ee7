#include "session/Delivery.h"

#include "engine/TimeUnits.h"
#include "session/FadeLevels.h"
#include "session/SharedFeedState.h"

namespace session {

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

thread_local const SharedFeedState* tDeliveringFor = nullptr;

// Marks the current thread as delivering for one session while it is in scope.
class DeliveryScope {
  public:
    explicit DeliveryScope(const SharedFeedState& feed) : previous_(tDeliveringFor) {
        tDeliveringFor = &feed;
    }
    ~DeliveryScope() { tDeliveringFor = previous_; }
    DeliveryScope(const DeliveryScope&) = delete;
    DeliveryScope& operator=(const DeliveryScope&) = delete;

  private:
    const SharedFeedState* previous_;
};

VideoFadeParams ReadVideoFade(const FadeSettings& fades) {
    VideoFadeParams params;
    params.fadeIn = fades.videoFadeIn.load(kRelaxed) != 0;
    params.fadeInMs = fades.videoFadeInMs.load(kRelaxed);
    params.fadeInColour = fades.fadeInColour.load(kRelaxed);
    params.fadeOut = fades.videoFadeOut.load(kRelaxed) != 0;
    params.fadeOutMs = fades.videoFadeOutMs.load(kRelaxed);
    params.fadeOutColour = fades.fadeOutColour.load(kRelaxed);
    return params;
}

// Holds a delivery while the feed is paused; then true while it runs, false once it is stopped,
// when the delivery is to go no further.
bool RunningAfterPause(const SharedFeedState& feed) {
    return feed.state.WaitWhilePaused() != FEED_STATE_IDLE;
}

AudioFadeParams ReadAudioFade(const FadeSettings& fades) {
    AudioFadeParams params;
    params.fadeIn = fades.audioFadeIn.load(kRelaxed) != 0;
    params.fadeInMs = fades.audioFadeInMs.load(kRelaxed);
    params.fadeOut = fades.audioFadeOut.load(kRelaxed) != 0;
    params.fadeOutMs = fades.audioFadeOutMs.load(kRelaxed);
    return params;
}

}  // namespace

bool IsInsideDelivery(const SharedFeedState& feed) {
    return tDeliveringFor == &feed;
}

std::intptr_t TARN_CALL OnVideoFrame(void* context, const void* format, std::uint8_t* data,
                                     std::int32_t length, std::int64_t start,
                                     std::int64_t /*duration*/) {
    SharedFeedState& feed = *static_cast<SharedFeedState*>(context);
    const DeliveryScope scope(feed);
    if (!RunningAfterPause(feed)) {
        return reinterpret_cast<std::intptr_t>(data);
    }

    if (IAudioVideoSync* sync = feed.syncObject.load(kRelaxed)) {
        sync->NotifyVideoTime(start);
    }
    const std::int32_t positionMs = UnitsToMsTruncated(start);
    feed.videoPositionMs.store(positionMs, kRelaxed);

    const std::uint8_t* frame = data;
    const VideoFadeStep fade =
        VideoFadeFor(ReadVideoFade(feed.fades), start, feed.durationMs.load(kRelaxed));
    if (fade.blend && length > 0) {
        // Without a scratch frame the frame goes on unblended rather than not at all.
        if (std::uint8_t* scratch = feed.fadeBuffer.Reserve(static_cast<std::size_t>(length))) {
            feed.blender.Blend(scratch, fade.colour, data, static_cast<std::uint32_t>(length),
                               fade.level);
            frame = scratch;
        }
    }

    const FeedVideoFrameCallback callback = feed.callbacks.videoCallback.load(kRelaxed);
    if (callback == nullptr || !RunningAfterPause(feed)) {
        return reinterpret_cast<std::intptr_t>(frame);
    }
    const auto* record = static_cast<const BITMAPINFOHEADER*>(format);
    return callback(feed.callbacks.videoUser.load(kRelaxed), frame, length, positionMs,
                    record != nullptr ? record->biWidth : 0,
                    record != nullptr ? record->biHeight : 0);
}

std::intptr_t TARN_CALL OnAudioBuffer(void* context, const void* format, std::uint8_t* data,
                                      std::int32_t length, std::int64_t start,
                                      std::int64_t duration) {
    SharedFeedState& feed = *static_cast<SharedFeedState*>(context);
    const DeliveryScope scope(feed);
    if (!RunningAfterPause(feed)) {
        return 0;
    }

    if (IAudioVideoSync* sync = feed.syncObject.load(kRelaxed)) {
        sync->NotifyAudioTime(start);
    }
    const std::int32_t positionMs = UnitsToMsTruncated(start);
    feed.audioPositionMs.store(positionMs, kRelaxed);

    const auto* record = static_cast<const WAVEFORMATEX*>(format);
    const std::int32_t channels = record != nullptr ? record->nChannels : 0;
    const std::uint32_t sampleRate = record != nullptr ? record->nSamplesPerSec : 0;
    const std::int32_t bitsPerSample = record != nullptr ? record->wBitsPerSample : 0;

    const AudioFadeStep fade =
        AudioFadeFor(ReadAudioFade(feed.fades), positionMs, duration,
                     feed.durationMs.load(kRelaxed), {length, channels, sampleRate});
    if (fade.frames > 0) {
        ScaleSamples(data, fade.frames * channels, fade.gain);
    }

    const FeedAudioBufferCallback callback = feed.callbacks.audioCallback.load(kRelaxed);
    if (callback == nullptr || !RunningAfterPause(feed)) {
        return 0;
    }
    return callback(feed.callbacks.audioUser.load(kRelaxed), data, length, positionMs,
                    bitsPerSample, static_cast<std::int32_t>(sampleRate), channels);
}

}  // namespace session
