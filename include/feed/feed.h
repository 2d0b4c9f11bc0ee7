/*
 * feed.h - pull decoded video frames and audio buffers out of a list of media files.
 *
 * A host creates a feed, adds sources (a media file with a start and a stop time inside it,
 * as video or as audio), sets the output format, fades and two callbacks, and starts a
 * session. The library strings the video sources onto a video timeline and the audio sources
 * onto an audio timeline, pads the shorter one so that both end together, and hands every
 * frame (32-bit pixels, B G R X in memory) and every buffer (interleaved signed 16-bit PCM)
 * to the host's callbacks.
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
#define FEED_VERSION_MINOR 0
#define FEED_VERSION_PATCH 0

/* Calling convention of every export and of both callbacks: the standard Windows convention
 * (callee pops) on 32-bit Windows, so 32-bit hosts must declare their callbacks __stdcall. */
#if defined(_WIN32) && !defined(_WIN64)
#define FEED_CALL __stdcall
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
 * next faded frame). positionMs is the frame's time on the timeline. The result is handed
 * to the engine unchanged; by convention it is the address of the frame.
 */
typedef intptr_t(FEED_CALL* FeedVideoFrameCallback)(void* user, const uint8_t* frame,
                                                    int32_t length, int32_t positionMs,
                                                    int32_t width, int32_t height);

/*
 * Called once per audio buffer, on the engine's audio thread, buffers one at a time in
 * timeline order. buffer holds length bytes of interleaved signed 16-bit samples, already
 * faded; it is valid during the call. The result is handed to the engine unchanged.
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
 * is freed when the session has been torn down. The handle must not be used afterwards. */
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
 * and a portrait phone clip stored 1920x1080 and turned 90 degrees gives 1080x1920. */
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

/* Video fade switches (off by default), lengths in ms (1000 by default) and colours
 * (0x00RRGGBB for B G R X pixels, the high byte ignored; black by default); a length of 0 or
 * less keeps the old one, FEED_KEEP_COLOUR the old colour. From the next frame. Returns 1.
 * Any thread. */
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

#ifdef __cplusplus
}
#endif

#endif /* FEED_FEED_H */
