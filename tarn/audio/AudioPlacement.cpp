#include "tarn/audio/AudioPlacement.h"

#include <algorithm>
#include <cstdlib>

namespace tarn {

namespace {
// A run is settled by the times of its frames over this long, or of this many frames: enough
// for times rounded to milliseconds to have spread over their rounding, and within the stretch
// decoded before a clip's start (200 ms).
constexpr std::int64_t kSettlingMs = 150;
constexpr int kSettlingFrames = 32;

// a / b rounded to the nearest (b > 0).
std::int64_t NearestDivide(std::int64_t a, std::int64_t b) {
    return FloorDivide(a + b / 2, b);
}
}  // namespace

SourceSamples PacketGrid::Snap(SourceSamples position, int atRate, SourceSamples reach) const {
    if (granule.value <= 0 || atRate != rate) {
        return position;
    }
    const SourceSamples snapped(
        origin.value + NearestDivide((position - origin).value, granule.value) * granule.value);
    const std::int64_t halfWay = (granule.value - 1) / 2;
    return std::abs((snapped - position).value) <= std::min(reach.value, halfWay) ? snapped
                                                                                  : position;
}

void RunPlacement::Start(SourceSamples rough, SourceSamples samples, int rate,
                         SourceSamples reach) {
    low_ = rough;
    high_ = rough;
    samples_ = samples;
    frames_ = 1;
    rate_ = rate;
    reach_ = reach;
}

bool RunPlacement::Take(SourceSamples rough, SourceSamples samples, int rate) {
    const SourceSamples start = rough - samples_;
    const SourceSamples low = std::min(low_, start);
    const SourceSamples high = std::max(high_, start);
    if (rate != rate_ || (high - low).value > 2 * reach_.value) {
        return false;
    }
    low_ = low;
    high_ = high;
    samples_ += samples;
    ++frames_;
    return true;
}

bool RunPlacement::Settled(const PacketGrid& grid) const {
    if (samples_.value * 1000 >= rate_ * kSettlingMs || frames_ >= kSettlingFrames) {
        return true;
    }
    if (grid.granule.value <= 0 || grid.rate != rate_) {
        return false;
    }
    // The places every time allows: [high - reach, low + reach]. One grid place among them
    // settles it.
    const SourceSamples from = high_ - reach_;
    const SourceSamples to = low_ + reach_;
    const SourceSamples firstPlace(grid.origin.value -
                                   FloorDivide((grid.origin - from).value, grid.granule.value) *
                                       grid.granule.value);
    return firstPlace <= to && firstPlace + grid.granule > to;
}

SourceSamples RunPlacement::Place(const PacketGrid& grid) const {
    const SourceSamples middle(low_.value + (high_ - low_).value / 2);
    return grid.Snap(middle, rate_, reach_);
}

}  // namespace tarn
