#include "tarn/video/YuvToBgrx.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <libyuv/convert_argb.h>
#include <libyuv/row.h>

extern "C" {
#include <libswscale/swscale.h>
}

// libyuv keeps its colour constants in a layout of its own for each processor family; the one
// filled in here is the x86 one.
#if defined(__x86_64__) || defined(__i386__)
#define FEED_YUV_CONSTANTS_X86 1
#endif

namespace tarn {

// libyuv's vector code loads its constants with aligned loads.
struct alignas(64) YuvToBgrx::Constants {
    libyuv::YuvConstants yuv;
};

namespace {

// The conversion as libswscale does it, in floating point: factors from its table for the
// matrix, chroma centred on 128 and luma from 16 (limited range) or 0 (full range).
struct ExactColours {
    double yGain;
    double yOffset;
    double vToR;
    double uToB;
    double uToG;
    double vToG;
};

ExactColours ExactColoursOf(int colourMatrix, bool fullRange) {
    // {crv, cbu, cgu, cgv} in 16.16 fixed point, for limited-range chroma.
    const int* table = sws_getCoefficients(colourMatrix);
    const double chromaScale = fullRange ? 224.0 / 255.0 : 1.0;
    ExactColours exact{};
    exact.yGain = fullRange ? 1.0 : 255.0 / 219.0;
    exact.yOffset = fullRange ? 0.0 : 16.0;
    exact.vToR = table[0] / 65536.0 * chromaScale;
    exact.uToB = table[1] / 65536.0 * chromaScale;
    exact.uToG = table[2] / 65536.0 * chromaScale;
    exact.vToG = table[3] / 65536.0 * chromaScale;
    return exact;
}

// B, G, R of one 8-bit sample triple, clamped, not rounded.
void ExactPixel(const ExactColours& exact, int y, int u, int v, double bgr[3]) {
    const double luma = (y - exact.yOffset) * exact.yGain;
    bgr[0] = luma + exact.uToB * (u - 128);
    bgr[1] = luma - exact.uToG * (u - 128) - exact.vToG * (v - 128);
    bgr[2] = luma + exact.vToR * (v - 128);
    for (int k = 0; k < 3; ++k) {
        bgr[k] = std::clamp(bgr[k], 0.0, 255.0);
    }
}

#if defined(FEED_YUV_CONSTANTS_X86)
// libyuv's x86 rows compute, with u and v less 128 and 6 fractional bits:
//   B = (Y' + ub u + yb) >> 6, G = (Y' - ug u - vg v + yb) >> 6, R = (Y' + vr v + yb) >> 6,
// Y' = (y x 0x0101 x yg) >> 16. The chroma factors are unsigned bytes, in (u, v) pairs.
bool FillConstants(const ExactColours& exact, libyuv::YuvConstants* constants) {
    const long ub = std::lround(exact.uToB * 64);
    const long ug = std::lround(exact.uToG * 64);
    const long vg = std::lround(exact.vToG * 64);
    const long vr = std::lround(exact.vToR * 64);
    for (const long factor : {ub, ug, vg, vr}) {
        if (factor < 0 || factor > 255) {
            return false;
        }
    }
    const long yg = std::lround(exact.yGain * 64 * 65536 / 257);
    const long yb = std::lround(-exact.yOffset * exact.yGain * 64) + 32;  // + 32 rounds
    for (int i = 0; i < 32; i += 2) {
        constants->kUVToB[i] = static_cast<std::uint8_t>(ub);
        constants->kUVToB[i + 1] = 0;
        constants->kUVToG[i] = static_cast<std::uint8_t>(ug);
        constants->kUVToG[i + 1] = static_cast<std::uint8_t>(vg);
        constants->kUVToR[i] = 0;
        constants->kUVToR[i + 1] = static_cast<std::uint8_t>(vr);
    }
    for (int i = 0; i < 16; ++i) {
        constants->kYToRgb[i] = static_cast<std::int16_t>(yg);
        constants->kYBiasToRgb[i] = static_cast<std::int16_t>(yb);
    }
    return true;
}
#endif

// The samples the constants are tried on: black, white, grey and the corners of the chroma
// square at three lumas, where a factor out of place shows most.
constexpr int kTrialLumas[] = {16, 126, 235};
constexpr int kTrialChromas[] = {16, 128, 240};
constexpr int kTrialPixels = 3 * 3 * 3;
// libyuv's precision, with a margin: 6 fractional bits in the factors and the sums.
constexpr double kTrialTolerance = 2.0;

}  // namespace

YuvToBgrx::YuvToBgrx() : constants_(new Constants{}) {}

YuvToBgrx::~YuvToBgrx() = default;

bool YuvToBgrx::SetColours(int colourMatrix, bool fullRange) {
    if (colourMatrix == colourMatrix_ && fullRange == fullRange_) {
        return usable_;
    }
    colourMatrix_ = colourMatrix;
    fullRange_ = fullRange;
    usable_ = false;
#if defined(FEED_YUV_CONSTANTS_X86)
    const ExactColours exact = ExactColoursOf(colourMatrix, fullRange);
    if (!FillConstants(exact, &constants_->yuv)) {
        return false;
    }
    // Tried on a row of known samples at 8 and at 10 bits before they are used: a libyuv that
    // reads its constants otherwise is left alone.
    std::uint8_t y8[kTrialPixels];
    std::uint8_t u8[kTrialPixels];
    std::uint8_t v8[kTrialPixels];
    std::uint16_t y10[kTrialPixels];
    std::uint16_t u10[kTrialPixels];
    std::uint16_t v10[kTrialPixels];
    int pixel = 0;
    for (const int y : kTrialLumas) {
        for (const int u : kTrialChromas) {
            for (const int v : kTrialChromas) {
                y8[pixel] = static_cast<std::uint8_t>(y);
                u8[pixel] = static_cast<std::uint8_t>(u);
                v8[pixel] = static_cast<std::uint8_t>(v);
                y10[pixel] = static_cast<std::uint16_t>(y << 2);
                u10[pixel] = static_cast<std::uint16_t>(u << 2);
                v10[pixel] = static_cast<std::uint16_t>(v << 2);
                ++pixel;
            }
        }
    }
    const std::uint16_t zero[kTrialPixels] = {};
    for (const bool tenBit : {false, true}) {
        const std::uint8_t* planes[3] = {y8, u8, v8};
        if (tenBit) {
            planes[0] = reinterpret_cast<const std::uint8_t*>(y10);
            planes[1] = reinterpret_cast<const std::uint8_t*>(u10);
            planes[2] = reinterpret_cast<const std::uint8_t*>(v10);
        }
        std::uint8_t bgrx[kTrialPixels * 4];
        zeroAlpha_.assign(std::begin(zero), std::end(zero));
        usable_ = true;
        const int strides[3] = {0, 0, 0};
        const bool converted = Convert(ChromaLayout::Yuv444, tenBit, planes, strides, kTrialPixels,
                                       1, bgrx, kTrialPixels * 4);
        usable_ = false;
        if (!converted) {
            return false;
        }
        for (int i = 0; i < kTrialPixels; ++i) {
            double bgr[3];
            ExactPixel(exact, y8[i], u8[i], v8[i], bgr);
            for (int k = 0; k < 3; ++k) {
                if (std::abs(bgrx[i * 4 + k] - bgr[k]) > kTrialTolerance) {
                    return false;
                }
            }
            if (bgrx[i * 4 + 3] != 0) {
                return false;
            }
        }
    }
    usable_ = true;
#endif
    return usable_;
}

bool YuvToBgrx::Convert(ChromaLayout layout, bool tenBit, const std::uint8_t* const planes[3],
                        const int strides[3], int width, int height, std::uint8_t* target,
                        int targetStride) {
    if (!usable_ || width <= 0 || height <= 0) {
        return false;
    }
    if (zeroAlpha_.size() < static_cast<std::size_t>(width)) {
        zeroAlpha_.assign(static_cast<std::size_t>(width), 0);
    }
    const libyuv::YuvConstants* constants = &constants_->yuv;
    int result = -1;
    if (!tenBit) {
        const auto* alpha = reinterpret_cast<const std::uint8_t*>(zeroAlpha_.data());
        switch (layout) {
            case ChromaLayout::Yuv420:
                result = libyuv::I420AlphaToARGBMatrix(planes[0], strides[0], planes[1], strides[1],
                                                       planes[2], strides[2], alpha, 0, target,
                                                       targetStride, constants, width, height, 0);
                break;
            case ChromaLayout::Yuv422:
                result = libyuv::I422AlphaToARGBMatrix(planes[0], strides[0], planes[1], strides[1],
                                                       planes[2], strides[2], alpha, 0, target,
                                                       targetStride, constants, width, height, 0);
                break;
            case ChromaLayout::Yuv444:
                result = libyuv::I444AlphaToARGBMatrix(planes[0], strides[0], planes[1], strides[1],
                                                       planes[2], strides[2], alpha, 0, target,
                                                       targetStride, constants, width, height, 0);
                break;
        }
        return result == 0;
    }
    // 16-bit planes: libyuv counts their strides in samples.
    const auto* y = reinterpret_cast<const std::uint16_t*>(planes[0]);
    const auto* u = reinterpret_cast<const std::uint16_t*>(planes[1]);
    const auto* v = reinterpret_cast<const std::uint16_t*>(planes[2]);
    const int yStride = strides[0] / 2;
    const int uStride = strides[1] / 2;
    const int vStride = strides[2] / 2;
    switch (layout) {
        case ChromaLayout::Yuv420:
            result =
                libyuv::I010AlphaToARGBMatrix(y, yStride, u, uStride, v, vStride, zeroAlpha_.data(),
                                              0, target, targetStride, constants, width, height, 0);
            break;
        case ChromaLayout::Yuv422:
            result =
                libyuv::I210AlphaToARGBMatrix(y, yStride, u, uStride, v, vStride, zeroAlpha_.data(),
                                              0, target, targetStride, constants, width, height, 0);
            break;
        case ChromaLayout::Yuv444:
            result =
                libyuv::I410AlphaToARGBMatrix(y, yStride, u, uStride, v, vStride, zeroAlpha_.data(),
                                              0, target, targetStride, constants, width, height, 0);
            break;
    }
    return result == 0;
}

}  // namespace tarn
