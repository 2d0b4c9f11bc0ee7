// How much of a fade a frame or buffer gets, as pure functions of its position, so that the
// delivery functions only read the settings and apply the result.
#pragma once

#include <cstdint>

namespace session {

// The video fade settings as one delivery read them.
struct VideoFadeParams {
    bool fadeIn = false;
    std::int32_t fadeInMs = 1000;  // above 0
    std::uint32_t fadeInColour = 0;
    bool fadeOut = false;
    std::int32_t fadeOutMs = 1000;  // above 0
    std::uint32_t fadeOutColour = 0;
};

struct VideoFadeStep {
    bool blend = false;        // false: the frame is handed on untouched
    std::int32_t level = 255;  // weight of the picture, 0 (colour only) to 255 (picture only)
    std::uint32_t colour = 0;
};

// The fade of a frame that starts at `start` (100-ns units) on a timeline of durationMs.
// The fade-in covers [0, fadeInMs) and rises as position x 256 / fadeInMs; the fade-out covers
// [durationMs - fadeOutMs, ...) and falls as (durationMs - position) x 256 / fadeOutMs, at most
// 255, and 0 at or after the end. A frame in both windows gets the fade-in only. Levels are
// computed in 64 bits, so no fade length overflows.
VideoFadeStep VideoFadeFor(const VideoFadeParams& params, std::int64_t start,
                           std::int32_t durationMs);

// The audio fade settings as one delivery read them.
struct AudioFadeParams {
    bool fadeIn = false;
    std::int32_t fadeInMs = 3000;  // above 0
    bool fadeOut = false;
    std::int32_t fadeOutMs = 3000;  // above 0
};

// The format of one audio buffer, from the engine's record.
struct AudioBufferShape {
    std::int32_t length = 0;  // bytes of interleaved signed 16-bit samples
    std::int32_t channels = 2;
    std::uint32_t sampleRate = 44100;
};

struct AudioFadeStep {
    std::int32_t frames = 0;  // scale the first `frames` sample frames; 0: leave the buffer be
    double gain = 1.0;
};

// The fade of a buffer at positionMs lasting `duration` (100-ns units) on a timeline of
// durationMs. One gain per buffer: the fade-in scales by (position + 1) / fadeInMs the sample
// frames that lie before fadeInMs measured from the timeline's start; the fade-out (window
// strictly after durationMs - fadeOutMs) by (remaining + 1) / fadeOutMs the frames before the
// end. Buffers that start after the end are silenced. Only mono and stereo are faded.
AudioFadeStep AudioFadeFor(const AudioFadeParams& params, std::int32_t positionMs,
                           std::int64_t duration, std::int32_t durationMs,
                           const AudioBufferShape& shape);

// Multiplies `sampleCount` signed 16-bit little-endian samples at data by gain (0 to 1),
// truncating toward zero, in place.
void ScaleSamples(std::uint8_t* data, std::int32_t sampleCount, double gain);

}  // namespace session
