// Which stream of an opened input is played, and how that stream is to be shown and timed.
// Shared by the probe, the engine's clip readers and the hosts' own probes, so that they agree.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/rational.h>
}

struct AVFormatContext;
struct AVStream;

namespace media {

// Index of the best stream of `type` that has a decoder; for video, attached pictures (cover
// art) are never chosen. -1 when there is none.
int FindBestStream(AVFormatContext* input, AVMediaType type);

// Clockwise rotation, in degrees (0, 90, 180 or 270), that turns the stored picture upright,
// from the stream's display matrix; 0 without one.
int ClockwiseRotation(const AVStream* stream);

// A video stream's picture as it should be shown, in pixels: the sample aspect ratio applied
// to the width (kept even, at least 2), then turned by the stream's rotation (so a 720x576 16:9
// stream is 1024x576, and a portrait phone video 1080x1920).
struct DisplaySize {
    std::int32_t width = 0;
    std::int32_t height = 0;
};
DisplaySize DisplayedSize(AVFormatContext* input, AVStream* stream);

// True when the input is a single still picture (PNG, JPEG, BMP, WebP, ... opened as the image
// file alone): its one frame is to be shown for as long as it is asked for.
bool IsStillImage(const AVFormatContext* input);

// The stream's frame rate: its average rate, else its base rate; {0, 1} when neither is known.
AVRational StreamFrameRate(const AVStream* stream);

// Where source time 0 lies on the input's own clock, in AV_TIME_BASE units (microseconds): the
// input's start time when that is positive (MPEG-TS and similar files start far from 0), else 0
// (samples with negative times are pre-roll that an edit list hides). Every reader of a file
// uses it, so that its pictures and sound stay in step.
std::int64_t SourceTimeOrigin(const AVFormatContext* input);

}  // namespace media
