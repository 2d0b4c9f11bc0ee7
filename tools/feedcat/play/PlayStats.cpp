#include "play/PlayStats.h"

#include <cmath>
#include <cstdlib>

namespace feedcat {
namespace {

// Frames this close to a join, on either side, count as the join's: the last ones of the clip
// that ends and the first ones of the clip that was prepared while it played.
constexpr std::int32_t kJoinReachMs = 1000;

}  // namespace

void PlayStats::Arrived(const QueuedFrame& frame) {
    for (const std::int32_t join : videoJoinsMs_) {
        if (std::abs(frame.positionMs - join) <= kJoinReachMs) {
            const double lateness = frame.arrivedAtMs - frame.positionMs;
            worstJoinLatenessMs_ = sawJoin_ ? std::max(worstJoinLatenessMs_, lateness) : lateness;
            sawJoin_ = true;
            return;
        }
    }
}

void PlayStats::Shown(const QueuedFrame& frame, double clockMs) {
    Arrived(frame);
    ++shown_;
    lastOffsetMs_ = frame.positionMs - clockMs;
    if (std::fabs(lastOffsetMs_) > std::fabs(largestOffsetMs_)) {
        largestOffsetMs_ = lastOffsetMs_;
    }
}

void PlayStats::Dropped(const QueuedFrame& frame) {
    Arrived(frame);
    ++dropped_;
}

}  // namespace feedcat
