// Reads back what feedcat wrote, with libavformat and libavcodec.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/ScratchFolder.h"

extern "C" {
#include <libavutil/pixfmt.h>
#include <libavutil/rational.h>
}

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
    std::int64_t packetBytes = 0;   // all of the stream's packets
    AVRational frameRate{0, 1};     // the stream's (r_frame_rate)
    // The colour description as the decoder reports it on the first picture.
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
};

struct MediaReport {
    bool opened = false;
    double durationSeconds = 0.0;  // the container's
    std::vector<StreamReport> streams;
    // The first decoded video frame's centre pixel as R, G, B (converted with the matrix and
    // range the picture is tagged with) and, for 4:2:0 pictures, as Y, Cb, Cr.
    int firstRed = -1;
    int firstGreen = -1;
    int firstBlue = -1;
    int firstY = -1;
    int firstCb = -1;
    int firstCr = -1;
    // The first decoded video frame as R, G, B bytes, rows top-down.
    std::vector<std::uint8_t> firstRgb;
    int firstWidth = 0;
    int firstHeight = 0;

    const StreamReport* Find(const std::string& type) const;
    // R, G and B of the first frame at (x, y), as {r, g, b}; {-1, -1, -1} outside it.
    std::array<int, 3> RgbAt(int x, int y) const;
};

// Opens path and decodes every stream to the end.
MediaReport ReadMedia(const std::string& path);

// Runs feedcat with args in folder, then reads the file `output` it wrote there into *media.
// A fatal failure when feedcat fails or the file does not open: call it inside
// ASSERT_NO_FATAL_FAILURE.
void RunFeedcatAndRead(const std::vector<std::string>& args, const support::ScratchFolder& folder,
                       const std::string& output, MediaReport* media);

}  // namespace feedcat_test
