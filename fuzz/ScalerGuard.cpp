// ScalerGuard: catches libswscale writing outside the picture it was handed.
//
// FFmpeg is the system's build and is not instrumented, so AddressSanitizer does not see its
// stores: a scaler that writes past the end of a caller's buffer corrupts the heap silently
// (or crashes much later, somewhere else). The fuzz targets are linked with
// -Wl,--wrap=sws_scale, which sends every sws_scale call of the engine (and of the targets)
// here. For a whole-picture call each destination plane is redirected to a scratch copy that
// holds the caller's bytes up to the end of its last row, then the bytes of the caller's
// buffer that are still addressable after it (its allocation's own slack), then a canary.
// After the real call a changed canary means the scaler wrote where the caller's buffer does
// not reach: that is reported like a sanitizer finding and the process aborts. Otherwise the
// scratch bytes go back into the caller's buffer, so the caller sees exactly what the scaler
// wrote. Calls for part of a picture (slices) or with upward strides go straight through.
//
// Without AddressSanitizer (fuzz_session_capped) the caller's slack cannot be told, so the
// guard contains instead of reporting: nothing past the end of the last row reaches the
// caller's buffer. A stray write there would corrupt glibc's heap and end in a crash or a
// deadlock inside the crash handler; the sanitized targets are the ones that report it.
//
// FUZZ_SCALER_GUARD=0 in the environment lets every call straight through, so that a campaign
// can look past an open finding of this guard.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SCALER_GUARD_REPORTS 1
#endif
#endif

#if defined(SCALER_GUARD_REPORTS)
#include <sanitizer/asan_interface.h>
#endif
#include <sanitizer/common_interface_defs.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>

int __real_sws_scale(SwsContext* context, const std::uint8_t* const source[],
                     const int sourceStride[], int sliceY, int sliceHeight,
                     std::uint8_t* const destination[], const int destinationStride[]);
int __wrap_sws_scale(SwsContext* context, const std::uint8_t* const source[],
                     const int sourceStride[], int sliceY, int sliceHeight,
                     std::uint8_t* const destination[], const int destinationStride[]);
}

namespace {

// How far past a plane's last row the scaler is watched: far more than any SIMD tail.
constexpr std::size_t kWatched = 4096;
constexpr std::uint8_t kCanary = 0xA5;
constexpr std::size_t kLargestWatched = std::size_t{64} << 20;
#if defined(SCALER_GUARD_REPORTS)
constexpr bool kReports = true;
#else
constexpr bool kReports = false;
#endif

struct PlaneWatch {
    std::uint8_t* target = nullptr;  // the caller's plane
    std::size_t declared = 0;        // bytes up to the end of its last row
    std::size_t slack = 0;           // addressable bytes of the caller's buffer after that
    std::vector<std::uint8_t> scratch;
};

// The number of bytes from `at` on, up to `limit`, that belong to the heap block holding
// `at`; without AddressSanitizer, or outside the heap, none can be vouched for. (Asking
// whether the bytes are poisoned is not enough: past a large block that ends on a page
// boundary lies unmapped memory, which is not poisoned either.)
std::size_t AddressableBytes(const std::uint8_t* at, std::size_t limit) {
#if defined(SCALER_GUARD_REPORTS)
    void* block = nullptr;
    std::size_t blockSize = 0;
    char name[8] = {};
    const char* kind =
        __asan_locate_address(const_cast<std::uint8_t*>(at), name, sizeof name, &block, &blockSize);
    if (kind == nullptr || std::strcmp(kind, "heap") != 0 || block == nullptr) {
        return 0;
    }
    const auto* end = static_cast<const std::uint8_t*>(block) + blockSize;
    if (at < static_cast<const std::uint8_t*>(block) || at >= end) {
        return 0;
    }
    return std::min(limit, static_cast<std::size_t>(end - at));
#else
    (void)at;
    (void)limit;
    return 0;
#endif
}

[[noreturn]] void ReportOverrun(int plane, std::size_t declared, std::size_t slack,
                                std::size_t written, int width, int height, AVPixelFormat format,
                                int stride) {
    const char* name = av_get_pix_fmt_name(format);
    std::fprintf(stderr,
                 "==%d==ERROR: ScalerGuard: sws_scale wrote %zu bytes past the end of "
                 "destination plane %d\n"
                 "  destination %dx%d %s, stride %d: the plane's last row ends %zu bytes in, "
                 "and its buffer has %zu addressable bytes after that\n",
                 static_cast<int>(getpid()), written - declared - slack, plane, width, height,
                 name != nullptr ? name : "?", stride, declared, slack);
#if defined(SCALER_GUARD_REPORTS)
    __sanitizer_print_stack_trace();
#endif
    std::fprintf(stderr,
                 "SUMMARY: ScalerGuard: heap-buffer-overflow in sws_scale (uninstrumented)\n");
    std::abort();
}

}  // namespace

extern "C" int __wrap_sws_scale(SwsContext* context, const std::uint8_t* const source[],
                                const int sourceStride[], int sliceY, int sliceHeight,
                                std::uint8_t* const destination[], const int destinationStride[]) {
    static const bool kOn = [] {
        const char* setting = std::getenv("FUZZ_SCALER_GUARD");
        return setting == nullptr || std::strcmp(setting, "0") != 0;
    }();
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t sourceHeight = 0;
    AVPixelFormat format = AV_PIX_FMT_NONE;
    if (!kOn || context == nullptr || destination == nullptr || destinationStride == nullptr ||
        av_opt_get_int(context, "dstw", 0, &width) < 0 ||
        av_opt_get_int(context, "dsth", 0, &height) < 0 ||
        av_opt_get_int(context, "srch", 0, &sourceHeight) < 0 ||
        av_opt_get_pixel_fmt(context, "dst_format", 0, &format) < 0 || width <= 0 || height <= 0 ||
        sliceY != 0 || sliceHeight != sourceHeight) {
        return __real_sws_scale(context, source, sourceStride, sliceY, sliceHeight, destination,
                                destinationStride);
    }
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    int lineBytes[4] = {};
    if (descriptor == nullptr ||
        av_image_fill_linesizes(lineBytes, format, static_cast<int>(width)) < 0) {
        return __real_sws_scale(context, source, sourceStride, sliceY, sliceHeight, destination,
                                destinationStride);
    }

    PlaneWatch planes[4];
    std::uint8_t* redirected[4] = {};
    const int planeCount = av_pix_fmt_count_planes(format);
    for (int plane = 0; plane < planeCount && plane < 4; ++plane) {
        if (destination[plane] == nullptr || destinationStride[plane] <= 0 ||
            lineBytes[plane] <= 0) {
            return __real_sws_scale(context, source, sourceStride, sliceY, sliceHeight, destination,
                                    destinationStride);
        }
        const bool chroma = (plane == 1 || plane == 2) &&
                            (descriptor->flags & AV_PIX_FMT_FLAG_RGB) == 0 &&
                            descriptor->nb_components >= 3;
        const std::int64_t rows =
            chroma ? AV_CEIL_RSHIFT(height, descriptor->log2_chroma_h) : height;
        PlaneWatch& watch = planes[plane];
        watch.target = destination[plane];
        watch.declared =
            static_cast<std::size_t>((rows - 1) * destinationStride[plane] + lineBytes[plane]);
        if (kReports && AddressableBytes(watch.target, watch.declared) != watch.declared) {
            // The caller's rows are not all inside one heap block (or not on the heap at
            // all): the call goes through unchanged.
            return __real_sws_scale(context, source, sourceStride, sliceY, sliceHeight, destination,
                                    destinationStride);
        }
        watch.slack = AddressableBytes(watch.target + watch.declared, kWatched);
        // Very large planes (the capped build plays frames up to 1 GiB) go straight through:
        // a second copy would only bring the address-space limit closer.
        if (watch.declared > kLargestWatched) {
            return __real_sws_scale(context, source, sourceStride, sliceY, sliceHeight, destination,
                                    destinationStride);
        }
        watch.scratch.assign(watch.declared + kWatched, kCanary);
        std::memcpy(watch.scratch.data(), watch.target, watch.declared + watch.slack);
        redirected[plane] = watch.scratch.data();
    }

    const int result = __real_sws_scale(context, source, sourceStride, sliceY, sliceHeight,
                                        redirected, destinationStride);

    for (int plane = 0; plane < planeCount && plane < 4; ++plane) {
        PlaneWatch& watch = planes[plane];
        std::size_t written = 0;
        for (std::size_t i = watch.declared + watch.slack; i < watch.scratch.size(); ++i) {
            if (watch.scratch[i] != kCanary) {
                written = i + 1;
            }
        }
        if (written != 0 && kReports) {
            ReportOverrun(plane, watch.declared, watch.slack, written, static_cast<int>(width),
                          static_cast<int>(height), format, destinationStride[plane]);
        }
        std::memcpy(watch.target, watch.scratch.data(), watch.declared);
        // Only what the scaler changed goes back into the slack: it may hold another plane
        // of the same buffer, which that plane's own copy brings back.
        for (std::size_t i = watch.declared; i < watch.declared + watch.slack; ++i) {
            if (watch.scratch[i] != watch.target[i]) {
                watch.target[i] = watch.scratch[i];
            }
        }
    }
    return result;
}
