// One delivered video frame (already converted for the encoder) or a copy of one audio buffer,
// on its way to the encoder thread.
#pragma once

#include <cstdint>
#include <vector>

#include "media/FFmpegHolders.h"

namespace feedcat {

struct MediaItem {
    enum class Kind { kVideo, kAudio };
    Kind kind = Kind::kVideo;
    std::int32_t positionMs = 0;
    media::FramePtr picture;  // video: in the encoder's pixel format (see PictureConverter)
    std::int32_t width = 0;   // video: the delivered frame's size
    std::int32_t height = 0;
    std::int32_t sampleRate = 0;  // audio
    std::int32_t channels = 0;
    std::vector<std::uint8_t> data;  // audio: interleaved s16 samples
};

}  // namespace feedcat
