#include "tarn/TimelineGrid.h"

extern "C" {
#include <libavutil/mathematics.h>
#include <libavutil/rational.h>
}

namespace tarn {

FrameGrid FrameGrid::FromRate(double framesPerSecond) {
    const AVRational rate = av_d2q(framesPerSecond, 1'001'000);
    return rate.num > 0 && rate.den > 0 ? FrameGrid(rate.num, rate.den) : FrameGrid(25, 1);
}

std::int64_t FrameGrid::FrameStart(std::int64_t index) const {
    return av_rescale_rnd(index, kUnitsPerSecond * den_, num_, AV_ROUND_NEAR_INF);
}

std::int64_t FrameGrid::FrameCount(std::int64_t length) const {
    if (length <= 0) {
        return 0;
    }
    std::int64_t count = av_rescale_rnd(length, num_, kUnitsPerSecond * den_, AV_ROUND_UP);
    while (count > 0 && FrameStart(count - 1) >= length) {
        --count;
    }
    while (FrameStart(count) < length) {
        ++count;
    }
    return count;
}

std::int64_t SampleGrid::SampleAt(std::int64_t time) const {
    return av_rescale_rnd(time, rate_, kUnitsPerSecond, AV_ROUND_NEAR_INF);
}

std::int64_t SampleGrid::TimeOf(std::int64_t sample) const {
    return av_rescale_rnd(sample, kUnitsPerSecond, rate_, AV_ROUND_NEAR_INF);
}

}  // namespace tarn
