#include "tarn/audio/SourceSampleClock.h"

#include <algorithm>
#include <cstdlib>

#include "media/AudioGranule.h"
#include "tarn/TimeBase.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace tarn {

namespace {
// Jumps in the source's timestamps smaller than this are taken as rounding (Matroska stores
// milliseconds) and the audio as continuous; larger ones are gaps that read as silence.
constexpr Units kGap(kUnitsPerSecond / 50);
}  // namespace

void SourceSampleClock::Start(const AVStream* stream, Units origin, std::int64_t firstPacket) {
    timeBase_ = stream->time_base;
    origin_ = origin;
    const int rate = stream->codecpar->sample_rate;
    const std::int64_t granule = media::AudioGranule(stream->codecpar);
    if (firstPacket == AV_NOPTS_VALUE || rate <= 0 || rate > kMaxSourceSampleRate || granule <= 0) {
        return;
    }
    grid_ = PacketGrid{rate, Position(firstPacket, rate), SourceSamples(granule)};
    // A stream whose first packet lies one codec delay before 0 (as Matroska keeps Opus)
    // starts its sound at 0 exactly; a time rounded to the time base says so only roughly.
    const SourceSamples delayed =
        SourceSamples(-stream->codecpar->initial_padding) - SourceSamplesNearest(origin_, rate);
    if (stream->codecpar->initial_padding > 0 &&
        std::abs((grid_.origin - delayed).value) <=
            std::min(RoundingReach(Tick(rate)).value, (granule - 1) / 2)) {
        grid_.origin = delayed;
    }
}

SourceSamples SourceSampleClock::Position(std::int64_t timestamp, int rate) const {
    const AVRational sampleTime = {1, rate};
    return SourceSamples(ClampTime(av_rescale_q(timestamp, timeBase_, sampleTime))) -
           SourceSamplesNearest(origin_, rate);
}

SourceSamples SourceSampleClock::Tick(int rate) const {
    return SourceSamples(av_rescale_rnd(timeBase_.num, rate, timeBase_.den, AV_ROUND_UP));
}

SourceSamples SourceSampleClock::Snap(SourceSamples rough, int rate, SourceSamples tick) const {
    return grid_.Snap(rough, rate, RoundingReach(tick));
}

SourceSamples SourceSampleClock::GapAt(int rate) {
    return SourceSamplesNearest(kGap, rate);
}

}  // namespace tarn
