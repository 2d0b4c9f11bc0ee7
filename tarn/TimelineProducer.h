// What a composite's timeline is made of, and the interface through which its producer thread
// turns the timeline into deliveries.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/MediaEngine.h"
#include "tarn/FrameBytes.h"

namespace tarn {

// One clip as the composite keeps it: plain data, so producers never touch engine objects.
struct ClipData {
    std::string name;  // empty: no media (black or silence)
    std::array<std::int32_t, 4> crop = {-1, -1, -1, -1};
    std::int32_t clipMode = 0;
    std::int32_t clipParam = 0;
    std::int64_t sourceStart = 0;  // 100-ns units
    std::int64_t sourceStop = 0;
    std::int64_t timelineStart = 0;
    std::int64_t timelineStop = 0;
};

// What a timeline delivers at a time: one frame or one buffer of samples, with its place on
// the timeline (100-ns units).
struct Chunk {
    FrameBytes bytes;  // aligned, so that frames are converted straight into it
    std::int64_t start = 0;
    std::int64_t duration = 0;
};

class TimelineProducer {
  public:
    virtual ~TimelineProducer() = default;
    // Fills `out` (reusing its storage) with the next delivery in timeline order; false once
    // the timeline is done. Called on the producer thread only.
    virtual bool Next(Chunk& out) = 0;
    // From any thread, when the timeline is stopping: a Next in progress returns soon, and the
    // deliveries made from then on are not shown to anyone.
    virtual void Interrupt() {}
    // The format record every delivery is described with (BITMAPINFOHEADER or WAVEFORMATEX).
    virtual const void* FormatRecord() const = 0;
};

// The clip of `clips` (sorted by timeline start) that covers time t, searching from *cursor,
// which moves past clips that have ended; -1 in a gap.
int FindClipAt(const std::vector<ClipData>& clips, std::int64_t t, std::size_t* cursor);

}  // namespace tarn
