// Looks into a source with libavformat before the session: can it be opened, what streams it
// has, how long it is, and its picture size, frame rate and sample rate.
#pragma once

#include <cstdint>
#include <string>

namespace feedcat {

struct ProbeInfo {
    bool opened = false;
    bool hasVideo = false;
    bool hasAudio = false;
    std::int32_t lengthMs = -1;  // -1: unknown
    std::int32_t width = 0;
    std::int32_t height = 0;
    double fps = 0.0;
    std::int32_t sampleRate = 0;
};

// Opens local regular files (through FFmpeg's file protocol alone) and lavfi: graphs made of
// self-contained filters; anything else (URLs, concat:, pipe:, devices) counts as not opened.
ProbeInfo ProbeSource(const std::string& name);

}  // namespace feedcat
