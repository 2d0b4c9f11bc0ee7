/* The public header as a C host sees it: compiled as C11 with every warning as an error. It
 * names every export and both callback types, so a prototype that is not valid C fails the
 * build. */
#include <feed/feed.h>
#include <stddef.h>

static intptr_t FEED_CALL OnFrame(void* user, const uint8_t* frame, int32_t length,
                                  int32_t positionMs, int32_t width, int32_t height) {
    (void)user;
    (void)length;
    (void)positionMs;
    (void)width;
    (void)height;
    return (intptr_t)frame;
}

static int32_t FEED_CALL OnBuffer(void* user, const uint8_t* buffer, int32_t length,
                                  int32_t positionMs, int32_t bitsPerSample, int32_t sampleRate,
                                  int32_t channels) {
    (void)user;
    (void)buffer;
    (void)positionMs;
    (void)bitsPerSample;
    (void)sampleRate;
    (void)channels;
    return length;
}

/* Runs a feed through the C interface; returns 0 when every result is what a host expects. */
int RunFeedFromC(void) {
    const int32_t crop[4] = {-1, -1, -1, -1};
    int32_t start = 0;
    int32_t stop = 0;
    int failures = 0;
    FeedHandle feed = FeedCreate();
    if (feed == NULL) {
        return 1;
    }
    failures += FeedGetState(feed) != FEED_STATE_IDLE;
    failures += FeedAddVideoSource(feed, "v.mp4", 0, 1000) != 1;
    failures += FeedAddVideoSourceEx(feed, "v.mp4", crop, 0, 0, 1000) != 2;
    failures += FeedAddAudioSource(feed, "a.mp3", 0, 1000) != 3;
    failures += FeedSetSourceTimes(feed, 1, 10, 20) != 1;
    failures += FeedGetSourceTimes(feed, 1, &start, &stop) != 1 || start != 10 || stop != 20;
    failures += FeedRemoveSource(feed, 3) != 1;
    failures += FeedSetAudioSampleRate(feed, 48000) != 1;
    failures += FeedSetVideoSize(feed, 320, 240) != 1;
    failures += FeedSetFrameRate(feed, 25.0) != 1;
    failures += FeedSetAudioChannels(feed, 2) != 1;
    failures += FeedSetAudioFade(feed, 1, 100, 1, 100) != 1;
    failures += FeedSetVideoFade(feed, 1, 100, 0, 1, 100, FEED_KEEP_COLOUR) != 1;
    failures += FeedSetVideoCallback(feed, OnFrame, NULL) != OnFrame;
    failures += FeedSetAudioCallback(feed, OnBuffer, NULL) != OnBuffer;
    failures += FeedSetClipMode(feed, 1) != 1;
    failures += FeedSetSyncEnabled(feed, 1) != 1;
    failures += FeedPause(feed) != 0;
    failures += FeedGetErrorCode(feed) != -1 || FeedGetErrorText(feed)[0] == '\0';
    failures += FeedStop(feed) != 0;
    failures += FeedGetDuration(feed) != -1;
    FeedGetPosition(feed, &start, &stop);
    failures += start != -1 || stop != -1;
    failures += FeedClearSources(feed) != 1;
    failures += FeedStart(feed) != 0;
    FeedDestroy(feed);
    return failures;
}
