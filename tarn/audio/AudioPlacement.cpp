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

// a / b rounded towards minus infinity, and to the nearest (b > 0).
std::int64_t FloorDivide(std::int64_t a, std::int64_t b) {
    const std::int64_t quotient = a / b;
    return (a % b != 0 && a < 0) ? quotient - 1 : quotient;
}
std::int64_t NearestDivide(std::int64_t a, std::int64_t b) {
    return FloorDivide(a + b / 2, b);
}
}  // namespace

std::int64_t PacketGrid::Snap(std::int64_t position, int atRate, std::int64_t reach) const {
    if (granule <= 0 || atRate != rate) {
        return position;
    }
    const std::int64_t snapped = origin + NearestDivide(position - origin, granule) * granule;
    return std::abs(snapped - position) <= std::min(reach, (granule - 1) / 2) ? snapped : position;
}

void RunPlacement::Start(std::int64_t rough, std::int64_t samples, int rate, std::int64_t reach) {
    low_ = rough;
    high_ = rough;
    samples_ = samples;
    frames_ = 1;
    rate_ = rate;
    reach_ = reach;
}

bool RunPlacement::Take(std::int64_t rough, std::int64_t samples, int rate) {
    const std::int64_t start = rough - samples_;
    const std::int64_t low = std::min(low_, start);
    const std::int64_t high = std::max(high_, start);
    if (rate != rate_ || high - low > 2 * reach_) {
        return false;
    }
    low_ = low;
    high_ = high;
    samples_ += samples;
    ++frames_;
    return true;
}

bool RunPlacement::Settled(const PacketGrid& grid) const {
    if (samples_ * 1000 >= rate_ * kSettlingMs || frames_ >= kSettlingFrames) {
        return true;
    }
    if (grid.granule <= 0 || grid.rate != rate_) {
        return false;
    }
    // The places every time allows: [high - reach, low + reach]. One grid place among them
    // settles it.
    const std::int64_t from = high_ - reach_;
    const std::int64_t to = low_ + reach_;
    const std::int64_t firstPlace =
        grid.origin - FloorDivide(grid.origin - from, grid.granule) * grid.granule;
    return firstPlace <= to && firstPlace + grid.granule > to;
}

std::int64_t RunPlacement::Place(const PacketGrid& grid) const {
    const std::int64_t middle = low_ + (high_ - low_) / 2;
    return grid.Snap(middle, rate_, reach_);
}

}  // namespace tarn
