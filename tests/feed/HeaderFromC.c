/* The public header as a C host sees it: compiled as C11 with every warning as an error. It
 * names every export and both callback types, so a prototype that is not valid C fails the
 * build. */
#include <feed/feed.h>
#include <stddef.h>
#include <string.h>

#include "tests/support/CHostCallbacks.h"

/* The reader's records have one layout for every host and platform: 8-byte fields on 8-byte
 * offsets, so 32-bit compilers that align doubles to 4 lay them out alike. */
_Static_assert(sizeof(FeedMediaInfo) == 72, "FeedMediaInfo is 72 bytes");
_Static_assert(offsetof(FeedMediaInfo, durationSeconds) == 16, "durationSeconds at 16");
_Static_assert(offsetof(FeedMediaInfo, format) == 40, "format at 40");
_Static_assert(sizeof(FeedStreamInfo) == 136, "FeedStreamInfo is 136 bytes");
_Static_assert(offsetof(FeedStreamInfo, frameCount) == 56, "frameCount at 56");
_Static_assert(offsetof(FeedStreamInfo, bitRate) == 96, "bitRate at 96");
_Static_assert(offsetof(FeedStreamInfo, codec) == 104, "codec at 104");

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

/* The reader's calls against an engine without a reader (the scripted one): each fails with
 * NO_READER, but for plain argument faults, which are reported first. */
int RunReaderWithoutEngineReaderFromC(void) {
    const int64_t index = 0;
    const double second = 0.0;
    uint8_t frame[4] = {0};
    int16_t samples[2] = {0};
    int64_t count = -1;
    int32_t width = -1;
    int32_t rate = -1;
    double time = -1.0;
    int failures = 0;
    FeedMediaInfo media;
    FeedStreamInfo stream;
    FeedReaderHandle reader = FeedReaderOpen("v.mp4");
    if (reader == NULL) {
        return 1;
    }
    failures += FeedReaderGetErrorCode(reader) != FEED_READER_E_NO_READER;
    failures += strcmp(FeedReaderGetErrorText(reader), "the media engine has no file reader") != 0;
    memset(&media, 0, sizeof(media));
    media.size = sizeof(media);
    failures += FeedReaderGetMediaInfo(reader, &media) != 0;
    failures += FeedReaderGetErrorCode(reader) != FEED_READER_E_NO_READER;
    media.size = 8;
    failures += FeedReaderGetMediaInfo(reader, &media) != 0;
    failures += strcmp(FeedReaderGetErrorText(reader),
                       "FeedMediaInfo.size is 8: set it to sizeof(FeedMediaInfo), 72") != 0;
    memset(&stream, 0, sizeof(stream));
    stream.size = 4;
    failures += FeedReaderGetStreamInfo(reader, 0, 1, &stream) != 0;
    failures += FeedReaderGetErrorCode(reader) != FEED_READER_E_BAD_ARGUMENT;
    failures += strstr(FeedReaderGetErrorText(reader), "FeedStreamInfo.size is 4") == NULL;
    failures += FeedReaderSetVideoOutput(reader, 0, 0, 0, 0, FEED_PIXEL_RGB24, 0, &width, NULL,
                                         &count) != 0;
    failures += FeedReaderGetErrorCode(reader) != FEED_READER_E_NO_READER || width != -1;
    failures += FeedReaderReadFrames(reader, &index, 1, frame, sizeof(frame), &time) != 0;
    failures += FeedReaderGetErrorCode(reader) != FEED_READER_E_NO_READER || time != -1.0;
    failures += FeedReaderReadFrames(reader, NULL, 1, frame, sizeof(frame), NULL) != 0;
    failures += strcmp(FeedReaderGetErrorText(reader), "no frame indices") != 0;
    failures += FeedReaderReadFramesAt(reader, &second, 1, frame, sizeof(frame), NULL) != 0;
    failures += FeedReaderGetErrorCode(reader) != FEED_READER_E_NO_READER;
    failures += FeedReaderReadFramesAt(reader, NULL, 1, frame, sizeof(frame), NULL) != 0;
    failures += strcmp(FeedReaderGetErrorText(reader), "no times") != 0;
    failures += FeedReaderSetAudioOutput(reader, 44100, 2, &rate, NULL) != 0 || rate != -1;
    failures += FeedReaderReadAudio(reader, 0.0, 1.0, samples, sizeof(samples), &count) != 0;
    failures += FeedReaderGetErrorCode(reader) != FEED_READER_E_NO_READER || count != -1;
    FeedReaderDestroy(reader);
    FeedReaderDestroy(NULL);
    return failures;
}
