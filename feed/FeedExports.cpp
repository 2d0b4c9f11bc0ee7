// The exported functions: each forwards to the Feed method of the same name. No exception
// crosses this boundary: one that escapes a method (only memory or a thread can run out)
// becomes that call's failure result, reported like a refusal.
#include <feed/feed.h>

#include <new>

#include "feed/Feed.h"

namespace {

// A handle is the address of the feed, under a type that hosts cannot name.
feed::Feed* FeedFromHandle(FeedHandle handle) {
    return reinterpret_cast<feed::Feed*>(handle);
}

// Runs a reporting call; an exception it lets out becomes `failure`, reported as out of resources.
template <typename Result, typename Call>
Result CallReportingThrows(FeedHandle feed, Result failure, Call call) noexcept {
    try {
        return call();
    } catch (...) {
        FeedFromHandle(feed)->ReportOutOfResources();
        return failure;
    }
}

}  // namespace

extern "C" {

FEED_API FeedHandle FEED_CALL FeedCreate(void) {
    try {
        return reinterpret_cast<FeedHandle>(new feed::Feed());
    } catch (...) {
        return nullptr;
    }
}

FEED_API void FEED_CALL FeedDestroy(FeedHandle feed) {
    feed::Feed::Destroy(FeedFromHandle(feed));
}

FEED_API int32_t FEED_CALL FeedStart(FeedHandle feed) {
    return CallReportingThrows(feed, 0, [&] { return FeedFromHandle(feed)->Start(); });
}

FEED_API int32_t FEED_CALL FeedPause(FeedHandle feed) {
    return CallReportingThrows(feed, 0, [&] { return FeedFromHandle(feed)->Pause(); });
}

FEED_API int32_t FEED_CALL FeedStop(FeedHandle feed) {
    return CallReportingThrows(feed, 0, [&] { return FeedFromHandle(feed)->Stop(); });
}

FEED_API FeedState FEED_CALL FeedGetState(FeedHandle feed) {
    return FeedFromHandle(feed)->GetState();
}

FEED_API int32_t FEED_CALL FeedGetDuration(FeedHandle feed) {
    return FeedFromHandle(feed)->GetDuration();
}

FEED_API void FEED_CALL FeedGetPosition(FeedHandle feed, int32_t* videoMs, int32_t* audioMs) {
    FeedFromHandle(feed)->GetPosition(videoMs, audioMs);
}

FEED_API int32_t FEED_CALL FeedGetErrorCode(FeedHandle feed) {
    return FeedFromHandle(feed)->GetErrorCode();
}

FEED_API const char* FEED_CALL FeedGetErrorText(FeedHandle feed) {
    return FeedFromHandle(feed)->GetErrorText();
}

FEED_API int32_t FEED_CALL FeedAddVideoSource(FeedHandle feed, const char* fileName,
                                              int32_t startMs, int32_t stopMs) {
    return CallReportingThrows(
        feed, -1, [&] { return FeedFromHandle(feed)->AddVideoSource(fileName, startMs, stopMs); });
}

FEED_API int32_t FEED_CALL FeedAddVideoSourceEx(FeedHandle feed, const char* fileName,
                                                const int32_t* cropRect, int32_t clipParam,
                                                int32_t startMs, int32_t stopMs) {
    return CallReportingThrows(feed, -1, [&] {
        return FeedFromHandle(feed)->AddVideoSourceEx(fileName, cropRect, clipParam, startMs,
                                                      stopMs);
    });
}

FEED_API int32_t FEED_CALL FeedAddAudioSource(FeedHandle feed, const char* fileName,
                                              int32_t startMs, int32_t stopMs) {
    return CallReportingThrows(
        feed, -1, [&] { return FeedFromHandle(feed)->AddAudioSource(fileName, startMs, stopMs); });
}

FEED_API int32_t FEED_CALL FeedRemoveSource(FeedHandle feed, int32_t id) {
    return FeedFromHandle(feed)->RemoveSource(id);
}

FEED_API int32_t FEED_CALL FeedClearSources(FeedHandle feed) {
    return FeedFromHandle(feed)->ClearSources();
}

FEED_API int32_t FEED_CALL FeedSetSourceTimes(FeedHandle feed, int32_t id, int32_t startMs,
                                              int32_t stopMs) {
    return FeedFromHandle(feed)->SetSourceTimes(id, startMs, stopMs);
}

FEED_API int32_t FEED_CALL FeedGetSourceTimes(FeedHandle feed, int32_t id, int32_t* startMs,
                                              int32_t* stopMs) {
    return FeedFromHandle(feed)->GetSourceTimes(id, startMs, stopMs);
}

FEED_API int32_t FEED_CALL FeedSetAudioSampleRate(FeedHandle feed, int32_t rate) {
    return FeedFromHandle(feed)->SetAudioSampleRate(rate);
}

FEED_API int32_t FEED_CALL FeedSetVideoSize(FeedHandle feed, int32_t width, int32_t height) {
    return FeedFromHandle(feed)->SetVideoSize(width, height);
}

FEED_API int32_t FEED_CALL FeedSetFrameRate(FeedHandle feed, double framesPerSecond) {
    return FeedFromHandle(feed)->SetFrameRate(framesPerSecond);
}

FEED_API int32_t FEED_CALL FeedSetAudioChannels(FeedHandle feed, int32_t channels) {
    return FeedFromHandle(feed)->SetAudioChannels(channels);
}

FEED_API int32_t FEED_CALL FeedSetAudioFade(FeedHandle feed, int32_t fadeIn, int32_t fadeInMs,
                                            int32_t fadeOut, int32_t fadeOutMs) {
    return FeedFromHandle(feed)->SetAudioFade(fadeIn, fadeInMs, fadeOut, fadeOutMs);
}

FEED_API int32_t FEED_CALL FeedSetVideoFade(FeedHandle feed, int32_t fadeIn, int32_t fadeInMs,
                                            uint32_t fadeInColour, int32_t fadeOut,
                                            int32_t fadeOutMs, uint32_t fadeOutColour) {
    return FeedFromHandle(feed)->SetVideoFade(fadeIn, fadeInMs, fadeInColour, fadeOut, fadeOutMs,
                                              fadeOutColour);
}

FEED_API FeedVideoFrameCallback FEED_CALL FeedSetVideoCallback(FeedHandle feed,
                                                               FeedVideoFrameCallback callback,
                                                               void* user) {
    return FeedFromHandle(feed)->SetVideoCallback(callback, user);
}

FEED_API FeedAudioBufferCallback FEED_CALL FeedSetAudioCallback(FeedHandle feed,
                                                                FeedAudioBufferCallback callback,
                                                                void* user) {
    return FeedFromHandle(feed)->SetAudioCallback(callback, user);
}

FEED_API int32_t FEED_CALL FeedSetClipMode(FeedHandle feed, int32_t mode) {
    return FeedFromHandle(feed)->SetClipMode(mode);
}

FEED_API int32_t FEED_CALL FeedSetSyncEnabled(FeedHandle feed, int32_t enabled) {
    return FeedFromHandle(feed)->SetSyncEnabled(enabled);
}

FEED_API FeedEndReason FEED_CALL FeedGetEndReason(FeedHandle feed, char* message,
                                                  int32_t messageSize) {
    return FeedFromHandle(feed)->GetEndReason(message, messageSize);
}

FEED_API int32_t FEED_CALL FeedGetSourceOutcome(FeedHandle feed, int32_t id,
                                                FeedSourceOutcome* outcome) {
    return FeedFromHandle(feed)->GetSourceOutcome(id, outcome);
}

FEED_API int32_t FEED_CALL FeedGetVersion(void) {
    return FEED_VERSION_NUMBER;
}

}  // extern "C"
