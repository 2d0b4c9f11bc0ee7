// The pictures test media show, painted into YUV 4:2:0 frames (chroma from the top-left pixel
// of each 2x2), and how to read them back from a delivered B, G, R, X frame.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

namespace testmedia {

struct Yuv {
    int y;
    int u;
    int v;
};

// BT.601, limited range: how an untagged small picture is read back.
Yuv FromRgb(int r, int g, int b);

// A bar code of the picture's index: eight bars across the top half, white for a set bit
// (most significant first), black for a clear one; the bottom half mid-grey, so that a coded
// picture is never all black. It survives any scaling, and letterboxing that keeps the
// picture's middle column and quarter rows.
void PaintBarCode(AVFrame* picture, int index);
constexpr int kBarCodeBits = 8;

// The index a bar-coded picture shows in a B, G, R, X frame of width x height, -1 when it
// carries none (its lower half is not mid-grey: black, bars).
int BarCodeIndex(const std::vector<std::uint8_t>& frame, int width, int height);

// A border of `border` pixels in yellow around four quadrants: red top left, green top right,
// blue bottom left, white bottom right.
void PaintQuadrants(AVFrame* picture, int border);

// A painter filling the whole picture with one Y, Cb, Cr.
std::function<void(AVFrame*, int)> SolidColour(int y, int cb, int cr);

}  // namespace testmedia
