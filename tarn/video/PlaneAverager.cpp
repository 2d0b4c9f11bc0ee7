#include "tarn/video/PlaneAverager.h"

#include <algorithm>
#include <cstring>

// The loops below are written for the compiler to vectorise (this file is built with -O3); they
// are compiled twice, for any x86-64 processor and for those with AVX2, and the wider copy is
// chosen at run time.
#if defined(__x86_64__) || defined(__i386__)
#define FEED_AVERAGER_AVX2 1
#endif
#define FEED_ALWAYS_INLINE inline __attribute__((always_inline))

namespace tarn {

namespace {

template <typename Sample>
struct PlaneJob {
    const Sample* source;
    std::ptrdiff_t sourceStride;
    int sourceRows;
    Sample* target;
    std::ptrdiff_t targetStride;
    int width;
    int firstRow;
    int rowCount;
    PlaneReduction reduction;
    std::uint16_t* sums;  // width x columnFactor x channels
};

// sums = weight x row, or sums += weight x row.
template <typename Sample>
FEED_ALWAYS_INLINE void AddRow(std::uint16_t* sums, const Sample* row, int count, unsigned weight,
                               bool first) {
    if (first) {
        for (int i = 0; i < count; ++i) {
            sums[i] = static_cast<std::uint16_t>(row[i] * weight);
        }
    } else {
        for (int i = 0; i < count; ++i) {
            sums[i] = static_cast<std::uint16_t>(sums[i] + row[i] * weight);
        }
    }
}

// Each output sample from `factor` neighbouring column sums (of the same channel), divided by
// the weight of the whole area: (sum x multiplier) / 65536, rounded, with multiplier = 65536 /
// weight. `Factor` is the factor where it is known when compiling (the loops unroll and
// vectorise better), else 0.
template <int Factor, int Channels, typename Sample>
FEED_ALWAYS_INLINE void FinishRow(const std::uint16_t* sums, int width, int factor,
                                  std::uint32_t multiplier, Sample* out) {
    const int columns = Factor > 0 ? Factor : factor;
    for (int x = 0; x < width; ++x) {
        for (int c = 0; c < Channels; ++c) {
            std::uint32_t sum = 0;
            for (int k = 0; k < columns; ++k) {
                sum += sums[(x * columns + k) * Channels + c];
            }
            out[x * Channels + c] = static_cast<Sample>((sum * multiplier + 0x8000) >> 16);
        }
    }
}

template <int Channels, typename Sample>
FEED_ALWAYS_INLINE void FinishRowOf(const std::uint16_t* sums, int width, int factor,
                                    std::uint32_t multiplier, Sample* out) {
    switch (factor) {
        case 1:
            FinishRow<1, Channels>(sums, width, factor, multiplier, out);
            break;
        case 2:
            FinishRow<2, Channels>(sums, width, factor, multiplier, out);
            break;
        case 3:
            FinishRow<3, Channels>(sums, width, factor, multiplier, out);
            break;
        case 4:
            FinishRow<4, Channels>(sums, width, factor, multiplier, out);
            break;
        default:
            FinishRow<0, Channels>(sums, width, factor, multiplier, out);
            break;
    }
}

template <typename Sample>
FEED_ALWAYS_INLINE void AveragePlaneBody(const PlaneJob<Sample>& job) {
    const PlaneReduction& reduction = job.reduction;
    const int rowSamples = job.width * reduction.channels;
    const int sourceSamples = rowSamples * reduction.columnFactor;
    const std::uint32_t weight =
        static_cast<std::uint32_t>(reduction.columnFactor) * reduction.rowFactor;
    const std::uint32_t multiplier = (65536 + weight / 2) / weight;
    for (int r = job.firstRow; r < job.firstRow + job.rowCount; ++r) {
        // The units this output row covers, and the source rows that overlap them.
        const int begin = r * reduction.rowFactor;
        const int end = begin + reduction.rowFactor;
        Sample* out = job.target + (r - job.firstRow) * job.targetStride;
        const int firstRow = begin / reduction.rowSpan;
        const int lastRow = std::min((end - 1) / reduction.rowSpan, job.sourceRows - 1);
        if (firstRow == lastRow && reduction.columnFactor == 1) {
            // One source row, as it is (4:2:0 chroma brought to the output's rows).
            std::memcpy(out, job.source + firstRow * job.sourceStride,
                        sizeof(Sample) * static_cast<std::size_t>(rowSamples));
            continue;
        }
        for (int i = firstRow; i <= lastRow; ++i) {
            const int overlap =
                std::min(end, (i + 1) * reduction.rowSpan) - std::max(begin, i * reduction.rowSpan);
            AddRow(job.sums, job.source + i * job.sourceStride, sourceSamples,
                   static_cast<unsigned>(overlap), i == firstRow);
        }
        switch (reduction.channels) {
            case 3:
                FinishRowOf<3>(job.sums, job.width, reduction.columnFactor, multiplier, out);
                break;
            case 4:
                FinishRowOf<4>(job.sums, job.width, reduction.columnFactor, multiplier, out);
                break;
            default:
                FinishRowOf<1>(job.sums, job.width, reduction.columnFactor, multiplier, out);
                break;
        }
    }
}

template <typename Sample>
void AveragePlanePlain(const PlaneJob<Sample>& job) {
    AveragePlaneBody(job);
}

#if defined(FEED_AVERAGER_AVX2)
template <typename Sample>
__attribute__((target("avx2"))) void AveragePlaneAvx2(const PlaneJob<Sample>& job) {
    AveragePlaneBody(job);
}

bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2") != 0;
    return has;
}
#endif

template <typename Sample>
void AveragePlane(const PlaneJob<Sample>& job) {
#if defined(FEED_AVERAGER_AVX2)
    if (HasAvx2()) {
        AveragePlaneAvx2(job);
        return;
    }
#endif
    AveragePlanePlain(job);
}

}  // namespace

void PlaneAverager::Average(const std::uint8_t* source, std::ptrdiff_t sourceStride, int sourceRows,
                            std::uint8_t* target, std::ptrdiff_t targetStride, int width,
                            int firstRow, int rowCount, const PlaneReduction& reduction) {
    sums_.resize(static_cast<std::size_t>(width) * reduction.columnFactor * reduction.channels);
    AveragePlane(PlaneJob<std::uint8_t>{source, sourceStride, sourceRows, target, targetStride,
                                        width, firstRow, rowCount, reduction, sums_.data()});
}

void PlaneAverager::Average(const std::uint16_t* source, std::ptrdiff_t sourceStride,
                            int sourceRows, std::uint16_t* target, std::ptrdiff_t targetStride,
                            int width, int firstRow, int rowCount,
                            const PlaneReduction& reduction) {
    sums_.resize(static_cast<std::size_t>(width) * reduction.columnFactor * reduction.channels);
    AveragePlane(PlaneJob<std::uint16_t>{source, sourceStride, sourceRows, target, targetStride,
                                         width, firstRow, rowCount, reduction, sums_.data()});
}

}  // namespace tarn
