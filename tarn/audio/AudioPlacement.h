// Where decoded audio belongs on the source's clock when its timestamps are rounded to a time
// base coarser than a sample (Matroska and WebM count milliseconds): a frame's own time places
// it only to within a tick or two, but the samples between frames are exact. A run of frames
// (from where decoding starts, or from a gap) is placed by the times of all its frames at once,
// each counted back by the samples before it, and on the codec's grid of packet starts where it
// has one; so a run placed after a seek lands where decoding from the start puts it.
#pragma once

#include <cstdint>

#include "tarn/audio/AudioCoordinates.h"

namespace tarn {

// The places, in source samples at `rate`, where a stream's packets start: a whole number of
// granules after `origin`. None when granule is 0.
struct PacketGrid {
    int rate = 0;
    SourceSamples origin;
    SourceSamples granule;

    // The grid's place nearest `position` (at `rate`), when no farther than `reach` and than
    // half the way to the next place; else `position` itself.
    SourceSamples Snap(SourceSamples position, int rate, SourceSamples reach) const;
};

class RunPlacement {
  public:
    // Starts a run with its first frame: `rough` is where that frame's time puts its start,
    // `samples` how many it decodes to (trimmed or not), at `rate`; `reach` how far a time may
    // lie from its place (in samples).
    void Start(SourceSamples rough, SourceSamples samples, int rate, SourceSamples reach);

    // The next frame of the run. False, taking nothing, when it has another rate or its time
    // disagrees with the samples before it by more than rounding can (a jump): the run ends
    // before it.
    bool Take(SourceSamples rough, SourceSamples samples, int rate);

    // True once the run's place is as sure as it gets: one place of the grid agrees with every
    // time, or the run has lasted long enough for its times to have spread over their rounding.
    bool Settled(const PacketGrid& grid) const;

    // Where the run's first frame starts: the middle of the places its times allow, moved to
    // the grid's nearest place when that is near.
    SourceSamples Place(const PacketGrid& grid) const;

  private:
    // Where each frame's time puts the run's first frame: the lowest and the highest.
    SourceSamples low_;
    SourceSamples high_;
    SourceSamples samples_;  // in the frames taken
    int frames_ = 0;
    int rate_ = 0;
    SourceSamples reach_;
};

}  // namespace tarn
