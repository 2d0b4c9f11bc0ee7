// Which stream of an opened input the engine plays, and how that stream is to be shown and
// timed. Shared by the probe and by both clip readers, so that they agree.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/avutil.h>
#include <libavutil/rational.h>
}

struct AVFormatContext;
struct AVStream;

// 100-ns units per second, and the same as an FFmpeg time base.
constexpr std::int64_t kTicksPerSecond = 10000000;
constexpr AVRational kTickTimeBase = {1, 10000000};

// Times, timestamps and sample positions are kept within this many units either side of 0
// (over 3,600 years in 100-ns units), so that adding or subtracting two of them never overflows,
// whatever a damaged file or a caller hands over.
constexpr std::int64_t kTimeLimit = std::int64_t{1} << 60;
std::int64_t ClampTime(std::int64_t value);

// Index of the best stream of `type` that has a decoder; for video, attached pictures (cover
// art) are never chosen. -1 when there is none.
int FindBestStream(AVFormatContext* input, AVMediaType type);

// Clockwise rotation, in degrees (0, 90, 180 or 270), that turns the stored picture upright,
// from the stream's display matrix; 0 without one.
int ClockwiseRotation(const AVStream* stream);

// Where source time 0 lies on the input's own clock, in 100-ns units: the input's start time
// when that is positive (MPEG-TS and similar files start far from 0), else 0 (samples with
// negative times are pre-roll that an edit list hides). Both readers use it so that a file's
// pictures and sound stay in step.
std::int64_t SourceTimeOrigin(const AVFormatContext* input);
