/*
 * feed.h - pull decoded video frames and audio buffers out of a list of media files.
 *
 * A host creates a feed, adds sources (a media file with a start and a stop time inside it,
 * as video or as audio), sets the output format, fades and two callbacks, and starts a
 * session. The library strings the video sources onto a video timeline and the audio sources
 * onto an audio timeline, pads the shorter one so that both end together, and hands every
 * frame (32-bit pixels, B G R X in memory) and every buffer (interleaved signed 16-bit PCM)
 * to the host's callbacks. The engine's frames carry 0 in X; during a video fade X is the
 * blend of the frame's X with the fade colour's high byte, like the other three bytes.
 *
 * Pacing. A session runs as fast as the engine decodes: nothing waits for a clock. A callback
 * may block for as long as it likes, and blocking is how a host paces a session: a host that
 * plays in real time waits in its callbacks until each frame or buffer is due. While one side
 * is blocked, the other runs on at most about 200 ms ahead of it on the timeline and then
 * waits in its next delivery (with sync on, the default), so a blocked audio callback holds
 * the video too. A paused or stopped feed releases every wait.
 *
 * When a session delivered nothing, or less than expected, FeedGetEndReason() says why it
 * ended (and, when it could not be built, why), and FeedGetSourceOutcome() what became of
 * each source: a file that cannot be opened, or lacks the stream its source asks for, plays
 * as black or silence without a word from the calls of the first part of this header.
 *
 * Results. Most calls return 1 (done) or 0 (refused); the adds return the new source id or
 * -1. A call that "reports" leaves its outcome in the feed: FeedGetErrorCode() gives 0 after
 * success and -1 after a refusal, FeedGetErrorText() the refusal's message. Calls marked
 * "no report" leave both as they were.
 *
 * Threads. Every function is called on the host's thread(s), one call at a time per feed for
 * the configuration calls. The callbacks run on the media engine's threads, video and audio
 * possibly at the same time. FeedPause(), FeedStop() and FeedDestroy() may be called from
 * any thread, inside a callback included. Once FeedPause() has returned, only a callback
 * already running finishes; once FeedStop() has been called, no callback begins.
 *
 * Handles. Every function takes a handle from FeedCreate() that has not been destroyed;
 * only FeedDestroy() accepts NULL. The handle is not checked: NULL or a destroyed handle
 * anywhere else is undefined.
 *
 * Times are milliseconds. A source's times are times inside its file and may be negative or
 * run past the file's end: the part outside the media is black or silent, and the source
 * keeps its whole length on the timeline. Strings are 8-bit and zero-terminated; the library
 * copies what it keeps and never frees what the host passes.
 *
 * Defaults of a new feed, kept across sessions until set again: frame size 0 x 0 and frame
 * rate 0.0 (the first video clip's own; 320x240 at 25 fps when no clip has video), 44100 Hz,
 * 2 channels, fades off (audio 3000 ms, video 1000 ms, colours black), no callbacks, clip
 * mode 0 (stretch), sync on.
 */
#ifndef FEED_FEED_H
#define FEED_FEED_H

#include <stdint.h>

#define FEED_VERSION_MAJOR 1
#define FEED_VERSION_MINOR 1
#define FEED_VERSION_PATCH 0
/* The version as one number, major * 10000 + minor * 100 + patch, as FeedGetVersion() gives it. */
#define FEED_VERSION_NUMBER \
    (FEED_VERSION_MAJOR * 10000 + FEED_VERSION_MINOR * 100 + FEED_VERSION_PATCH)

/* Calling convention of every export and of both callbacks: the standard Windows convention
 * (callee pops) on 32-bit Windows, so 32-bit hosts must declare their callbacks __stdcall.
 * Elsewhere the platform's own, unless FEED_I386_STDCALL asks for the Windows one on 32-bit
 * x86 (the library's 32-bit test build, which runs on Linux). */
#if defined(_WIN32) && !defined(_WIN64)
#define FEED_CALL __stdcall
#elif defined(FEED_I386_STDCALL) && defined(__i386__)
#define FEED_CALL __attribute__((stdcall))
#else
#define FEED_CALL
#endif

#if defined(_WIN32)
#if defined(FEED_BUILDING)
#define FEED_API __declspec(dllexport)
#else
#define FEED_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) && defined(FEED_BUILDING)
#define FEED_API __attribute__((visibility("default")))
#else
#define FEED_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Opaque handle to a feed: a pointer to a structure that only the library knows. */
typedef struct FeedObject* FeedHandle;

/* FeedGetState() values. */
typedef int32_t FeedState;
enum { FEED_STATE_IDLE = 0, FEED_STATE_RUNNING = 1, FEED_STATE_PAUSED = 2 };

/* The kind a source was added as. */
typedef int32_t FeedSourceKind;
enum { FEED_SOURCE_AUDIO = 0, FEED_SOURCE_VIDEO = 1 };

/* Passed as a fade colour to FeedSetVideoFade(): keep the colour set before. */
#define FEED_KEEP_COLOUR 0xFFFFFFFFu

/*
 * Called once per video frame, on the engine's video thread, frames one at a time in
 * timeline order. frame holds length bytes: height rows of width 32-bit pixels; it is read
 * only and valid during the call (a faded frame lives in the feed's scratch frame until the
 * next faded frame). positionMs is the frame's time on the timeline. The callback may block
 * (see Pacing above). The result is handed to the engine, which ignores it; by convention it
 * is the address of the frame.
 */
typedef intptr_t(FEED_CALL* FeedVideoFrameCallback)(void* user, const uint8_t* frame,
                                                    int32_t length, int32_t positionMs,
                                                    int32_t width, int32_t height);

/*
 * Called once per audio buffer, on the engine's audio thread, buffers one at a time in
 * timeline order. buffer holds length bytes of interleaved signed 16-bit samples, already
 * faded; it is valid during the call. The callback may block (see Pacing above). The result
 * is handed to the engine, which ignores it; by convention 0.
 */
typedef int32_t(FEED_CALL* FeedAudioBufferCallback)(void* user, const uint8_t* buffer,
                                                    int32_t length, int32_t positionMs,
                                                    int32_t bitsPerSample, int32_t sampleRate,
                                                    int32_t channels);

/* ---- Lifetime ---------------------------------------------------------------------------- */

/* A new idle feed with default settings, or NULL when out of memory. The host owns it and
 * ends it with FeedDestroy(). Any thread. */
FEED_API FeedHandle FEED_CALL FeedCreate(void);

/* Stops a running session (joining its worker), then frees the feed. NULL is ignored. From
 * inside one of the feed's own callbacks it stops the session and returns at once; the feed
 * is freed when the session has been torn down, or, when a host thread is waiting in
 * FeedStop() meanwhile, when that FeedStop() returns. The handle must not be used afterwards
 * (but for a FeedStop() that had begun before). */
FEED_API void FEED_CALL FeedDestroy(FeedHandle feed);

/* ---- Sessions ---------------------------------------------------------------------------- */

/* Idle: starts a session (1), or refuses an empty source list ("No inut file", 0). Paused:
 * resumes (1, no report). Running: 1, no report. Host thread. */
FEED_API int32_t FEED_CALL FeedStart(FeedHandle feed);

/* Running or Paused: pauses, 1: no callback begins until the session is resumed (one
 * already running finishes). Idle: refused, 0. Any thread, a callback included. */
FEED_API int32_t FEED_CALL FeedPause(FeedHandle feed);

/* Running or Paused: ends the session and waits until it has been torn down, 1; no callback
 * begins once it has been called. From inside a callback it returns at once and the session
 * ends shortly after. Idle: 0. Two threads may stop at once: both return once the session
 * has been torn down. No report. */
FEED_API int32_t FEED_CALL FeedStop(FeedHandle feed);

/* FEED_STATE_IDLE, _RUNNING or _PAUSED. No report. Any thread. */
FEED_API FeedState FEED_CALL FeedGetState(FeedHandle feed);

/* Length of the session in ms; -1 while idle (no report), or while the session is still
 * being built. During a session it reports success. Any thread. */
FEED_API int32_t FEED_CALL FeedGetDuration(FeedHandle feed);

/* Positions in ms of the last delivered frame and buffer; -1 and -1 while idle (no report).
 * During a session it reports success. A NULL pointer is not written. Any thread. */
FEED_API void FEED_CALL FeedGetPosition(FeedHandle feed, int32_t* videoMs, int32_t* audioMs);

/* ---- Results ----------------------------------------------------------------------------- */

/* 0 after the last reporting call succeeded, -1 after it was refused. No report. */
FEED_API int32_t FEED_CALL FeedGetErrorCode(FeedHandle feed);

/* The last refusal's message, "" after success. The text is static: it stays valid for the
 * life of the process. No report. */
FEED_API const char* FEED_CALL FeedGetErrorText(FeedHandle feed);

/* ---- Sources (all refused while a session is Running or Paused) -------------------------- */

/* Adds fileName (copied) from startMs to stopMs as a video source. Returns the new id, or -1
 * (stop before start: -1 with no report; a NULL name: refused as "No inut file"). Host
 * thread. */
FEED_API int32_t FEED_CALL FeedAddVideoSource(FeedHandle feed, const char* fileName,
                                              int32_t startMs, int32_t stopMs);

/* As FeedAddVideoSource, plus a crop rectangle and a clip parameter for this source's clip.
 * cropRect: four values, read during the call, in the order left, top, right, bottom, in the
 * source's pixels (right and bottom exclusive), applied before scaling. All four -1, or a
 * NULL pointer, means none; a rectangle reaching outside the picture is clamped to it, and
 * one that is empty then means none. clipParam: the colour of the bars when the clip mode is
 * 1 (fit), 0x00RRGGBB like the fade colours (the high byte is ignored); 0 is black. */
FEED_API int32_t FEED_CALL FeedAddVideoSourceEx(FeedHandle feed, const char* fileName,
                                                const int32_t* cropRect, int32_t clipParam,
                                                int32_t startMs, int32_t stopMs);

/* Adds fileName (copied) from startMs to stopMs as an audio source. As FeedAddVideoSource. */
FEED_API int32_t FEED_CALL FeedAddAudioSource(FeedHandle feed, const char* fileName,
                                              int32_t startMs, int32_t stopMs);

/* Removes one source; its id is not handed out again. 1, or 0. Host thread. */
FEED_API int32_t FEED_CALL FeedRemoveSource(FeedHandle feed, int32_t id);

/* Removes every source; the next add gets id 1 again. 1, or 0. Host thread. */
FEED_API int32_t FEED_CALL FeedClearSources(FeedHandle feed);

/* Changes a source's times. 1, or 0. Host thread. */
FEED_API int32_t FEED_CALL FeedSetSourceTimes(FeedHandle feed, int32_t id, int32_t startMs,
                                              int32_t stopMs);

/* Reads a source's times (possibly 1 ms nearer to zero than set). Outputs are written only on
 * success, and a NULL one never. 1, or 0. Host thread. */
FEED_API int32_t FEED_CALL FeedGetSourceTimes(FeedHandle feed, int32_t id, int32_t* startMs,
                                              int32_t* stopMs);

/* ---- Output format (all refused while a session is Running or Paused) -------------------- */

/* Audio sample rate in Hz (default 44100; 0: the first audio clip's own). 1, or 0. Host
 * thread. */
FEED_API int32_t FEED_CALL FeedSetAudioSampleRate(FeedHandle feed, int32_t rate);

/* Frame size in pixels; an odd width is rounded up to even. 1, or 0. Host thread.
 * The default, 0 x 0, is the first video clip's picture as it is shown: its crop rectangle
 * (FeedAddVideoSourceEx) taken out, its pixel aspect ratio applied to the width (kept even) and
 * its rotation turned upright, so a 1280x720 clip cropped to 320,180,960,540 gives 640x360 frames
 * and a portrait phone clip stored 1920x1080 and turned 90 degrees gives 1080x1920. A size whose
 * frames would take more than 2^31 - 1 bytes is taken, but a session with it is not built (the
 * frame callback's length is an int32; FeedGetEndReason() says so). */
FEED_API int32_t FEED_CALL FeedSetVideoSize(FeedHandle feed, int32_t width, int32_t height);

/* Frames per second, 0.0 or more (default 0.0: the first video clip's own). 1, or 0;
 * reports only when refused as busy. Host thread. */
FEED_API int32_t FEED_CALL FeedSetFrameRate(FeedHandle feed, double framesPerSecond);

/* Audio channels, 1 or 2 (default 2). 1, or 0. Host thread. */
FEED_API int32_t FEED_CALL FeedSetAudioChannels(FeedHandle feed, int32_t channels);

/* ---- Fades, callbacks, engine settings (never refused, never report) --------------------- */

/* Audio fade switches (non-zero: on; both off by default) and lengths in ms (3000 by
 * default); a length of 0 or less keeps the old one. Takes effect from the next buffer.
 * Returns 1. Any thread. */
FEED_API int32_t FEED_CALL FeedSetAudioFade(FeedHandle feed, int32_t fadeIn, int32_t fadeInMs,
                                            int32_t fadeOut, int32_t fadeOutMs);

/* Video fade switches (off by default), lengths in ms (1000 by default) and colours (black by
 * default); a length of 0 or less keeps the old one, FEED_KEEP_COLOUR the old colour. A colour
 * has the layout of one pixel, 0xXXRRGGBB for B G R X: byte k of it is blended into byte k of
 * every pixel, so its high byte is blended into the fourth byte (0 in the engine's frames):
 * 0x00RRGGBB fades a host that reads X as alpha toward transparent. From the next frame.
 * Returns 1. Any thread. */
FEED_API int32_t FEED_CALL FeedSetVideoFade(FeedHandle feed, int32_t fadeIn, int32_t fadeInMs,
                                            uint32_t fadeInColour, int32_t fadeOut,
                                            int32_t fadeOutMs, uint32_t fadeOutColour);

/* The frame callback (NULL: none) and the user value passed back to it, from the next frame.
 * Returns callback. Any thread. */
FEED_API FeedVideoFrameCallback FEED_CALL FeedSetVideoCallback(FeedHandle feed,
                                                               FeedVideoFrameCallback callback,
                                                               void* user);

/* The buffer callback (NULL: none) and its user value, from the next buffer. Returns
 * callback. Any thread. */
FEED_API FeedAudioBufferCallback FEED_CALL FeedSetAudioCallback(FeedHandle feed,
                                                                FeedAudioBufferCallback callback,
                                                                void* user);

/* How a clip's picture fits the frame: 0 stretch (the default), 1 fit inside with bars of the
 * source's clip parameter colour, 2 fill and cut what overflows; other values act as 0. From
 * the next session. Returns mode. Any thread. */
FEED_API int32_t FEED_CALL FeedSetClipMode(FeedHandle feed, int32_t mode);

/* Non-zero (the default): keep audio and video in step when a session has both. From the
 * next session. Returns enabled. Any thread. */
FEED_API int32_t FEED_CALL FeedSetSyncEnabled(FeedHandle feed, int32_t enabled);

/* ---- After a session: why it ended, what became of its sources ---------------------------
 *
 * These calls never report: FeedGetErrorCode() and FeedGetErrorText() keep what the calls
 * above left there. */

/* FeedGetEndReason() values. */
typedef int32_t FeedEndReason;
enum {
    FEED_END_NONE = 0,         /* no session has ended since the last FeedStart, or ever */
    FEED_END_FINISHED = 1,     /* both timelines reached their end */
    FEED_END_STOPPED = 2,      /* FeedStop or FeedDestroy ended it */
    FEED_END_NOT_BUILT = 3,    /* it could not be built, so nothing was delivered */
    FEED_END_ENGINE_FAILED = 4 /* the engine failed while it played (out of memory, threads) */
};

/* Why the feed's last session ended; FEED_END_NONE while a session is Running or Paused. When
 * message is not NULL and messageSize is above 0, also writes one line of English into it,
 * zero-terminated and cut to messageSize - 1 bytes: what could not be built and why (e.g. the
 * output format the engine refused), what failed, or, after a session that ran, the first
 * source that did not play as asked; "" when there is nothing to add. Any thread. */
FEED_API FeedEndReason FEED_CALL FeedGetEndReason(FeedHandle feed, char* message,
                                                  int32_t messageSize);

/* FeedSourceOutcome.outcome values. */
enum {
    FEED_OUTCOME_NOT_REACHED = 0, /* the session ended (or could not be built) before it */
    FEED_OUTCOME_PLAYED = 1,      /* opened, its stream found, its span within the stream */
    FEED_OUTCOME_CUT_AT_END = 2,  /* played, but its span runs past the end of its stream
                                     (streamLengthMs): the rest was black or silence */
    FEED_OUTCOME_NOT_OPENED = 3,  /* the file could not be opened (the message says why):
                                     black or silence for its whole span */
    FEED_OUTCOME_NO_STREAM = 4    /* opened, but without a stream of the source's kind: black
                                     or silence for its whole span */
};

/* What the last session made of one source. */
typedef struct FeedSourceOutcome {
    int32_t size;           /* set by the host to sizeof(FeedSourceOutcome) before the call */
    int32_t outcome;        /* FEED_OUTCOME_* */
    int32_t streamLengthMs; /* the source's stream's length as its file gives it; -1 unknown */
    char message[256];      /* one line of English, zero-terminated; "" when it played as asked */
} FeedSourceOutcome;

/* Fills *outcome for source id as the feed's last session (or the one running) found it; a
 * session finds its sources while it is built, before anything is delivered. Returns 1, or 0
 * when that session did not have the id (added since, or removed or cleared since), or when
 * outcome is NULL or outcome->size is below sizeof(FeedSourceOutcome); nothing is written
 * then. Any thread. */
FEED_API int32_t FEED_CALL FeedGetSourceOutcome(FeedHandle feed, int32_t id,
                                                FeedSourceOutcome* outcome);

/* The library's version, FEED_VERSION_NUMBER of the header it was built with: compare it with
 * the header a host was built with. Takes no feed. Any thread. */
FEED_API int32_t FEED_CALL FeedGetVersion(void);

/* ==== Reading files: a probe and a reader, beside the list ================================ */
/*
 * A reader opens one file (a local media file or a "lavfi:" graph, under the same rules as a
 * source) and tells what it holds: the container and each of its streams. It reads any frame
 * of the file's video, by its index in presentation order or as shown at a time, drawn as the
 * feed draws a clip's frames (size, clip mode, bars; upright, square pixels) in a chosen pixel
 * format; and any range of the file's audio at a chosen rate and channel count, sample-exact.
 * The video and audio read are the streams a video and an audio source of the file play.
 *
 * Times are seconds of source time, as a source's start and stop: 0 is the file's start (its
 * first timestamp when that is positive, else 0). A time shows the latest frame whose time is
 * at or before it, times taken to the nearest 100 ns. Frame i is the i-th frame a full decode
 * of the stream yields.
 *
 * Results. Every call but FeedReaderOpen, FeedReaderDestroy and the two error queries returns
 * 1 (done) or 0 (failed) and reports: FeedReaderGetErrorCode() then gives FEED_READER_OK (0)
 * or a FEED_READER_E_ code, FeedReaderGetErrorText() "" or why (naming the file, the stream
 * or the range at fault).
 *
 * Threads. A reader is used by one thread at a time, any thread; readers are independent of
 * each other and of feeds. Calls block while they read and decode. After fork(), a child must
 * neither use nor destroy a reader opened before it (its decoder threads stayed behind): it
 * opens its own.
 *
 * Records. A host sets a record's size to sizeof the record before a call fills it in; on
 * return size holds the bytes the library filled in (a later version may fill in more).
 *
 * The reader belongs to the media engine, beside the functions the feed plays with: an engine
 * without one makes every reader fail with FEED_READER_E_NO_READER.
 */

/* Opaque handle to a reader. */
typedef struct FeedReaderObject* FeedReaderHandle;

/* FeedReaderGetErrorCode() values. */
typedef int32_t FeedReaderError;
enum {
    FEED_READER_OK = 0,
    FEED_READER_E_NOT_FOUND = -1,    /* no file of that name */
    FEED_READER_E_CANNOT_OPEN = -2,  /* not a regular file, or nothing FFmpeg reads in it */
    FEED_READER_E_NO_STREAM = -3,    /* no such stream, or none of the kind asked for */
    FEED_READER_E_OUT_OF_RANGE = -4, /* a frame index or time outside the stream's frames */
    FEED_READER_E_BAD_ARGUMENT = -5, /* a size, rate, count, record or buffer the call refuses */
    FEED_READER_E_NO_READER = -6,    /* the media engine has no reader */
    FEED_READER_E_FAILED = -7,       /* the stream could not be read */
    FEED_READER_E_OUT_OF_MEMORY = -8
};

/* FeedStreamInfo.type values. */
typedef int32_t FeedStreamType;
enum {
    FEED_STREAM_OTHER = 0,
    FEED_STREAM_VIDEO = 1,
    FEED_STREAM_AUDIO = 2,
    FEED_STREAM_SUBTITLE = 3,
    FEED_STREAM_DATA = 4,
    FEED_STREAM_ATTACHMENT = 5
};

/* FeedStreamInfo.frameCountFrom values. */
enum {
    FEED_FRAME_COUNT_UNKNOWN = 0,
    FEED_FRAME_COUNT_FROM_CONTAINER = 1, /* the file's own figure */
    FEED_FRAME_COUNT_COUNTED = 2         /* counted by reading the stream */
};

/* Pixel formats of the frames a reader writes: bytes per pixel in memory order. */
typedef int32_t FeedPixelFormat;
enum {
    FEED_PIXEL_BGRX = 0,  /* B, G, R, 0: the feed's own frames */
    FEED_PIXEL_BGRA = 1,  /* B, G, R, 255 */
    FEED_PIXEL_RGBA = 2,  /* R, G, B, 255 */
    FEED_PIXEL_RGB24 = 3, /* R, G, B */
    FEED_PIXEL_BGR24 = 4, /* B, G, R */
    FEED_PIXEL_GRAY8 = 5  /* luma: 0.299 R + 0.587 G + 0.114 B, full range */
};

/* What a file holds as a whole (FeedReaderGetMediaInfo). 72 bytes. */
typedef struct FeedMediaInfo {
    uint32_t size;          /* set by the host to sizeof(FeedMediaInfo) */
    int32_t streamCount;    /* streams are numbered 0 to streamCount - 1 */
    int32_t videoStream;    /* the stream a video source plays, -1 when none */
    int32_t audioStream;    /* the stream an audio source plays, -1 when none */
    double durationSeconds; /* the container's, -1 when unknown */
    double startSeconds;    /* the container's first timestamp on the file's own clock */
    int64_t bitRate;        /* bits per second, 0 when unknown */
    char format[32];        /* FFmpeg's name of the container, zero-terminated */
} FeedMediaInfo;

/* One stream of a file (FeedReaderGetStreamInfo). 136 bytes. */
typedef struct FeedStreamInfo {
    uint32_t size; /* set by the host to sizeof(FeedStreamInfo) */
    int32_t index;
    FeedStreamType type;
    /* Video: the picture as shown (the sample aspect ratio applied to the width, then turned
     * upright), as stored, and the clockwise degrees (0, 90, 180, 270) that turn it upright. */
    int32_t width;
    int32_t height;
    int32_t codedWidth;
    int32_t codedHeight;
    int32_t rotation;
    int32_t frameRateNum; /* video: average frames per second as a fraction; 0/1 unknown */
    int32_t frameRateDen;
    int32_t sampleRate;     /* audio: Hz */
    int32_t channels;       /* audio */
    int32_t frameCountFrom; /* FEED_FRAME_COUNT_ */
    int32_t reserved;
    int64_t frameCount;     /* frames of the stream, -1 when unknown */
    double durationSeconds; /* the container's figure for the stream, -1 when unknown */
    double startSeconds;    /* the stream's first timestamp on the file's own clock, 0 unknown */
    /* Counted video streams only, else -1: the first frame's source time and where the last
     * frame stops being shown. Frames can be read at times from the one until the other. */
    double firstFrameSeconds;
    double endSeconds;
    int64_t bitRate; /* bits per second, 0 when unknown */
    char codec[32];  /* FFmpeg's name of the codec, zero-terminated */
} FeedStreamInfo;

/* Opens fileName (copied; a local media file or a "lavfi:" graph) and reads what it holds.
 * Returns the reader, NULL only when memory runs out; the host frees it with
 * FeedReaderDestroy(). When the file cannot be opened, the reader reports why (NOT_FOUND,
 * CANNOT_OPEN, BAD_ARGUMENT for a NULL name, NO_READER) and every later call fails the same
 * way. Any thread. */
FEED_API FeedReaderHandle FEED_CALL FeedReaderOpen(const char* fileName);

/* Closes the file and frees the reader. NULL is ignored. The handle must not be used
 * afterwards. */
FEED_API void FEED_CALL FeedReaderDestroy(FeedReaderHandle reader);

/* FEED_READER_OK after the last reporting call succeeded, else its FEED_READER_E_ code. */
FEED_API FeedReaderError FEED_CALL FeedReaderGetErrorCode(FeedReaderHandle reader);

/* "" after the last reporting call succeeded, else why it failed. Owned by the reader: valid
 * until its next call or its destruction. */
FEED_API const char* FEED_CALL FeedReaderGetErrorText(FeedReaderHandle reader);

/* Fills in *info (its size set first). 1, or 0 (BAD_ARGUMENT: NULL or a size below
 * sizeof(FeedMediaInfo)). Reports. */
FEED_API int32_t FEED_CALL FeedReaderGetMediaInfo(FeedReaderHandle reader, FeedMediaInfo* info);

/* Fills in *info (its size set first) for stream `stream`. With countFrames non-zero, a video
 * stream's frames are counted by reading the whole stream once (the reader keeps the count),
 * and firstFrameSeconds and endSeconds filled in; otherwise frameCount is the container's
 * figure, when it gives one. 1, or 0 (NO_STREAM, BAD_ARGUMENT, FAILED). Reports. */
FEED_API int32_t FEED_CALL FeedReaderGetStreamInfo(FeedReaderHandle reader, int32_t stream,
                                                   int32_t countFrames, FeedStreamInfo* info);

/* How FeedReaderReadFrames draws frames: width x height pixels (1 to 16384 a side; 0 and 0
 * the picture's own shown size; one side 0 follows the picture's shape), clipMode as
 * FeedSetClipMode (0 stretch, 1 fit with bars of barColour 0x00RRGGBB, 2 fill), in
 * pixelFormat, pixels interleaved (planar 0: rows of pixels) or one plane per channel (planar
 * non-zero: the channels' planes one after another, each rows of bytes). The size drawn and
 * the bytes of one frame are written to the non-NULL outputs. Until it is called, frames are
 * drawn at the picture's own size as B G R X. 1, or 0 (NO_STREAM: the file has no video;
 * BAD_ARGUMENT). Reports. */
FEED_API int32_t FEED_CALL FeedReaderSetVideoOutput(FeedReaderHandle reader, int32_t width,
                                                    int32_t height, int32_t clipMode,
                                                    uint32_t barColour, FeedPixelFormat pixelFormat,
                                                    int32_t planar, int32_t* outWidth,
                                                    int32_t* outHeight, int64_t* frameBytes);

/* Draws the frames at the `count` presentation indices (0 to the frame count - 1; any order,
 * repeats allowed) into frames, one after another in the order asked, frameBytes each;
 * `bytes` is the buffer's length. times, when not NULL, receives each frame's source time in
 * seconds. The frames are decoded in one forward pass in presentation order; a seek is made
 * only where a keyframe lies between one wanted frame and the next, and a call that goes on
 * after the last frame of the call before goes on decoding from there. The first call counts
 * the stream's frames (as FeedReaderGetStreamInfo with countFrames). 1, or 0 (OUT_OF_RANGE
 * naming the index and the frames there are, BAD_ARGUMENT for a short or NULL buffer,
 * NO_STREAM, FAILED); nothing is drawn on failure. Reports. */
FEED_API int32_t FEED_CALL FeedReaderReadFrames(FeedReaderHandle reader, const int64_t* indices,
                                                int32_t count, uint8_t* frames, int64_t bytes,
                                                double* times);

/* As FeedReaderReadFrames, for the frames shown at `count` source times in seconds: each the
 * latest frame at or before its time. A time before the first frame, or from the end of the
 * last on, fails (OUT_OF_RANGE, naming the times the frames are shown). Reports. */
FEED_API int32_t FEED_CALL FeedReaderReadFramesAt(FeedReaderHandle reader, const double* seconds,
                                                  int32_t count, uint8_t* frames, int64_t bytes,
                                                  double* times);

/* How FeedReaderReadAudio writes samples: interleaved signed 16-bit at sampleRate Hz (1 to
 * 768000; 0: the stream's own) in channels channels (1 to 8; 0: the stream's own, at most 8;
 * mono and multichannel sound are mixed up or down). The rate and channels used are written to
 * the non-NULL outputs. Until it is called, the stream's own. 1, or 0 (NO_STREAM: the file has
 * no audio; BAD_ARGUMENT). Reports. */
FEED_API int32_t FEED_CALL FeedReaderSetAudioOutput(FeedReaderHandle reader, int32_t sampleRate,
                                                    int32_t channels, int32_t* outSampleRate,
                                                    int32_t* outChannels);

/* The audio from startSeconds to stopSeconds of source time: round(stop x rate) - round(start
 * x rate) sample frames, the k-th being the source's sound at round(start x rate) + k samples,
 * so that ranges that adjoin join sample for sample. Silence where the range lies outside the
 * stream. Writes the count to *sampleFrames (when not NULL) and the samples into samples
 * (`bytes` long) unless samples is NULL, which only counts. A read that starts where the last
 * one stopped goes on decoding from there. 1, or 0 (BAD_ARGUMENT: stop before start, a short
 * buffer; OUT_OF_RANGE: times beyond 10^9 s or not numbers; NO_STREAM). Reports. */
FEED_API int32_t FEED_CALL FeedReaderReadAudio(FeedReaderHandle reader, double startSeconds,
                                               double stopSeconds, int16_t* samples, int64_t bytes,
                                               int64_t* sampleFrames);

#ifdef __cplusplus
}
#endif

#endif /* FEED_FEED_H */
