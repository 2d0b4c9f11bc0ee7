// Writes a media file with FFmpeg's own encoders and muxers: one picture track and one sound
// track at most, each described by what it holds and how it is coded. Every test medium of the
// C++ tests, the fuzzers and the Python tests is written through here.
//
// No test framework: callers report a failed write their own way (the message says what
// failed).
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libavutil/rational.h>
}

namespace testmedia {

// Options set on an encoder before it opens, by FFmpeg's option names ("g", "bf", "crf",
// "x264-params", "flags": "+qscale", ...), as ffmpeg's command line takes them.
using EncoderOptions = std::map<std::string, std::string>;

struct VideoTrack {
    std::vector<std::string> encoders;  // by name; the first one this FFmpeg has is used
    int width = 160;
    int height = 120;
    AVRational timeBase = {1, 25};
    AVRational frameRate = {0, 1};        // when known: the codec's and the stream's nominal rate
    std::vector<std::int64_t> times;      // of each picture, in timeBase
    std::vector<std::int64_t> durations;  // of each picture, in timeBase; empty: 1 each
    AVRational sampleAspectRatio = {1, 1};
    int clockwiseRotation = 0;  // degrees a player turns the picture to show it
    int keyframeInterval = 12;
    int bFrames = 0;
    bool coverArt = false;  // one picture shown with the sound, as an attached picture
    AVPixelFormat pixelFormat = AV_PIX_FMT_YUV420P;  // what `paint` fills
    // The encoder's format when it differs (PNG takes RGB): the painted picture is converted.
    AVPixelFormat encodeFormat = AV_PIX_FMT_NONE;
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
    EncoderOptions options;
    // Fills picture `index` (a writable frame of pixelFormat, width x height).
    std::function<void(AVFrame* picture, int index)> paint;
};

struct AudioTrack {
    std::string encoder = "pcm_s16le";
    int sampleRate = 44100;
    int channels = 2;
    std::string layout;  // FFmpeg's name of the channel layout; empty: the usual one for channels
    std::int64_t frames = 0;  // sample frames
    // True: the last frame handed to the encoder is as long as the others, filled out with
    // more of `sample` past `frames` (as a recorder that hands over whole frames writes it).
    bool wholeLastFrame = false;
    EncoderOptions options;
    // Sample frame `index` of `channel`, from -1 to 1; stored in whatever format the encoder
    // takes first.
    std::function<double(std::int64_t index, int channel)> sample;
};

struct MediaFile {
    std::string muxer;  // FFmpeg's name: "matroska", "mp4", "image2pipe", ...
    const VideoTrack* video = nullptr;
    const AudioTrack* audio = nullptr;
    std::int64_t clockStartUs = 0;  // where the file's clock starts (ffmpeg's -output_ts_offset)
};

// Holds an encoder that takes one (MPEG-4 Visual, MPEG-2, MJPEG, ...) at a fixed quantiser;
// 2 keeps flat colours and bar codes.
EncoderOptions FixedQuantiser(int quantiser);

// Writes `file` at `path`, pictures and sound interleaved by time as a recorder hands them
// over. False with the reason in *error when FFmpeg lacks an encoder or refuses the
// combination; the file may then be partly written.
bool WriteMediaFile(const std::string& path, const MediaFile& file, std::string* error);

// Times 0, 1, ... count - 1: pictures one time-base unit apart.
std::vector<std::int64_t> EvenTimes(int count);

// sin(2 pi hz index / rate): a tone of unit amplitude.
double Sine(double hz, double rate, std::int64_t index);

}  // namespace testmedia
