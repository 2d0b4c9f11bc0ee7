/* A host that uses feed.dll the way Windows hosts do: it loads the DLL, resolves every
 * function by ordinal only (the DLL carries no export names), checks that each ordinal leads
 * to the right function by something only that function does, and runs a short session
 * against the TARN.dll next to it. Exits 0 when all is well. Usage: OrdinalHost [feed.dll] */
#include <feed/feed.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "tests/support/CHostCallbacks.h"

typedef FeedHandle(FEED_CALL* CreateFn)(void);
typedef void(FEED_CALL* DestroyFn)(FeedHandle);
typedef int32_t(FEED_CALL* FeedFn)(FeedHandle);
typedef const char*(FEED_CALL* TextFn)(FeedHandle);
typedef void(FEED_CALL* PositionFn)(FeedHandle, int32_t*, int32_t*);
typedef int32_t(FEED_CALL* AddFn)(FeedHandle, const char*, int32_t, int32_t);
typedef int32_t(FEED_CALL* AddExFn)(FeedHandle, const char*, const int32_t*, int32_t, int32_t,
                                    int32_t);
typedef int32_t(FEED_CALL* IntFn)(FeedHandle, int32_t);
typedef int32_t(FEED_CALL* IntIntFn)(FeedHandle, int32_t, int32_t);
typedef int32_t(FEED_CALL* TimesFn)(FeedHandle, int32_t, int32_t, int32_t);
typedef int32_t(FEED_CALL* GetTimesFn)(FeedHandle, int32_t, int32_t*, int32_t*);
typedef int32_t(FEED_CALL* RateFn)(FeedHandle, double);
typedef FeedEndReason(FEED_CALL* EndReasonFn)(FeedHandle, char*, int32_t);
typedef int32_t(FEED_CALL* OutcomeFn)(FeedHandle, int32_t, FeedSourceOutcome*);
typedef int32_t(FEED_CALL* VersionFn)(void);
typedef int32_t(FEED_CALL* AudioFadeFn)(FeedHandle, int32_t, int32_t, int32_t, int32_t);
typedef int32_t(FEED_CALL* VideoFadeFn)(FeedHandle, int32_t, int32_t, uint32_t, int32_t, int32_t,
                                        uint32_t);
typedef FeedVideoFrameCallback(FEED_CALL* VideoCallbackFn)(FeedHandle, FeedVideoFrameCallback,
                                                           void*);
typedef FeedAudioBufferCallback(FEED_CALL* AudioCallbackFn)(FeedHandle, FeedAudioBufferCallback,
                                                            void*);
typedef FeedReaderHandle(FEED_CALL* ReaderOpenFn)(const char*);
typedef void(FEED_CALL* ReaderDestroyFn)(FeedReaderHandle);
typedef FeedReaderError(FEED_CALL* ReaderCodeFn)(FeedReaderHandle);
typedef const char*(FEED_CALL* ReaderTextFn)(FeedReaderHandle);
typedef int32_t(FEED_CALL* MediaInfoFn)(FeedReaderHandle, FeedMediaInfo*);
typedef int32_t(FEED_CALL* StreamInfoFn)(FeedReaderHandle, int32_t, int32_t, FeedStreamInfo*);
typedef int32_t(FEED_CALL* VideoOutputFn)(FeedReaderHandle, int32_t, int32_t, int32_t, uint32_t,
                                          FeedPixelFormat, int32_t, int32_t*, int32_t*, int64_t*);
typedef int32_t(FEED_CALL* ReadFramesFn)(FeedReaderHandle, const int64_t*, int32_t, uint8_t*,
                                         int64_t, double*);
typedef int32_t(FEED_CALL* ReadFramesAtFn)(FeedReaderHandle, const double*, int32_t, uint8_t*,
                                           int64_t, double*);
typedef int32_t(FEED_CALL* AudioOutputFn)(FeedReaderHandle, int32_t, int32_t, int32_t*, int32_t*);
typedef int32_t(FEED_CALL* ReadAudioFn)(FeedReaderHandle, double, double, int16_t*, int64_t,
                                        int64_t*);

static int failures = 0;

static void Check(int ok, const char* what) {
    if (!ok) {
        printf("FAILED: %s\n", what);
        ++failures;
    }
}

static HMODULE feedDll;

/* The export at ordinal, or NULL (and a failure). */
static void (*Resolve(int ordinal))(void) {
    FARPROC address = GetProcAddress(feedDll, MAKEINTRESOURCEA(ordinal));
    if (address == NULL) {
        printf("FAILED: no export at ordinal %d\n", ordinal);
        ++failures;
    }
    return (void (*)(void))address;
}

/* Waits up to limitMs for the feed to be idle again. */
static int WaitForIdle(FeedFn getState, FeedHandle feed, int limitMs) {
    int waited = 0;
    while (getState(feed) != FEED_STATE_IDLE && waited < limitMs) {
        Sleep(10);
        waited += 10;
    }
    return getState(feed) == FEED_STATE_IDLE;
}

int main(int argc, char** argv) {
    const char* path = argc > 1 ? argv[1] : "feed.dll";
    feedDll = LoadLibraryA(path);
    if (feedDll == NULL) {
        printf("FAILED: LoadLibrary(%s), error %lu\n", path, (unsigned long)GetLastError());
        return 1;
    }
    /* Ordinals that stay unused resolve to nothing. */
    {
        static const int unused[] = {98, 106, 110, 114, 127, 128, 129, 146};
        size_t i;
        for (i = 0; i < sizeof(unused) / sizeof(unused[0]); ++i) {
            Check(GetProcAddress(feedDll, MAKEINTRESOURCEA(unused[i])) == NULL,
                  "an unused ordinal resolves to nothing");
        }
        Check(GetProcAddress(feedDll, "FeedCreate") == NULL, "no export by name");
    }

    AddExFn addVideoEx = (AddExFn)Resolve(99);
    AddFn addVideo = (AddFn)Resolve(100);
    AddFn addAudio = (AddFn)Resolve(101);
    IntFn removeSource = (IntFn)Resolve(102);
    FeedFn clearSources = (FeedFn)Resolve(103);
    TimesFn setTimes = (TimesFn)Resolve(104);
    GetTimesFn getTimes = (GetTimesFn)Resolve(105);
    TextFn errorText = (TextFn)Resolve(107);
    FeedFn errorCode = (FeedFn)Resolve(108);
    IntFn setSampleRate = (IntFn)Resolve(109);
    IntIntFn setVideoSize = (IntIntFn)Resolve(111);
    RateFn setFrameRate = (RateFn)Resolve(112);
    IntFn setChannels = (IntFn)Resolve(113);
    AudioFadeFn setAudioFade = (AudioFadeFn)Resolve(115);
    VideoFadeFn setVideoFade = (VideoFadeFn)Resolve(116);
    VideoCallbackFn setVideoCallback = (VideoCallbackFn)Resolve(117);
    AudioCallbackFn setAudioCallback = (AudioCallbackFn)Resolve(118);
    FeedFn getDuration = (FeedFn)Resolve(119);
    PositionFn getPosition = (PositionFn)Resolve(120);
    FeedFn start = (FeedFn)Resolve(121);
    FeedFn pause = (FeedFn)Resolve(122);
    FeedFn stop = (FeedFn)Resolve(123);
    FeedFn getState = (FeedFn)Resolve(124);
    CreateFn create = (CreateFn)Resolve(125);
    DestroyFn destroy = (DestroyFn)Resolve(126);
    IntFn setClipMode = (IntFn)Resolve(130);
    IntFn setSync = (IntFn)Resolve(131);
    ReaderOpenFn readerOpen = (ReaderOpenFn)Resolve(132);
    ReaderDestroyFn readerDestroy = (ReaderDestroyFn)Resolve(133);
    ReaderCodeFn readerCode = (ReaderCodeFn)Resolve(134);
    ReaderTextFn readerText = (ReaderTextFn)Resolve(135);
    MediaInfoFn mediaInfo = (MediaInfoFn)Resolve(136);
    StreamInfoFn streamInfo = (StreamInfoFn)Resolve(137);
    VideoOutputFn videoOutput = (VideoOutputFn)Resolve(138);
    ReadFramesFn readFrames = (ReadFramesFn)Resolve(139);
    ReadFramesAtFn readFramesAt = (ReadFramesAtFn)Resolve(140);
    AudioOutputFn audioOutput = (AudioOutputFn)Resolve(141);
    ReadAudioFn readAudio = (ReadAudioFn)Resolve(142);
    EndReasonFn getEndReason = (EndReasonFn)Resolve(143);
    OutcomeFn getSourceOutcome = (OutcomeFn)Resolve(144);
    VersionFn getVersion = (VersionFn)Resolve(145);
    if (failures != 0) {
        return 1;
    }

    FeedHandle feed = create();
    Check(feed != NULL, "125 creates a feed");
    if (feed == NULL) {
        return 1;
    }
    Check(getState(feed) == FEED_STATE_IDLE, "124 gives Idle for a new feed");
    Check(start(feed) == 0, "121 refuses an empty source list");
    Check(strcmp(errorText(feed), "No inut file") == 0, "107 gives the refusal's text");
    Check(errorCode(feed) == -1, "108 gives -1 after a refusal");

    /* Sources. */
    int32_t startMs = 0;
    int32_t stopMs = 0;
    Check(addVideo(feed, "clip.mp4", 0, 1000) == 1, "100 adds the first source");
    Check(errorCode(feed) == 0 && errorText(feed)[0] == '\0', "107 and 108 after a success");
    Check(addAudio(feed, "music.mp3", 100, 900) == 2, "101 adds the second source");
    Check(getTimes(feed, 2, &startMs, &stopMs) == 1 && startMs >= 99 && startMs <= 100 &&
              stopMs >= 899 && stopMs <= 900,
          "105 reads a source's times back");
    Check(setTimes(feed, 1, 200, 800) == 1, "104 sets a source's times");
    Check(getTimes(feed, 1, &startMs, &stopMs) == 1 && startMs >= 199 && startMs <= 200 &&
              stopMs >= 799 && stopMs <= 800,
          "104's times read back through 105");
    {
        const int32_t crop[4] = {0, 0, 16, 16};
        Check(addVideoEx(feed, "clip.mp4", crop, 0, 0, 500) == 3, "99 adds with a crop");
    }
    Check(removeSource(feed, 3) == 1, "102 removes a source");
    Check(getTimes(feed, 3, &startMs, &stopMs) == 0, "a removed source is gone");
    Check(removeSource(feed, 3) == 0, "102 refuses a source that is gone");
    Check(clearSources(feed) == 1, "103 clears the sources");
    Check(getTimes(feed, 1, &startMs, &stopMs) == 0, "103 removed every source");
    Check(addVideo(feed, "clip.mp4", 0, 1000) == 1, "ids start at 1 again after 103");

    /* Format setters, each told apart from the others by what it refuses. */
    Check(setSampleRate(feed, 48000) == 1, "109 sets the sample rate");
    Check(setVideoSize(feed, 320, 240) == 1, "111 sets the frame size");
    Check(setVideoSize(feed, 0, 240) == 0, "111 refuses a width of 0");
    Check(setFrameRate(feed, 25.0) == 1, "112 sets the frame rate");
    Check(setFrameRate(feed, -1.0) == 0, "112 refuses a negative rate");
    Check(setChannels(feed, 2) == 1, "113 sets the channels");
    Check(setChannels(feed, 3) == 0, "113 refuses three channels");

    /* Setters that never refuse. */
    Check(setAudioFade(feed, 1, 100, 1, 100) == 1, "115 sets the audio fades");
    Check(setVideoFade(feed, 1, 100, 0, 1, 100, FEED_KEEP_COLOUR) == 1, "116 sets the video fades");
    Check(setVideoCallback(feed, OnFrame, NULL) == OnFrame, "117 returns the frame callback");
    Check(setAudioCallback(feed, OnBuffer, NULL) == OnBuffer, "118 returns the buffer callback");
    Check(setClipMode(feed, 2) == 2, "130 returns the clip mode");
    Check(setSync(feed, 0) == 0 && setSync(feed, 1) == 1, "131 returns the sync switch");

    /* Idle queries, and Pause told apart from Stop: only Pause reports its refusal. */
    Check(setSampleRate(feed, 44100) == 1 && errorCode(feed) == 0, "a success before 123");
    Check(getDuration(feed) == -1, "119 gives -1 while idle");
    {
        int32_t videoMs = 0;
        int32_t audioMs = 0;
        getPosition(feed, &videoMs, &audioMs);
        Check(videoMs == -1 && audioMs == -1, "120 gives -1 and -1 while idle");
    }
    Check(stop(feed) == 0 && errorCode(feed) == 0, "123 gives 0 while idle, with no report");
    Check(pause(feed) == 0 && errorCode(feed) == -1, "122 refuses while idle, with a report");

    /* A session against the engine: the test engine knows no files, so the source plays as
     * black for its span, delivered as nothing, and the session ends by itself. */
    Check(getVersion() == FEED_VERSION_NUMBER, "145 gives the version of the header");
    Check(start(feed) == 1, "121 starts a session");
    Check(WaitForIdle(getState, feed, 10000), "the session ends by itself within 10 s");
    stop(feed); /* joins the worker, which has told its end by then */
    {
        char message[200];
        FeedSourceOutcome outcome;
        outcome.size = (int32_t)sizeof outcome;
        Check(getEndReason(feed, message, (int32_t)sizeof message) == FEED_END_FINISHED &&
                  strstr(message, "could not be opened") != NULL,
              "143 tells why the session ended, and of the source that did not play");
        Check(
            getSourceOutcome(feed, 1, &outcome) == 1 && outcome.outcome == FEED_OUTCOME_NOT_OPENED,
            "144 tells what became of a source");
    }
    Check(start(feed) == 1, "121 starts a second session");
    stop(feed);
    Check(getState(feed) == FEED_STATE_IDLE, "123 ends a session");
    Check(start(feed) == 1, "121 starts a third session");
    destroy(feed); /* 126 stops the session first */

    /* The reader: the test engine has none, so each call fails with NO_READER, but for the
     * argument faults that each reports first, in its own words. */
    {
        FeedReaderHandle reader = readerOpen("clip.mp4");
        FeedMediaInfo media;
        FeedStreamInfo stream;
        int32_t width = -1;
        int32_t rate = -1;
        int64_t count = -1;
        uint8_t frame[4];
        int16_t samples[2];
        Check(reader != NULL, "132 opens a reader");
        Check(readerCode(reader) == FEED_READER_E_NO_READER, "134 gives NO_READER");
        Check(strcmp(readerText(reader), "the media engine has no file reader") == 0,
              "135 gives the failure's text");
        memset(&media, 0, sizeof(media));
        Check(mediaInfo(reader, &media) == 0 && strstr(readerText(reader), "FeedMediaInfo") != NULL,
              "136 checks a FeedMediaInfo's size");
        memset(&stream, 0, sizeof(stream));
        Check(streamInfo(reader, 0, 0, &stream) == 0 &&
                  strstr(readerText(reader), "FeedStreamInfo") != NULL,
              "137 checks a FeedStreamInfo's size");
        Check(videoOutput(reader, 0, 0, 0, 0, FEED_PIXEL_RGB24, 0, &width, NULL, NULL) == 0 &&
                  width == -1 && readerCode(reader) == FEED_READER_E_NO_READER,
              "138 fails with NO_READER");
        Check(readFrames(reader, NULL, 1, frame, sizeof(frame), NULL) == 0 &&
                  strcmp(readerText(reader), "no frame indices") == 0,
              "139 wants frame indices");
        Check(readFramesAt(reader, NULL, 1, frame, sizeof(frame), NULL) == 0 &&
                  strcmp(readerText(reader), "no times") == 0,
              "140 wants times");
        Check(audioOutput(reader, 8000, 1, &rate, NULL) == 0 && rate == -1 &&
                  readerCode(reader) == FEED_READER_E_NO_READER,
              "141 fails with NO_READER");
        Check(readAudio(reader, 0.0, 1.0, samples, sizeof(samples), &count) == 0 && count == -1 &&
                  readerCode(reader) == FEED_READER_E_NO_READER,
              "142 fails with NO_READER");
        readerDestroy(reader);
        readerDestroy(NULL);
    }

    FreeLibrary(feedDll);
    if (failures != 0) {
        printf("%d checks failed\n", failures);
        return 1;
    }
    printf("every ordinal leads to its function; sessions ran against TARN.dll\n");
    return 0;
}
