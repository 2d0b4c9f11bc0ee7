#include "tests/support/media/TestPictures.h"

#include <cmath>
#include <cstring>

namespace testmedia {
namespace {

void Paint(AVFrame* picture, const std::function<Yuv(int x, int y)>& colourAt) {
    for (int y = 0; y < picture->height; ++y) {
        for (int x = 0; x < picture->width; ++x) {
            const Yuv c = colourAt(x, y);
            picture->data[0][y * picture->linesize[0] + x] = static_cast<std::uint8_t>(c.y);
            if (x % 2 == 0 && y % 2 == 0) {
                picture->data[1][(y / 2) * picture->linesize[1] + x / 2] =
                    static_cast<std::uint8_t>(c.u);
                picture->data[2][(y / 2) * picture->linesize[2] + x / 2] =
                    static_cast<std::uint8_t>(c.v);
            }
        }
    }
}

// Green of pixel (x, y) of a B, G, R, X frame: the same in white, black and grey whatever
// the order of the colour bytes.
int GreenAt(const std::vector<std::uint8_t>& frame, int width, int x, int y) {
    return frame[(static_cast<std::size_t>(y) * width + x) * 4 + 1];
}

}  // namespace

Yuv FromRgb(int r, int g, int b) {
    const double rf = r / 255.0;
    const double gf = g / 255.0;
    const double bf = b / 255.0;
    return Yuv{static_cast<int>(std::lround(16 + 65.481 * rf + 128.553 * gf + 24.966 * bf)),
               static_cast<int>(std::lround(128 - 37.797 * rf - 74.203 * gf + 112.0 * bf)),
               static_cast<int>(std::lround(128 + 112.0 * rf - 93.786 * gf - 18.214 * bf))};
}

void PaintBarCode(AVFrame* picture, int index) {
    const int width = picture->width;
    const int height = picture->height;
    Paint(picture, [&](int x, int y) {
        if (y >= height / 2) {
            return Yuv{128, 128, 128};
        }
        const int bit = kBarCodeBits - 1 - x * kBarCodeBits / width;
        return ((index >> bit) & 1) != 0 ? Yuv{235, 128, 128} : Yuv{16, 128, 128};
    });
}

int BarCodeIndex(const std::vector<std::uint8_t>& frame, int width, int height) {
    const int marker = GreenAt(frame, width, width / 2, height * 3 / 4);
    if (marker < 90 || marker > 170) {
        return -1;
    }
    int index = 0;
    for (int bar = 0; bar < kBarCodeBits; ++bar) {
        const int x = bar * width / kBarCodeBits + width / (2 * kBarCodeBits);
        index = index * 2 + (GreenAt(frame, width, x, height / 4) > 128 ? 1 : 0);
    }
    return index;
}

void PaintQuadrants(AVFrame* picture, int border) {
    const Yuv yellow = FromRgb(255, 255, 0);
    const Yuv red = FromRgb(255, 0, 0);
    const Yuv green = FromRgb(0, 255, 0);
    const Yuv blue = FromRgb(0, 0, 255);
    const Yuv white = FromRgb(255, 255, 255);
    const int width = picture->width;
    const int height = picture->height;
    Paint(picture, [&](int x, int y) {
        if (x < border || y < border || x >= width - border || y >= height - border) {
            return yellow;
        }
        const bool right = x >= width / 2;
        if (y < height / 2) {
            return right ? green : red;
        }
        return right ? white : blue;
    });
}

std::function<void(AVFrame*, int)> SolidColour(int y, int cb, int cr) {
    return [y, cb, cr](AVFrame* picture, int) {
        for (int row = 0; row < picture->height; ++row) {
            std::memset(picture->data[0] + row * picture->linesize[0], y, picture->width);
        }
        for (int row = 0; row < (picture->height + 1) / 2; ++row) {
            std::memset(picture->data[1] + row * picture->linesize[1], cb,
                        (picture->width + 1) / 2);
            std::memset(picture->data[2] + row * picture->linesize[2], cr,
                        (picture->width + 1) / 2);
        }
    };
}

}  // namespace testmedia
