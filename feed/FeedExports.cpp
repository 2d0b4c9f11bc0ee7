// The exported functions: each forwards to the Feed method of the same name. No exception
// crosses this boundary: one that escapes a method (only memory or a thread can run out)
// becomes that call's failure result, reported like a refusal.
#include <feed/feed.h>

#include <new>

#include "feed/Feed.h"

namespace {

template <typename Result, typename Call>
Result Guarded(FeedHandle feed, Result failure, Call call) noexcept {
    try {
        return call();
    } catch (...) {
        feed->ReportOutOfResources();
        return failure;
    }
}

}  // namespace

extern "C" {

FEED_API FeedHandle FEED_CALL FeedCreate(void) {
    try {
        return new Feed();
    } catch (...) {
        return nullptr;
    }
}

FEED_API void FEED_CALL FeedDestroy(FeedHandle feed) {
    Feed::Destroy(feed);
}

FEED_API int32_t FEED_CALL FeedStart(FeedHandle feed) {
    return Guarded(feed, 0, [&] { return feed->Start(); });
}

FEED_API int32_t FEED_CALL FeedPause(FeedHandle feed) {
    return Guarded(feed, 0, [&] { return feed->Pause(); });
}

FEED_API int32_t FEED_CALL FeedStop(FeedHandle feed) {
    return Guarded(feed, 0, [&] { return feed->Stop(); });
}

FEED_API FeedState FEED_CALL FeedGetState(FeedHandle feed) {
    return feed->GetState();
}

FEED_API int32_t FEED_CALL FeedGetDuration(FeedHandle feed) {
    return feed->GetDuration();
}

FEED_API void FEED_CALL FeedGetPosition(FeedHandle feed, int32_t* videoMs, int32_t* audioMs) {
    feed->GetPosition(videoMs, audioMs);
}

FEED_API int32_t FEED_CALL FeedGetErrorCode(FeedHandle feed) {
    return feed->GetErrorCode();
}

FEED_API const char* FEED_CALL FeedGetErrorText(FeedHandle feed) {
    return feed->GetErrorText();
}

FEED_API int32_t FEED_CALL FeedAddVideoSource(FeedHandle feed, const char* fileName,
                                              int32_t startMs, int32_t stopMs) {
    return Guarded(feed, -1, [&] { return feed->AddVideoSource(fileName, startMs, stopMs); });
}

FEED_API int32_t FEED_CALL FeedAddVideoSourceEx(FeedHandle feed, const char* fileName,
                                                const int32_t* cropRect, int32_t clipParam,
                                                int32_t startMs, int32_t stopMs) {
    return Guarded(feed, -1, [&] {
        return feed->AddVideoSourceEx(fileName, cropRect, clipParam, startMs, stopMs);
    });
}

FEED_API int32_t FEED_CALL FeedAddAudioSource(FeedHandle feed, const char* fileName,
                                              int32_t startMs, int32_t stopMs) {
    return Guarded(feed, -1, [&] { return feed->AddAudioSource(fileName, startMs, stopMs); });
}

FEED_API int32_t FEED_CALL FeedRemoveSource(FeedHandle feed, int32_t id) {
    return feed->RemoveSource(id);
}

FEED_API int32_t FEED_CALL FeedClearSources(FeedHandle feed) {
    return feed->ClearSources();
}

FEED_API int32_t FEED_CALL FeedSetSourceTimes(FeedHandle feed, int32_t id, int32_t startMs,
                                              int32_t stopMs) {
    return feed->SetSourceTimes(id, startMs, stopMs);
}

FEED_API int32_t FEED_CALL FeedGetSourceTimes(FeedHandle feed, int32_t id, int32_t* startMs,
                                              int32_t* stopMs) {
    return feed->GetSourceTimes(id, startMs, stopMs);
}

FEED_API int32_t FEED_CALL FeedSetAudioSampleRate(FeedHandle feed, int32_t rate) {
    return feed->SetAudioSampleRate(rate);
}

FEED_API int32_t FEED_CALL FeedSetVideoSize(FeedHandle feed, int32_t width, int32_t height) {
    return feed->SetVideoSize(width, height);
}

FEED_API int32_t FEED_CALL FeedSetFrameRate(FeedHandle feed, double framesPerSecond) {
    return feed->SetFrameRate(framesPerSecond);
}

FEED_API int32_t FEED_CALL FeedSetAudioChannels(FeedHandle feed, int32_t channels) {
    return feed->SetAudioChannels(channels);
}

FEED_API int32_t FEED_CALL FeedSetAudioFade(FeedHandle feed, int32_t fadeIn, int32_t fadeInMs,
                                            int32_t fadeOut, int32_t fadeOutMs) {
    return feed->SetAudioFade(fadeIn, fadeInMs, fadeOut, fadeOutMs);
}

FEED_API int32_t FEED_CALL FeedSetVideoFade(FeedHandle feed, int32_t fadeIn, int32_t fadeInMs,
                                            uint32_t fadeInColour, int32_t fadeOut,
                                            int32_t fadeOutMs, uint32_t fadeOutColour) {
    return feed->SetVideoFade(fadeIn, fadeInMs, fadeInColour, fadeOut, fadeOutMs, fadeOutColour);
}

FEED_API VideoFrameCallback FEED_CALL FeedSetVideoCallback(FeedHandle feed,
                                                           VideoFrameCallback callback,
                                                           void* user) {
    return feed->SetVideoCallback(callback, user);
}

FEED_API AudioBufferCallback FEED_CALL FeedSetAudioCallback(FeedHandle feed,
                                                            AudioBufferCallback callback,
                                                            void* user) {
    return feed->SetAudioCallback(callback, user);
}

FEED_API int32_t FEED_CALL FeedSetClipMode(FeedHandle feed, int32_t mode) {
    return feed->SetClipMode(mode);
}

FEED_API int32_t FEED_CALL FeedSetSyncEnabled(FeedHandle feed, int32_t enabled) {
    return feed->SetSyncEnabled(enabled);
}

}  // extern "C"
