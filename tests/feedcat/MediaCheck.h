// Reads back what feedcat wrote, with libavformat and libavcodec.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace feedcat_test {

struct StreamReport {
    std::string type;  // "video" or "audio"
    std::string codec;
    int width = 0;
    int height = 0;
    int sampleRate = 0;
    int channels = 0;
    std::int64_t frames = 0;        // video frames decoded
    std::int64_t sampleFrames = 0;  // audio sample frames decoded
    double durationSeconds = 0.0;   // end of the last packet, in seconds
};

struct MediaReport {
    bool opened = false;
    double durationSeconds = 0.0;  // the container's
    std::vector<StreamReport> streams;
    // The first decoded video frame's centre pixel as R, G, B.
    int firstRed = -1;
    int firstGreen = -1;
    int firstBlue = -1;

    const StreamReport* Find(const std::string& type) const;
};

// Opens path and decodes every stream to the end.
MediaReport ReadMedia(const std::string& path);

}  // namespace feedcat_test
