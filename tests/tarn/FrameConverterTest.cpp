// Conversion of decoded pictures into output frames: at every size and source format the
// converter writes the picture into the W x H x 4 bytes it is given and not one byte past them
// (libswscale's vector code writes whole blocks, past the end of a short row), with B, G, R and
// a zero fourth byte.
#include "tarn/video/FrameConverter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "media/FFmpegHolders.h"
#include "media/NewPicture.h"
#include "tarn/video/ClipGeometry.h"

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/pixdesc.h>
}

namespace tarn {

namespace {

constexpr int kRed = 200;
constexpr int kGreen = 100;
constexpr int kBlue = 50;
constexpr int kTolerance = 6;
constexpr std::uint32_t kBarColour = 0x00336699;  // R 0x33, G 0x66, B 0x99

// Bytes after the frame (and before it) that the converter must leave alone.
constexpr std::size_t kGuard = 256;
constexpr std::uint8_t kGuardByte = 0xAB;

// kRed, kGreen, kBlue as BT.601 limited-range Y, U, V.
constexpr int kSolidYuv[3] = {123, 91, 176};

media::FramePtr YuvPicture(AVPixelFormat format, int width, int height, AVColorSpace matrix,
                           const std::function<int(int plane, int x, int y)>& sample);

struct AvFreer {
    void operator()(std::uint8_t* bytes) const { av_free(bytes); }
};

using media::NewPicture;

// A picture of `width` x `height` in `format`, all one colour (kRed, kGreen, kBlue), made by
// converting a B G R X picture with libswscale, as a decoder would hand it over.
media::FramePtr SolidPicture(AVPixelFormat format, int width, int height) {
    media::FramePtr bgr = NewPicture(AV_PIX_FMT_BGR0, width, height);
    media::FramePtr picture = NewPicture(format, width, height);
    if (!bgr || !picture) {
        return nullptr;
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* pixel = bgr->data[0] + y * bgr->linesize[0] + x * 4;
            pixel[0] = kBlue;
            pixel[1] = kGreen;
            pixel[2] = kRed;
            pixel[3] = 0;
        }
    }
    media::ScalerPtr scaler(sws_getContext(width, height, AV_PIX_FMT_BGR0, width, height, format,
                                           SWS_POINT, nullptr, nullptr, nullptr));
    if (!scaler) {
        return nullptr;
    }
    picture->color_range = AVCOL_RANGE_MPEG;
    if (format == AV_PIX_FMT_YUVJ420P) {
        picture->color_range = AVCOL_RANGE_JPEG;
    }
    sws_scale(scaler.get(), bgr->data, bgr->linesize, 0, height, picture->data, picture->linesize);
    return picture;
}

// An output frame of exactly width x height x 4 bytes at `offset` bytes past a 64-byte
// boundary, between guard bytes.
class GuardedFrame {
  public:
    GuardedFrame(int width, int height, std::size_t offset)
        : size_(static_cast<std::size_t>(width) * height * 4),
          offset_(offset),
          block_(static_cast<std::uint8_t*>(av_malloc(kGuard + offset + size_ + kGuard))) {
        std::memset(block_.get(), kGuardByte, kGuard + offset_ + size_ + kGuard);
    }

    std::uint8_t* frame() { return block_.get() + kGuard + offset_; }

    // Whether every byte outside the frame still holds the guard value.
    bool GuardsIntact() const {
        const std::uint8_t* before = block_.get();
        const std::uint8_t* after = block_.get() + kGuard + offset_ + size_;
        for (std::size_t i = 0; i < kGuard + offset_; ++i) {
            if (before[i] != kGuardByte) {
                return false;
            }
        }
        for (std::size_t i = 0; i < kGuard; ++i) {
            if (after[i] != kGuardByte) {
                return false;
            }
        }
        return true;
    }

  private:
    std::size_t size_;
    std::size_t offset_;
    std::unique_ptr<std::uint8_t, AvFreer> block_;
};

// The first pixel in `frame` that is not the picture's colour (or not the bar colour where
// `isBar` says so), with a zero fourth byte; an empty string when all are.
std::string FirstWrongPixel(const std::uint8_t* frame, int width, int height,
                            const std::function<bool(int x, int y)>& isBar) {
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = frame + (static_cast<std::size_t>(y) * width + x) * 4;
            bool right = p[3] == 0;
            if (isBar(x, y)) {
                right = right && p[0] == 0x99 && p[1] == 0x66 && p[2] == 0x33;
            } else {
                right = right && std::abs(p[0] - kBlue) <= kTolerance &&
                        std::abs(p[1] - kGreen) <= kTolerance &&
                        std::abs(p[2] - kRed) <= kTolerance;
            }
            if (!right) {
                return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") is B " +
                       std::to_string(p[0]) + " G " + std::to_string(p[1]) + " R " +
                       std::to_string(p[2]) + " X " + std::to_string(p[3]);
            }
        }
    }
    return "";
}

struct Size {
    int width;
    int height;
};

// Short rows and widths that are no multiple of a vector block, the sizes that showed the
// fault (among them 426x240, the common 240p), and aligned ones.
const Size kSizes[] = {{2, 2},   {4, 4},   {8, 8},     {3, 5},  {24, 6},    {30, 6},
                       {174, 6}, {16, 16}, {426, 240}, {64, 4}, {320, 240}, {1, 1}};

const AVPixelFormat kFormats[] = {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_NV12,
                                  AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P,  AV_PIX_FMT_RGB24,
                                  AV_PIX_FMT_BGR24,   AV_PIX_FMT_RGBA,     AV_PIX_FMT_BGR0,
                                  AV_PIX_FMT_GBRP,    AV_PIX_FMT_YUYV422,  AV_PIX_FMT_YUV420P10};

struct Case {
    const char* what;
    ClipMode mode;
    int rotation;
    // Output size from the picture's.
    int (*width)(Size);
    int (*height)(Size);
};

const Case kCases[] = {
    {"native size", ClipMode::Stretch, 0, [](Size s) { return s.width; },
     [](Size s) { return s.height; }},
    {"scaled", ClipMode::Stretch, 0, [](Size s) { return s.width * 3 / 2 + 1; },
     [](Size s) { return s.height + 1; }},
    {"shrunk to a third", ClipMode::Stretch, 0, [](Size s) { return std::max(1, s.width / 3); },
     [](Size s) { return std::max(1, s.height / 3); }},
    {"fitted between side bars", ClipMode::Fit, 0, [](Size s) { return s.width * 2 + 3; },
     [](Size s) { return s.height; }},
    {"turned a quarter", ClipMode::Stretch, 90, [](Size s) { return s.height; },
     [](Size s) { return s.width; }},
};

TEST(FrameConverterTest, WritesThePictureAndNothingPastTheFrame) {
    for (const AVPixelFormat format : kFormats) {
        for (const Size size : kSizes) {
            const bool subsampled = format == AV_PIX_FMT_YUYV422 || format == AV_PIX_FMT_YUV420P ||
                                    format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_NV12 ||
                                    format == AV_PIX_FMT_YUV422P || format == AV_PIX_FMT_YUV420P10;
            // libswscale does not paint a solid picture with an odd edge in subsampled formats:
            // such planar pictures are painted sample by sample, the packed ones left out.
            media::FramePtr picture;
            if (subsampled && (size.width % 2 != 0 || size.height % 2 != 0)) {
                if (format != AV_PIX_FMT_YUV420P && format != AV_PIX_FMT_YUV422P &&
                    format != AV_PIX_FMT_YUV420P10) {
                    continue;
                }
                picture = YuvPicture(format, size.width, size.height, AVCOL_SPC_SMPTE170M,
                                     [](int plane, int, int) { return kSolidYuv[plane]; });
            } else {
                picture = SolidPicture(format, size.width, size.height);
            }
            ASSERT_TRUE(picture) << av_get_pix_fmt_name(format);
            for (const Case& c : kCases) {
                VideoClipSetup clip;
                clip.mode = c.mode;
                clip.barColour = kBarColour;
                clip.outputWidth = c.width(size);
                clip.outputHeight = c.height(size);
                // On a 64-byte boundary, as the reader's own frame is, and off it.
                for (const std::size_t offset : {std::size_t{0}, std::size_t{4}}) {
                    const std::string what =
                        std::string(av_get_pix_fmt_name(format)) + " " +
                        std::to_string(size.width) + "x" + std::to_string(size.height) + " " +
                        c.what + " into " + std::to_string(clip.outputWidth) + "x" +
                        std::to_string(clip.outputHeight) + " at offset " + std::to_string(offset);
                    GuardedFrame guarded(clip.outputWidth, clip.outputHeight, offset);
                    FrameConverter converter(clip);
                    ASSERT_TRUE(converter.Convert(picture.get(), AVRational{1, 1}, c.rotation,
                                                  guarded.frame()))
                        << what;
                    EXPECT_TRUE(guarded.GuardsIntact()) << what << ": written past the frame";
                    // Which pixels are bars: outside the rectangle the picture is placed in.
                    PictureGeometry geometry;
                    geometry.sourceWidth = size.width;
                    geometry.sourceHeight = size.height;
                    geometry.rotation = c.rotation;
                    geometry.mode = c.mode;
                    geometry.outputWidth = clip.outputWidth;
                    geometry.outputHeight = clip.outputHeight;
                    const PixelRect target = FitPicture(geometry).target;
                    const auto isBar = [&](int x, int y) {
                        return x < target.x || x >= target.x + target.width || y < target.y ||
                               y >= target.y + target.height;
                    };
                    EXPECT_EQ(FirstWrongPixel(guarded.frame(), clip.outputWidth, clip.outputHeight,
                                              isBar),
                              "")
                        << what;
                }
            }
        }
    }
}

// Factors libswscale refuses in one step: a side grown several thousand times, or shrunk more
// than about 128 times while the other grows. The picture is shown all the same.
TEST(FrameConverterTest, ScalesByFactorsTooLargeForOneStep) {
    struct Far {
        AVPixelFormat format;
        Size from;
        Size to;
    };
    const Far kFar[] = {
        {AV_PIX_FMT_YUV420P, {2, 2}, {2, 7937}},  {AV_PIX_FMT_YUV420P, {2, 2}, {4, 14160}},
        {AV_PIX_FMT_BGR0, {1, 1}, {1, 7937}},     {AV_PIX_FMT_RGB24, {3, 1}, {14197, 119}},
        {AV_PIX_FMT_RGB24, {114, 1}, {59, 7937}}, {AV_PIX_FMT_BGR0, {1, 512}, {104, 4}},
        {AV_PIX_FMT_YUV444P, {1200, 1}, {9, 79}}, {AV_PIX_FMT_GBRP, {1, 1}, {16384, 16384}},
    };
    for (const Far& far : kFar) {
        media::FramePtr picture = SolidPicture(far.format, far.from.width, far.from.height);
        ASSERT_TRUE(picture) << av_get_pix_fmt_name(far.format);
        VideoClipSetup clip;
        clip.mode = ClipMode::Stretch;
        clip.outputWidth = far.to.width;
        clip.outputHeight = far.to.height;
        const std::string what = std::string(av_get_pix_fmt_name(far.format)) + " " +
                                 std::to_string(far.from.width) + "x" +
                                 std::to_string(far.from.height) + " into " +
                                 std::to_string(far.to.width) + "x" + std::to_string(far.to.height);
        GuardedFrame guarded(far.to.width, far.to.height, 0);
        FrameConverter converter(clip);
        ASSERT_TRUE(converter.Convert(picture.get(), AVRational{1, 1}, 0, guarded.frame())) << what;
        EXPECT_TRUE(guarded.GuardsIntact()) << what << ": written past the frame";
        EXPECT_EQ(FirstWrongPixel(guarded.frame(), far.to.width, far.to.height,
                                  [](int, int) { return false; }),
                  "")
            << what;
    }
}

// RGB and grey pictures have no YUV matrix: from 720 lines up, where an untagged YUV picture is
// taken as BT.709, they keep their colours when scaled, and grey stays grey.
TEST(FrameConverterTest, RgbAndGreyKeepTheirColoursAtHdSizes) {
    const AVPixelFormat kRgb[] = {AV_PIX_FMT_RGB24, AV_PIX_FMT_BGR0, AV_PIX_FMT_GBRP,
                                  AV_PIX_FMT_GBRP10LE};
    const AVPixelFormat kGrey[] = {AV_PIX_FMT_GRAY8, AV_PIX_FMT_GRAY10LE};
    const Size kFrom = {64, 720};
    const Size kTo[] = {{32, 360}, {96, 1080}, {64, 721}};
    for (const bool grey : {false, true}) {
        const AVPixelFormat* formats = grey ? kGrey : kRgb;
        const std::size_t count = grey ? std::size(kGrey) : std::size(kRgb);
        for (std::size_t f = 0; f < count; ++f) {
            media::FramePtr picture = SolidPicture(formats[f], kFrom.width, kFrom.height);
            ASSERT_TRUE(picture) << av_get_pix_fmt_name(formats[f]);
            for (const Size to : kTo) {
                VideoClipSetup clip;
                clip.mode = ClipMode::Stretch;
                clip.outputWidth = to.width;
                clip.outputHeight = to.height;
                const std::string what = std::string(av_get_pix_fmt_name(formats[f])) +
                                         " 64x720 into " + std::to_string(to.width) + "x" +
                                         std::to_string(to.height);
                std::vector<std::uint8_t> frame(static_cast<std::size_t>(to.width) * to.height * 4);
                FrameConverter converter(clip);
                ASSERT_TRUE(converter.Convert(picture.get(), AVRational{1, 1}, 0, frame.data()))
                    << what;
                if (!grey) {
                    EXPECT_EQ(FirstWrongPixel(frame.data(), to.width, to.height,
                                              [](int, int) { return false; }),
                              "")
                        << what;
                    continue;
                }
                const std::uint8_t* p = frame.data() + ((to.height / 2) * to.width) * 4;
                EXPECT_LE(std::abs(p[0] - p[1]), 2)
                    << what << ": B " << int{p[0]} << " G " << int{p[1]} << " R " << int{p[2]};
                EXPECT_LE(std::abs(p[2] - p[1]), 2)
                    << what << ": B " << int{p[0]} << " G " << int{p[1]} << " R " << int{p[2]};
            }
        }
    }
}

// An untagged grey picture reads as full range, as FFmpeg reads it, whatever the output's size
// (libswscale's grey conversions at the picture's own size take it so whatever they are told).
TEST(FrameConverterTest, GreyHasOneBrightnessWhateverTheOutputSize) {
    constexpr std::uint8_t kLevel = 40;
    media::FramePtr picture = NewPicture(AV_PIX_FMT_GRAY8, 64, 48);
    ASSERT_TRUE(picture);
    for (int y = 0; y < 48; ++y) {
        std::memset(picture->data[0] + y * picture->linesize[0], kLevel, 64);
    }
    const Size kTo[] = {{64, 48}, {32, 24}, {96, 72}, {50, 40}};
    for (const Size to : kTo) {
        VideoClipSetup clip;
        clip.mode = ClipMode::Stretch;
        clip.outputWidth = to.width;
        clip.outputHeight = to.height;
        std::vector<std::uint8_t> frame(static_cast<std::size_t>(to.width) * to.height * 4);
        FrameConverter converter(clip);
        ASSERT_TRUE(converter.Convert(picture.get(), AVRational{1, 1}, 0, frame.data()));
        const std::uint8_t* p = frame.data() + ((to.height / 2) * to.width + to.width / 2) * 4;
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(p[c], kLevel, 1) << to.width << "x" << to.height << ", byte " << c;
        }
    }
}

// Shrunk many times over, the picture keeps its colour (libswscale's vector code loses
// precision over many taps unless told to round accurately).
TEST(FrameConverterTest, PicturesShrunkManyTimesKeepTheirColour) {
    struct Shrink {
        AVPixelFormat format;
        Size from;
        Size to;
    };
    const Shrink kShrinks[] = {
        {AV_PIX_FMT_YUV420P, {1920, 1080}, {118, 12}},
        {AV_PIX_FMT_YUV420P10LE, {160, 1920}, {118, 24}},
        {AV_PIX_FMT_YUV420P, {1920, 1080}, {1920, 20}},
        {AV_PIX_FMT_NV12, {640, 1920}, {40, 30}},
    };
    for (const Shrink& shrink : kShrinks) {
        media::FramePtr picture =
            SolidPicture(shrink.format, shrink.from.width, shrink.from.height);
        ASSERT_TRUE(picture) << av_get_pix_fmt_name(shrink.format);
        picture->colorspace = AVCOL_SPC_SMPTE170M;  // as SolidPicture made it
        VideoClipSetup clip;
        clip.mode = ClipMode::Stretch;
        clip.outputWidth = shrink.to.width;
        clip.outputHeight = shrink.to.height;
        const std::string what =
            std::string(av_get_pix_fmt_name(shrink.format)) + " " +
            std::to_string(shrink.from.width) + "x" + std::to_string(shrink.from.height) +
            " into " + std::to_string(shrink.to.width) + "x" + std::to_string(shrink.to.height);
        std::vector<std::uint8_t> frame(static_cast<std::size_t>(shrink.to.width) *
                                        shrink.to.height * 4);
        FrameConverter converter(clip);
        ASSERT_TRUE(converter.Convert(picture.get(), AVRational{1, 1}, 0, frame.data())) << what;
        EXPECT_EQ(FirstWrongPixel(frame.data(), shrink.to.width, shrink.to.height,
                                  [](int, int) { return false; }),
                  "")
            << what;
    }
}

// The exact B, G, R of 8-bit Y, U, V samples for a matrix's red and blue luma weights: luma
// from 16 and chroma around 128 scaled to 0..255 in limited range, taken as they are in full
// range; clamped, not rounded.
std::array<double, 3> ExactBgr(double y, double u, double v, double kr, double kb, bool fullRange) {
    const double luma = fullRange ? y : (y - 16) * 255 / 219;
    const double chromaScale = fullRange ? 1.0 : 255.0 / 224;
    const double pb = (u - 128) * chromaScale;
    const double pr = (v - 128) * chromaScale;
    const double r = luma + 2 * (1 - kr) * pr;
    const double b = luma + 2 * (1 - kb) * pb;
    const double g = (luma - kr * r - kb * b) / (1 - kr - kb);
    return {std::clamp(b, 0.0, 255.0), std::clamp(g, 0.0, 255.0), std::clamp(r, 0.0, 255.0)};
}

// A planar YUV picture whose samples are sample(plane, x, y) as 8-bit values, x and y counted
// in the plane's own samples (times 4 in a 10-bit picture).
media::FramePtr YuvPicture(AVPixelFormat format, int width, int height, AVColorSpace matrix,
                           const std::function<int(int plane, int x, int y)>& sample) {
    media::FramePtr picture = NewPicture(format, width, height);
    if (!picture) {
        return nullptr;
    }
    picture->colorspace = matrix;
    picture->color_range = AVCOL_RANGE_MPEG;
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    const bool tenBit = descriptor->comp[0].depth > 8;
    for (int plane = 0; plane < 3; ++plane) {
        const int planeWidth =
            plane == 0 ? width : AV_CEIL_RSHIFT(width, descriptor->log2_chroma_w);
        const int planeHeight =
            plane == 0 ? height : AV_CEIL_RSHIFT(height, descriptor->log2_chroma_h);
        for (int y = 0; y < planeHeight; ++y) {
            std::uint8_t* row = picture->data[plane] + y * picture->linesize[plane];
            for (int x = 0; x < planeWidth; ++x) {
                const int value = sample(plane, x, y);
                if (tenBit) {
                    const auto wide = static_cast<std::uint16_t>(value * 4);
                    std::memcpy(row + 2 * x, &wide, sizeof wide);
                } else {
                    row[x] = static_cast<std::uint8_t>(value);
                }
            }
        }
    }
    return picture;
}

// An 8-bit RGB picture (packed or planar) whose pixel (x, y) is rgb(x, y).
media::FramePtr RgbPicture(AVPixelFormat format, int width, int height,
                           const std::function<std::array<int, 3>(int x, int y)>& rgb) {
    media::FramePtr picture = NewPicture(format, width, height);
    if (!picture) {
        return nullptr;
    }
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::array<int, 3> value = rgb(x, y);
            for (int c = 0; c < 3; ++c) {
                const AVComponentDescriptor& component = descriptor->comp[c];
                picture->data[component.plane][y * picture->linesize[component.plane] +
                                               x * component.step + component.offset] =
                    static_cast<std::uint8_t>(value[c]);
            }
        }
    }
    return picture;
}

// `picture`, cropped to `crop` (left, top, right, bottom; all -1: none), converted in Stretch
// mode into a frame of `output`; empty when it was not converted.
std::vector<std::uint8_t> Converted(const AVFrame* picture, Size output,
                                    std::array<std::int32_t, 4> crop = {-1, -1, -1, -1}) {
    VideoClipSetup clip;
    clip.crop = crop;
    clip.outputWidth = output.width;
    clip.outputHeight = output.height;
    std::vector<std::uint8_t> frame(static_cast<std::size_t>(output.width) * output.height * 4);
    FrameConverter converter(clip);
    if (!converter.Convert(picture, AVRational{1, 1}, 0, frame.data())) {
        frame.clear();
    }
    return frame;
}

struct Matrix {
    const char* name;
    AVColorSpace tag;
    double kr;
    double kb;
};
const Matrix kMatrices[] = {{"BT.601", AVCOL_SPC_SMPTE170M, 0.299, 0.114},
                            {"BT.709", AVCOL_SPC_BT709, 0.2126, 0.0722}};

// The first pixel of `frame` further than `tolerance` from expected(x, y), or whose fourth byte
// is not 0; an empty string when there is none.
std::string FirstPixelOff(const std::uint8_t* frame, int width, int height, double tolerance,
                          const std::function<std::array<double, 3>(int x, int y)>& expected) {
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = frame + (static_cast<std::size_t>(y) * width + x) * 4;
            const std::array<double, 3> bgr = expected(x, y);
            if (std::abs(p[0] - bgr[0]) > tolerance || std::abs(p[1] - bgr[1]) > tolerance ||
                std::abs(p[2] - bgr[2]) > tolerance || p[3] != 0) {
                return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") is B " +
                       std::to_string(p[0]) + " G " + std::to_string(p[1]) + " R " +
                       std::to_string(p[2]) + " X " + std::to_string(p[3]) + ", not " +
                       std::to_string(bgr[0]) + " " + std::to_string(bgr[1]) + " " +
                       std::to_string(bgr[2]);
            }
        }
    }
    return "";
}

// Colour patches come out within 2 levels of the exact conversion for both matrices and both
// ranges, at 8 and 10 bits, at the picture's (odd) size and shrunk by whole factors; strong blues
// and yellows included, where a U to B factor cut short (2.0 for BT.709's 2.11) shows most.
TEST(FrameConverterTest, ColourPatchesComeOutWithinTwoLevels) {
    struct Patch {
        int y;
        int u;
        int v;
    };
    const Patch kPatches[] = {{16, 128, 128}, {235, 128, 128}, {126, 128, 128}, {81, 90, 240},
                              {145, 54, 34},  {41, 240, 110},  {60, 190, 128},  {180, 40, 128},
                              {210, 16, 146}, {120, 90, 180}};
    const AVPixelFormat kYuvFormats[] = {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P,
                                         AV_PIX_FMT_YUV420P10, AV_PIX_FMT_YUVJ420P};
    // At its own size an odd one, shrunk an even one (an odd width of 4:2:0 or 4:2:2 is left
    // to libswscale when shrunk).
    const Size kOwnSize = {31, 17};
    const Size kShrunk = {32, 18};
    for (const AVPixelFormat format : kYuvFormats) {
        const bool fullRange = format == AV_PIX_FMT_YUVJ420P;
        for (const Matrix& matrix : kMatrices) {
            for (const Patch& patch : kPatches) {
                for (const int factor : {1, 2, 3}) {
                    const Size output = factor == 1 ? kOwnSize : kShrunk;
                    media::FramePtr picture =
                        YuvPicture(format, output.width * factor, output.height * factor,
                                   matrix.tag, [&](int plane, int, int) {
                                       return plane == 0 ? patch.y : plane == 1 ? patch.u : patch.v;
                                   });
                    ASSERT_TRUE(picture);
                    const std::vector<std::uint8_t> frame = Converted(picture.get(), output);
                    const std::string what =
                        std::string(av_get_pix_fmt_name(format)) + " " + matrix.name + " Y " +
                        std::to_string(patch.y) + " U " + std::to_string(patch.u) + " V " +
                        std::to_string(patch.v) + " shrunk " + std::to_string(factor) + " times";
                    ASSERT_FALSE(frame.empty()) << what;
                    const std::array<double, 3> bgr =
                        ExactBgr(patch.y, patch.u, patch.v, matrix.kr, matrix.kb, fullRange);
                    EXPECT_EQ(FirstPixelOff(frame.data(), output.width, output.height, 2.0,
                                            [&](int, int) { return bgr; }),
                              "")
                        << what;
                }
            }
        }
    }
}

// Shrunk by whole factors, each output pixel is the mean of the source pixels it covers: luma
// that changes from pixel to pixel, chroma from row to row (a 4:2:0 picture's chroma rows each
// cover two luma rows, so a pixel made of three rows takes two thirds of one and a third of
// the next), odd heights whose last chroma row covers one luma row only, a cropped part; RGB
// pictures channel by channel.
TEST(FrameConverterTest, ShrinkingAveragesWhatEachPixelCovers) {
    struct Factors {
        int columns;
        int rows;
    };
    const Factors kFactors[] = {{2, 2}, {3, 3}, {4, 1}, {1, 3}, {2, 5}};
    const AVPixelFormat kYuvFormats[] = {AV_PIX_FMT_YUV420P, AV_PIX_FMT_YUV422P, AV_PIX_FMT_YUV444P,
                                         AV_PIX_FMT_YUV420P10};
    const Size kOutput = {10, 7};
    // In gamut throughout, so that the mean of the colours is the colour of the means.
    const auto luma = [](int x, int y) { return 80 + (x * 13 + y * 29) % 90; };
    const auto chroma = [](int plane, int row) {
        return plane == 1 ? 100 + (row * 11) % 56 : 156 - (row * 17) % 56;
    };
    const Matrix& matrix = kMatrices[0];
    // Also cropped: the part shown starts on the chroma grid, 4 columns and 6 rows in.
    constexpr int kCropLeft = 4;
    constexpr int kCropTop = 6;
    for (const AVPixelFormat format : kYuvFormats) {
        const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
        for (const Factors factors : kFactors) {
            for (const bool cropped : {false, true}) {
                const int left = cropped ? kCropLeft : 0;
                const int top = cropped ? kCropTop : 0;
                const int width = kOutput.width * factors.columns;
                const int height = kOutput.height * factors.rows;
                media::FramePtr picture =
                    YuvPicture(format, width + 2 * left, height + 2 * top, matrix.tag,
                               [&](int plane, int x, int y) {
                                   return plane == 0 ? luma(x, y) : chroma(plane, y);
                               });
                ASSERT_TRUE(picture);
                const std::vector<std::uint8_t> frame = Converted(
                    picture.get(), kOutput,
                    cropped ? std::array<std::int32_t, 4>{left, top, left + width, top + height}
                            : std::array<std::int32_t, 4>{-1, -1, -1, -1});
                const std::string what =
                    std::string(av_get_pix_fmt_name(format)) + " " + std::to_string(width) + "x" +
                    std::to_string(height) + (cropped ? " cropped" : "") + " into " +
                    std::to_string(kOutput.width) + "x" + std::to_string(kOutput.height);
                ASSERT_FALSE(frame.empty()) << what;
                const auto expected = [&](int outX, int outY) {
                    std::array<double, 3> sum = {};
                    for (int y = top + outY * factors.rows; y < top + (outY + 1) * factors.rows;
                         ++y) {
                        const int chromaRow = y >> descriptor->log2_chroma_h;
                        for (int x = left + outX * factors.columns;
                             x < left + (outX + 1) * factors.columns; ++x) {
                            const std::array<double, 3> bgr =
                                ExactBgr(luma(x, y), chroma(1, chromaRow), chroma(2, chromaRow),
                                         matrix.kr, matrix.kb, false);
                            for (int k = 0; k < 3; ++k) {
                                sum[k] += bgr[k] / (factors.rows * factors.columns);
                            }
                        }
                    }
                    return sum;
                };
                // Luma and chroma means are each rounded once before the conversion.
                EXPECT_EQ(FirstPixelOff(frame.data(), kOutput.width, kOutput.height, 3.0, expected),
                          "")
                    << what;
            }
        }
    }
    // RGB pictures, each channel on its own, in every byte order and planar.
    const auto rgb = [](int x, int y) {
        return std::array<int, 3>{(x * 37 + y * 5) % 256, (x * 3 + y * 41) % 256,
                                  (x * y * 7) % 256};
    };
    for (const AVPixelFormat format : {AV_PIX_FMT_RGB24, AV_PIX_FMT_BGR24, AV_PIX_FMT_BGRA,
                                       AV_PIX_FMT_ARGB, AV_PIX_FMT_RGB0, AV_PIX_FMT_GBRP}) {
        for (const Factors factors : kFactors) {
            media::FramePtr picture = RgbPicture(format, kOutput.width * factors.columns,
                                                 kOutput.height * factors.rows, rgb);
            ASSERT_TRUE(picture);
            const std::vector<std::uint8_t> frame = Converted(picture.get(), kOutput);
            const std::string what = std::string(av_get_pix_fmt_name(format)) + " shrunk " +
                                     std::to_string(factors.columns) + " x " +
                                     std::to_string(factors.rows);
            ASSERT_FALSE(frame.empty()) << what;
            const auto expected = [&](int outX, int outY) {
                std::array<double, 3> bgr = {};
                for (int y = outY * factors.rows; y < (outY + 1) * factors.rows; ++y) {
                    for (int x = outX * factors.columns; x < (outX + 1) * factors.columns; ++x) {
                        const std::array<int, 3> value = rgb(x, y);
                        for (int k = 0; k < 3; ++k) {
                            bgr[k] += value[2 - k] / double(factors.rows * factors.columns);
                        }
                    }
                }
                return bgr;
            };
            // Rounded to the nearest level.
            EXPECT_EQ(FirstPixelOff(frame.data(), kOutput.width, kOutput.height, 0.51, expected),
                      "")
                << what;
        }
    }
}

}  // namespace

}  // namespace tarn
