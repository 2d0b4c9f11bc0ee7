#include "session/FadeLevels.h"

#include <algorithm>

#include "engine/TimeUnits.h"

namespace session {

VideoFadeStep VideoFadeFor(const VideoFadeParams& params, std::int64_t start,
                           std::int32_t durationMs) {
    const std::int64_t positionMs = UnitsToMsTruncated(start);
    if (params.fadeIn && start < std::int64_t{params.fadeInMs} * kUnitsPerMs) {
        // Below fadeInMs the level stays under 256; a frame before the timeline's start (which
        // the engine does not deliver) gets the colour alone.
        const std::int64_t level = positionMs * 256 / params.fadeInMs;
        return {true, static_cast<std::int32_t>(std::max<std::int64_t>(level, 0)),
                params.fadeInColour};
    }
    const std::int64_t windowStartMs = std::int64_t{durationMs} - params.fadeOutMs;
    if (params.fadeOut && start >= windowStartMs * kUnitsPerMs) {
        const std::int64_t remainingMs = std::max<std::int64_t>(durationMs - positionMs, 0);
        const std::int64_t level =
            std::min<std::int64_t>(remainingMs * 256 / params.fadeOutMs, 255);
        return {true, static_cast<std::int32_t>(level), params.fadeOutColour};
    }
    return {};
}

namespace {

// Sample frames of the buffer that lie within the first spanMs of a window, at most all.
std::int32_t FramesWithin(std::int64_t spanMs, std::uint32_t sampleRate, std::int32_t frames) {
    if (spanMs <= 0) {
        return 0;
    }
    const std::int64_t count = MsToSampleFramesTruncated(spanMs, sampleRate);
    return static_cast<std::int32_t>(std::min<std::int64_t>(frames, count));
}

}  // namespace

AudioFadeStep AudioFadeFor(const AudioFadeParams& params, std::int32_t positionMs,
                           std::int64_t duration, std::int32_t durationMs,
                           const AudioBufferShape& shape) {
    const bool inFadeIn = params.fadeIn && positionMs < params.fadeInMs;
    const bool inFadeOut = !inFadeIn && params.fadeOut &&
                           std::int64_t{positionMs} > std::int64_t{durationMs} - params.fadeOutMs;
    if (!(inFadeIn || inFadeOut) || (shape.channels != 1 && shape.channels != 2) ||
        shape.length <= 0) {
        return {};
    }
    const std::int32_t frames = shape.length / (2 * shape.channels);

    if (inFadeIn) {
        // The window is measured from the timeline's start, the count from the buffer's.
        const std::int64_t bufferEndMs = std::int64_t{positionMs} + UnitsToMsTruncated(duration);
        const std::int64_t spanMs = std::min<std::int64_t>(params.fadeInMs, bufferEndMs);
        // A buffer before the timeline's start (not delivered by the engine) is silenced
        // rather than turned upside down by a negative gain.
        const double gain = (static_cast<double>(positionMs) + 1.0) / params.fadeInMs;
        return {FramesWithin(spanMs, shape.sampleRate, frames), std::max(gain, 0.0)};
    }
    const std::int64_t remainingMs = std::int64_t{durationMs} - positionMs;
    if (remainingMs < 0) {
        // Past the end of the timeline: nothing of the fade is left to hear.
        return {frames, 0.0};
    }
    const std::int64_t spanMs = std::min<std::int64_t>(params.fadeOutMs, remainingMs);
    return {FramesWithin(spanMs, shape.sampleRate, frames),
            (static_cast<double>(remainingMs) + 1.0) / params.fadeOutMs};
}

void ScaleSamples(std::uint8_t* data, std::int32_t sampleCount, double gain) {
    for (std::int32_t i = 0; i < sampleCount; ++i) {
        std::uint8_t* bytes = data + 2 * static_cast<std::ptrdiff_t>(i);
        const auto sample = static_cast<std::int16_t>(bytes[0] | (bytes[1] << 8));
        const auto scaled = static_cast<std::uint16_t>(static_cast<std::int16_t>(sample * gain));
        bytes[0] = static_cast<std::uint8_t>(scaled & 0xFF);
        bytes[1] = static_cast<std::uint8_t>(scaled >> 8);
    }
}

}  // namespace session
