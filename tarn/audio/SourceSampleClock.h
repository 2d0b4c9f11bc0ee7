// SourceSampleClock: where a decoded audio frame lies on the source's own sample clock (0 is
// source time 0), from its timestamp in the stream's time base, and how far that timestamp can
// be trusted: a time base coarser than a sample (Matroska counts milliseconds) rounds it, and
// the codec's grid of packet starts, where it has one, says where it really belongs.
#pragma once

#include <cstdint>

#include "tarn/audio/AudioCoordinates.h"
#include "tarn/audio/AudioPlacement.h"

extern "C" {
#include <libavutil/rational.h>
}

struct AVStream;

namespace tarn {

class SourceSampleClock {
  public:
    // Sets the clock up for `stream`, whose source time 0 lies at `origin` on the stream's
    // clock, and whose first packet has the timestamp `firstPacket` (AV_NOPTS_VALUE when
    // unknown; then there is no grid).
    void Start(const AVStream* stream, Units origin, std::int64_t firstPacket);

    Units origin() const { return origin_; }
    const PacketGrid& grid() const { return grid_; }

    // Where `timestamp` (in the stream's time base) lies, in source samples at `rate`.
    SourceSamples Position(std::int64_t timestamp, int rate) const;
    // How many samples at `rate` a tick of the stream's time base lasts, rounded up.
    SourceSamples Tick(int rate) const;
    // How far a time rounded to a time base of `tick` samples may lie from the place it stands
    // for: a muxer may round twice.
    static SourceSamples RoundingReach(SourceSamples tick) { return SourceSamples(2 * tick.value); }
    // The grid's place nearest `rough` (at `rate`, with timestamps in ticks of `tick` samples)
    // when it is within rounding of it; else `rough` itself. A decoder that ran from the
    // stream's first packet would have put the packet there.
    SourceSamples Snap(SourceSamples rough, int rate, SourceSamples tick) const;
    // Jumps in the source's timestamps up to this long at `rate` are rounding and the audio
    // continuous; longer ones are gaps that read as silence.
    static SourceSamples GapAt(int rate);

  private:
    AVRational timeBase_ = {1, 1};
    Units origin_;
    // Every packet starts on the grid, from the stream's first packet on (when it is known).
    PacketGrid grid_;
};

}  // namespace tarn
