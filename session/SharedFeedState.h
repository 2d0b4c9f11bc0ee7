// SharedFeedState: what a feed keeps from one session to the next and shares with them: its
// state, sources, output format, fades, callbacks, positions and the last session's outcome.
// The feed owns one for its whole life; the host's calls, the worker thread and the engine's
// delivery threads work on it by reference.
//
// Every field that two threads may touch at once is atomic: `state` with sequentially
// consistent order (it is the only channel from the host to the worker, and wakes the threads
// that wait on it), the rest relaxed (each is a single value; a reader may see the previous
// one).
#pragma once

#include <atomic>
#include <cstdint>

#include <feed/feed.h>

#include "engine/MediaEngine.h"
#include "session/FadeBlender.h"
#include "session/ScratchFrame.h"
#include "session/SessionOutcome.h"
#include "session/SessionState.h"
#include "session/SourceEntry.h"

namespace session {

// The output format a session asks the engine for. Written by the host only while Idle, read
// by the worker while it builds a session.
struct OutputFormat {
    std::int32_t videoWidth = 0;      // pixels, even once set; 0: the engine's choice
    std::int32_t videoHeight = 0;     // pixels; 0: the engine's choice
    double frameRate = 0.0;           // frames per second; 0.0: the engine's choice
    std::int32_t sampleRate = 44100;  // Hz
    std::int32_t channels = 2;        // 1 or 2 once set
};

// Fade settings: written by the host at any time, read afresh by delivery for every frame or
// buffer. Lengths are milliseconds and always above 0; colours have the byte layout of one
// pixel. A delivery that runs during a change may see some fields old and some new.
struct FadeSettings {
    std::atomic<std::int32_t> audioFadeIn{0};
    std::atomic<std::int32_t> audioFadeOut{0};
    std::atomic<std::int32_t> audioFadeInMs{3000};
    std::atomic<std::int32_t> audioFadeOutMs{3000};
    std::atomic<std::int32_t> videoFadeIn{0};
    std::atomic<std::int32_t> videoFadeOut{0};
    std::atomic<std::uint32_t> fadeInColour{0};
    std::atomic<std::uint32_t> fadeOutColour{0};
    std::atomic<std::int32_t> videoFadeInMs{1000};
    std::atomic<std::int32_t> videoFadeOutMs{1000};
};

// The host's callbacks and user values: written by the host at any time (callback first,
// then user value), read by delivery for every frame or buffer.
struct HostCallbacks {
    std::atomic<FeedVideoFrameCallback> videoCallback{nullptr};
    std::atomic<FeedAudioBufferCallback> audioCallback{nullptr};
    std::atomic<void*> videoUser{nullptr};
    std::atomic<void*> audioUser{nullptr};
};

struct SharedFeedState {
    // FEED_STATE_*: written by the host (start, pause, stop) and by the worker's thread as
    // its last act (Idle); waited on by the worker and by deliveries while paused.
    SessionState state;
    // Why the last session ended and what became of its sources; see SessionOutcome.
    SessionOutcome outcome;

    // Changed by the host only while Idle; walked by the worker while it builds a session
    // (which may reset a video entry's crop rectangle).
    SourceList sources;
    OutputFormat format;
    // Written by the host at any time, read by the worker while it builds a session.
    std::atomic<std::int32_t> clipMode{0};
    std::atomic<std::int32_t> syncEnabled{1};

    FadeSettings fades;
    HostCallbacks callbacks;

    // Positions of the last delivered frame and buffer, in ms; written by delivery (and set
    // to 0 by the worker when a session starts), read by the host. -1 before any session.
    std::atomic<std::int32_t> videoPositionMs{-1};
    std::atomic<std::int32_t> audioPositionMs{-1};
    // Length of the session's timeline in ms: -1 until the worker has built the timelines.
    std::atomic<std::int32_t> durationMs{-1};

    FadeBlender blender;
    // Used by the video delivery thread while the engine runs, freed by the worker after the
    // engine has stopped.
    ScratchFrame fadeBuffer;
    // The running session's audio/video sync object, or null: lent to delivery by the worker's
    // SessionSync, which owns it, sets this before the engine runs and clears it after the
    // engine has stopped, before releasing the object. Read by delivery; never released here.
    std::atomic<IAudioVideoSync*> syncObject{nullptr};
};

}  // namespace session
