// Opening media by name, under one set of rules for every reader and probe: local files
// (FFmpeg's protocols restricted to `file`, so a name never reaches the network or another
// protocol, and demuxers that would open further files refused) and `lavfi:` filter graphs
// of self-contained filters.
#pragma once

#include <cstdint>
#include <string>

#include "media/FFmpegHolders.h"

namespace media {

// Why a name could not be opened, as far as it can be told.
enum class OpenFailure {
    None,              // it opened
    NotFound,          // no file of that name (or an empty name)
    PermissionDenied,  // the file exists but may not be read
    NotAllowed,        // not a regular local file (a directory, FIFO, device), or a lavfi graph
                       // with filters that read files or devices
    NotMedia,          // a file no demuxer of this FFmpeg reads, or damaged beyond reading
    NoStreams,         // it opened but holds neither a video nor an audio stream
};

// A short English phrase for `failure` ("no such file", ...); "" for None.
const char* OpenFailureText(OpenFailure failure);

// Opens `name` and reads its stream information. A name starting with "lavfi:" is a graph
// for FFmpeg's lavfi device (e.g. "lavfi:testsrc2=size=320x240:rate=25:duration=2"); every
// other name is a local file. Null when it cannot be opened, with the reason in *why when
// `why` is given.
InputPtr OpenInput(const std::string& name, OpenFailure* why = nullptr);

// What a file holds, as far as the engine cares.
struct MediaInfo {
    bool hasVideo = false;
    bool hasAudio = false;
    std::int32_t videoLengthMs = -1;  // -1 when unknown
    std::int32_t audioLengthMs = -1;
    // The best video stream's picture as it should be shown: after rotation, and with the
    // sample aspect ratio applied to the width (so a 720x576 16:9 stream reports 1024x576).
    std::int32_t displayWidth = 0;
    std::int32_t displayHeight = 0;
    // The same picture as stored: its size, sample aspect ratio (0/1 when unknown) and the
    // clockwise rotation (0, 90, 180 or 270) that turns it upright, for a shown size after a
    // crop given in stored pixels.
    std::int32_t storedWidth = 0;
    std::int32_t storedHeight = 0;
    std::int32_t sampleAspectNum = 0;
    std::int32_t sampleAspectDen = 1;
    std::int32_t rotation = 0;
    double frameRate = 0.0;  // average frames per second of the best video stream, 0 if unknown
    std::int32_t sampleRate = 0;  // of the best audio stream, 0 if none
};

// Opens, inspects and closes `name`. False when it cannot be opened or holds neither video nor
// audio, with the reason in *why when `why` is given.
bool ProbeMedia(const std::string& name, MediaInfo* info, OpenFailure* why = nullptr);

}  // namespace media
