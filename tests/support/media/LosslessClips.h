// Small lossless clips a test writes into its own folder: FFV1 pictures and 16-bit PCM sound,
// so that what a run delivers can be compared with what was painted, pixel for pixel.
#pragma once

#include <string>

#include "tests/support/media/MediaFileWriter.h"

namespace testmedia {

// FFV1 pictures of width x height, `frames` of them at 25 fps, YUV 4:2:0 tagged limited range
// and nothing else; the caller gives `paint` (and any colour tags).
VideoTrack LosslessVideo(int width, int height, int frames);

// Writes `video` alone in Matroska. False with the reason in *error.
bool WriteLosslessVideo(const std::string& path, const VideoTrack& video, std::string* error);

// Bar-coded pictures of width x height at 25 fps and a 440 Hz tone at half scale, 8000 Hz
// mono, each lengthMs long (either left out when its flag is false), in what name's extension
// picks (Matroska for .mkv, WAV for .wav), written into folder/name.
bool WritePatternAndTone(const std::string& folder, const std::string& name, int width, int height,
                         int lengthMs, bool video, bool audio, std::string* error);

}  // namespace testmedia
