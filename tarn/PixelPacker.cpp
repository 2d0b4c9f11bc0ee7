#include "tarn/PixelPacker.h"

#include <cstring>

namespace tarn {

namespace {
// Where each output channel comes from: a byte of the B G R X pixel (0 to 3, X being 0), or
// kOpaque for alpha.
constexpr int kOpaque = 4;
struct Channels {
    int from[4];
    int count;
};

Channels ChannelsOf(MediaPixelFormat format) {
    switch (format) {
        case kPixelBgrx:
            return {{0, 1, 2, 3}, 4};
        case kPixelBgra:
            return {{0, 1, 2, kOpaque}, 4};
        case kPixelRgba:
            return {{2, 1, 0, kOpaque}, 4};
        case kPixelRgb24:
            return {{2, 1, 0, 0}, 3};
        case kPixelBgr24:
            return {{0, 1, 2, 0}, 3};
        case kPixelGray8:
            return {{0, 0, 0, 0}, 1};  // luma, written apart
    }
    return {{0, 0, 0, 0}, 0};
}

std::uint8_t ChannelValue(const std::uint8_t* pixel, int from) {
    return from == kOpaque ? 255 : pixel[from];
}

// Three bytes of each pixel, in the order given: the common RGB and BGR, in a loop the compiler
// can unroll.
template <int First, int Second, int Third>
void PackThree(const std::uint8_t* bgrx, std::size_t pixels, std::uint8_t* out) {
    for (std::size_t i = 0; i < pixels; ++i) {
        out[3 * i] = bgrx[4 * i + First];
        out[3 * i + 1] = bgrx[4 * i + Second];
        out[3 * i + 2] = bgrx[4 * i + Third];
    }
}

// Luma of B G R with BT.601 weights in 16-bit fixed point (0.114, 0.587, 0.299), rounded.
std::uint8_t Luma(const std::uint8_t* pixel) {
    return static_cast<std::uint8_t>(
        (7471 * pixel[0] + 38470 * pixel[1] + 19595 * pixel[2] + 32768) >> 16);
}
}  // namespace

int BytesPerPixel(MediaPixelFormat format) {
    return ChannelsOf(format).count;
}

void PackPixels(const std::uint8_t* bgrx, int width, int height, MediaPixelFormat format,
                bool planar, std::uint8_t* out) {
    const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (format == kPixelGray8) {
        for (std::size_t i = 0; i < pixels; ++i) {
            out[i] = Luma(bgrx + 4 * i);
        }
        return;
    }
    if (!planar) {
        switch (format) {
            case kPixelBgrx:
                std::memcpy(out, bgrx, pixels * 4);
                return;
            case kPixelRgb24:
                PackThree<2, 1, 0>(bgrx, pixels, out);
                return;
            case kPixelBgr24:
                PackThree<0, 1, 2>(bgrx, pixels, out);
                return;
            default:
                break;
        }
    }
    const Channels channels = ChannelsOf(format);
    if (planar) {
        for (int c = 0; c < channels.count; ++c) {
            std::uint8_t* plane = out + static_cast<std::size_t>(c) * pixels;
            const int from = channels.from[c];
            for (std::size_t i = 0; i < pixels; ++i) {
                plane[i] = ChannelValue(bgrx + 4 * i, from);
            }
        }
        return;
    }
    const int count = channels.count;
    for (std::size_t i = 0; i < pixels; ++i) {
        const std::uint8_t* pixel = bgrx + 4 * i;
        std::uint8_t* target = out + i * static_cast<std::size_t>(count);
        for (int c = 0; c < count; ++c) {
            target[c] = ChannelValue(pixel, channels.from[c]);
        }
    }
}

}  // namespace tarn
