// A copy of one delivered video frame or audio buffer, on its way to the encoder thread.
#pragma once

#include <cstdint>
#include <vector>

namespace feedcat {

struct MediaItem {
    enum class Kind { kVideo, kAudio };
    Kind kind = Kind::kVideo;
    std::int32_t positionMs = 0;
    std::int32_t width = 0;  // video
    std::int32_t height = 0;
    std::int32_t sampleRate = 0;  // audio
    std::int32_t channels = 0;
    // B G R X pixels followed by VideoEncoder::kReadPadding bytes, or interleaved s16 samples
    std::vector<std::uint8_t> data;
};

}  // namespace feedcat
