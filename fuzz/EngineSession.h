// EngineSession: one session on the media engine as a host library runs it: a video composite
// and an audio composite with their clips, a callback acceptor on each, optionally the sync
// object between them, prepared, run until both have ended (or a time limit), stopped and
// released. The receiver sees every frame and buffer. The runner itself aborts on what no
// input may cause: an exception out of an engine call, a callback after Stop has returned,
// or a delivery while delivery is paused.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/MediaEngine.h"

namespace fuzzsession {

// One clip as the harness hands it to a composite's AddClip.
struct ClipPlan {
    IMediaSource* source = nullptr;  // not owned; AddClip takes its own reference
    std::array<std::int32_t, 4> crop = {-1, -1, -1, -1};
    std::int32_t mode = 0;
    std::int32_t param = 0;
    std::int64_t sourceStart = 0;  // 100-ns units
    std::int64_t sourceStop = 0;
};

// One kind's timeline: the clips go end to end from 0.
struct TimelinePlan {
    bool wanted = false;
    std::vector<ClipPlan> clips;
    // Video: SetVideoFormat(width, height, frameRate). Audio: SetAudioFormat(rate, channels).
    std::int32_t width = 0;
    std::int32_t height = 0;
    double frameRate = 0.0;
    std::int32_t sampleRate = 0;
    std::int32_t channels = 0;
};

struct Control {
    bool sync = false;             // attach both acceptors to a sync object
    std::int64_t pauseAfter = -1;  // pause both, then run again, after this many deliveries
    std::int64_t stopAfter = -1;   // stop after this many deliveries, without waiting
    std::chrono::milliseconds limit{5000};  // stop when not ended by then
};

class Receiver {
  public:
    virtual ~Receiver() = default;
    // On the engine's delivery threads, one call at a time per kind.
    virtual void OnVideo(const void* format, const std::uint8_t* data, std::int32_t length,
                         std::int64_t start, std::int64_t duration) = 0;
    virtual void OnAudio(const void* format, const std::uint8_t* data, std::int32_t length,
                         std::int64_t start, std::int64_t duration) = 0;
};

struct Outcome {
    bool videoPrepared = false;
    bool audioPrepared = false;
    bool ended = false;    // every prepared timeline ended on its own within the limit
    bool stopped = false;  // the session was stopped early on purpose (Control::stopAfter)
    // Not ended within the limit, and nothing delivered in its last kStallSeconds.
    bool stalled = false;
};

constexpr int kStallSeconds = 3;

// Runs the session. Composites that cannot be created or set up count as not prepared.
Outcome Run(const TimelinePlan& video, const TimelinePlan& audio, const Control& control,
            Receiver& receiver);

// Prints "fuzz: " and the message to stderr and aborts (a finding).
[[noreturn]] void Fail(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A file that Fail removes before it aborts (the media a target made for the input), so that
// findings leave nothing behind; empty for none. Set on the fuzzing thread only.
void RemoveOnFailure(const std::string& path);

}  // namespace fuzzsession
