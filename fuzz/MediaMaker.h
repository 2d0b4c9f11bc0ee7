// MediaMaker: small media files made in-process with FFmpeg's encoders and muxers, as a fuzz
// input describes them, and what a plain decode of such a file shows.
//
// Every picture is one flat colour that carries the frame's index (PaletteColour), so that
// whatever crop, clip mode and scaling a session applies, any pixel of the picture tells which
// source frame is shown. Formats too coarse to keep the colours (palettes, 1 to 4 bits a
// component) carry one bright colour instead: there only "picture or black" can be told.
// Audio is a 440 Hz sine at half scale in every channel.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libavutil/rational.h>
}

namespace mediamaker {

struct VideoPlan {
    int encoder = 0;  // an index into the encoder table (any value; taken modulo its size)
    int width = 64;
    int height = 48;
    int pixelFormat = 0;  // picks one of the formats the encoder takes (modulo their number)
    int gop = 12;         // frames from one keyframe to the next
    int bFrames = 0;      // B-frames in a row, where the encoder has them
    int frames = 25;
    AVRational rate = {25, 1};
    int rotation = 0;  // clockwise degrees to show it upright: 0, 90, 180, 270
    AVRational sar = {1, 1};
};

struct AudioPlan {
    int encoder = 0;  // 0: no audio; else an index into the audio encoder table
    int rate = 0;     // picks one of the rates the encoder takes, or a rate table's
    int channels = 1;
    double seconds = 1.0;
};

struct MediaPlan {
    int muxer = 0;  // an index into the muxer table
    VideoPlan video;
    AudioPlan audio;
    std::int64_t clockStartUs = 0;  // where the file's clock starts (output_ts_offset)
};

// What was made, for the checks.
struct MadeMedia {
    std::string muxer;
    std::string videoEncoder;
    std::string audioEncoder;  // empty: none
    AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;
    bool coarse = false;  // the pictures do not carry their index
    bool gray = false;    // the index is in grey levels only
    int matrix = 0;       // SWS_CS_* of the YUV pictures
    bool fullRange = false;
    std::string Describe() const;
};

// Writes the file at path (the name's extension does not matter). False when the encoders or
// the muxer do not take the combination (not a finding: the input is no use).
bool Make(const MediaPlan& plan, const std::string& path, MadeMedia* made);

// The colour of frame index's picture (index taken modulo PaletteSize(gray)), as R, G, B.
struct Rgb {
    int r, g, b;
};
int PaletteSize(bool gray);
Rgb PaletteColour(int index, bool gray);
// The palette index an output pixel (B, G, R order) shows, or -1 when it is none of them.
int IndexOf(const std::uint8_t* bgr, bool gray);

// One picture as a plain decode from the start shows it.
struct ReferenceFrame {
    std::int64_t time = 0;      // source time, 100-ns units (0 where the file's clock starts)
    std::int64_t duration = 0;  // as the frame says, 0 when it does not
    int index = -1;             // -1 for coarse formats
};

// A stretch of source time where the straight decode has sound, each placed by its frames'
// own timestamps (100-ns units); loud: the tone is there (not just the codec's priming or
// a fade-in), throughout.
struct AudioSpan {
    std::int64_t start = 0;
    std::int64_t end = 0;
    bool loud = false;
};

struct Reference {
    std::vector<ReferenceFrame> frames;
    std::int64_t frameTicks = 0;  // the nominal frame length, 100-ns units
    int width = 0;                // the picture as decoded
    int height = 0;
    bool hasAudio = false;
    // False when some audio frame has no timestamp: then where the sound lies is not known.
    bool audioPlaced = true;
    // Decoded audio in 5 ms pieces, neighbours of the same kind merged when less than 20 ms
    // apart (what the engine takes for rounding rather than a gap).
    std::vector<AudioSpan> audio;
};

// Decodes the file from its start to its end with FFmpeg directly. False (with the reason in
// *why) when it does not read back as made: frames missing, out of order or unreadable.
bool ReadReference(const std::string& path, const MadeMedia& made, Reference* reference,
                   std::string* why);

}  // namespace mediamaker
