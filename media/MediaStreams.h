// Which stream of an opened input is played, and how that stream is to be shown and timed.
// Shared by the probe, the engine's clip readers and the hosts' own probes, so that they agree.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/rational.h>
}

struct AVFormatContext;
struct AVFrame;
struct AVStream;

namespace media {

// Index of the best stream of `type` that has a decoder; for video, attached pictures (cover
// art) are never chosen. -1 when there is none.
int FindBestStream(AVFormatContext* input, AVMediaType type);

// Clockwise rotation, in degrees (0, 90, 180 or 270), that turns the stored picture upright,
// from the stream's display matrix; 0 without one. A mirrored picture is turned upright and
// stays mirrored.
int ClockwiseRotation(const AVStream* stream);

// The same for a decoded picture of the stream: from the picture's own display matrix when it
// carries one (a JPEG's EXIF orientation), else from the stream's.
int ClockwiseRotation(const AVStream* stream, const AVFrame* picture);

// The clockwise rotation of the pictures of the input's stream `index` as they are shown, for
// probes: for a still image (IsStillImage) the one its decoded picture carries, which only
// decoding tells; else the stream's. Reads packets from the input: a probe calls it once it
// needs nothing else read.
int ShownRotation(AVFormatContext* input, int index);

// A video stream's picture as it should be shown, in pixels: the sample aspect ratio applied
// to the width (kept even, at least 2), then turned by `rotation` clockwise degrees (ShownRotation:
// so a 720x576 16:9 stream is 1024x576, and a portrait phone video 1080x1920).
struct DisplaySize {
    std::int32_t width = 0;
    std::int32_t height = 0;
};
DisplaySize DisplayedSize(AVFormatContext* input, AVStream* stream, int rotation);

// True when the input is an image file (PNG, JPEG, BMP, WebP, ... opened as the image file
// alone): one picture to be shown for as long as it is asked for, or, when the file holds
// several and FFmpeg reads them one by one (a PNG file may), pictures one after another at the
// stream's frame rate.
bool IsStillImage(const AVFormatContext* input);

// For an image file: true when FFmpeg takes the whole file as one picture (as ffmpeg reads a
// JPEG photo), whatever follows its first picture (a phone's preview or depth map); false when
// it reads the file picture by picture ("png_pipe", "jpeg_pipe", ...).
bool ReadsAsOnePicture(const AVFormatContext* input);

// The name of FFmpeg's image sequence reader, which OpenInput lets read a lone image file (the
// name taken as it stands, not as a pattern of names) where FFmpeg's probe gives it one.
constexpr const char kImageSequenceReader[] = "image2";

// The stream's frame rate: its average rate, else its base rate; {0, 1} when neither is known.
AVRational StreamFrameRate(const AVStream* stream);

// Where source time 0 lies on the input's own clock, in AV_TIME_BASE units (microseconds): the
// input's start time when that is positive (MPEG-TS and similar files start far from 0), else 0
// (samples with negative times are pre-roll that an edit list hides). Every reader of a file
// uses it, so that its pictures and sound stay in step.
std::int64_t SourceTimeOrigin(const AVFormatContext* input);

}  // namespace media
