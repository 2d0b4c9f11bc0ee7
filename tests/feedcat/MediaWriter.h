// Writes small lossless video files for feedcat's runs to read: FFV1 in Matroska, pictures
// painted by the test, with the colour description the test gives.
#pragma once

#include <functional>
#include <string>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libavutil/rational.h>
}

namespace feedcat_test {

struct PaintedVideo {
    int width = 320;
    int height = 240;
    int frames = 5;
    AVRational rate{25, 1};
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
    AVColorRange range = AVCOL_RANGE_MPEG;
    // Fills a writable yuv420p picture of width x height; index counts from 0.
    std::function<void(AVFrame* picture, int index)> paint;
};

// False with a reason when the file cannot be written.
bool WriteVideoFile(const std::string& path, const PaintedVideo& painted, std::string* error);

// A painter that fills the whole picture with one Y, Cb, Cr.
std::function<void(AVFrame*, int)> SolidColour(int y, int cb, int cr);

// A moving pattern of width x height at 25 fps and a 440 Hz tone at 8000 Hz, mono, each
// lengthMs long (either left out when its flag is false), written by feedcat itself from lavfi
// graphs into folder/name, losslessly (FFV1 and 16-bit PCM, in what name's extension picks).
bool WritePatternAndTone(const std::string& folder, const std::string& name, int width, int height,
                         int lengthMs, bool video, bool audio, std::string* error);

}  // namespace feedcat_test
