// One decoded picture scaled and converted to a B G R X output frame: the engine's converter
// (FrameConverter, which picks its way per picture) against libswscale alone doing the same job
// the way the converter did before (area averaging down, bilinear up, straight into an aligned
// frame, then the fourth bytes cleared). Both from one run, so their ratio is what to compare.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>

#include "media/FFmpegHolders.h"
#include "media/NewPicture.h"
#include "tarn/FrameBytes.h"
#include "tarn/video/BgrxPixels.h"
#include "tarn/video/FrameConverter.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace {

// A picture of `format` with varied samples in every plane.
media::FramePtr MakePicture(AVPixelFormat format, int width, int height) {
    media::FramePtr picture = media::NewPicture(format, width, height);
    if (!picture) {
        return nullptr;
    }
    picture->color_range = AVCOL_RANGE_MPEG;
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    const bool deep = descriptor->comp[0].depth > 8;
    std::uint32_t state = 12345u;
    for (int plane = 0; plane < 4 && picture->data[plane] != nullptr; ++plane) {
        const bool chroma = plane == 1 || plane == 2;
        const int rows = chroma && (descriptor->flags & AV_PIX_FMT_FLAG_RGB) == 0
                             ? AV_CEIL_RSHIFT(height, descriptor->log2_chroma_h)
                             : height;
        for (int y = 0; y < rows; ++y) {
            std::uint8_t* row = picture->data[plane] + y * picture->linesize[plane];
            for (int x = 0; x < picture->linesize[plane]; ++x) {
                state = state * 1664525u + 1013904223u;
                // 10-bit samples as little-endian words below 1024.
                row[x] =
                    static_cast<std::uint8_t>(deep && x % 2 == 1 ? (state >> 24) & 3 : state >> 24);
            }
        }
    }
    return picture;
}

struct Shape {
    AVPixelFormat format;
    int sourceWidth;
    int sourceHeight;
    int width;
    int height;
};

void ScaleWithConverter(benchmark::State& state, Shape shape) {
    media::FramePtr picture = MakePicture(shape.format, shape.sourceWidth, shape.sourceHeight);
    tarn::VideoClipSetup clip;
    clip.outputWidth = shape.width;
    clip.outputHeight = shape.height;
    tarn::FrameConverter converter(clip);
    tarn::FrameBytes frame(static_cast<std::size_t>(shape.width) * shape.height * 4);
    for (auto _ : state) {
        if (!converter.Convert(picture.get(), AVRational{1, 1}, 0, frame.data())) {
            state.SkipWithError("not converted");
            return;
        }
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
}

void ScaleWithSwscale(benchmark::State& state, Shape shape) {
    media::FramePtr picture = MakePicture(shape.format, shape.sourceWidth, shape.sourceHeight);
    const bool shrinks = shape.width < shape.sourceWidth || shape.height < shape.sourceHeight;
    media::ScalerPtr scaler(sws_getContext(
        shape.sourceWidth, shape.sourceHeight, shape.format, shape.width, shape.height,
        AV_PIX_FMT_BGR0, shrinks ? SWS_AREA : SWS_BILINEAR, nullptr, nullptr, nullptr));
    sws_setColorspaceDetails(scaler.get(), sws_getCoefficients(SWS_CS_ITU709), 0,
                             sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
    tarn::FrameBytes frame(static_cast<std::size_t>(shape.width) * shape.height * 4);
    std::uint8_t* planes[4] = {frame.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {shape.width * 4, 0, 0, 0};
    for (auto _ : state) {
        sws_scale(scaler.get(), picture->data, picture->linesize, 0, shape.sourceHeight, planes,
                  strides);
        tarn::ClearFourthBytes(frame.data(), shape.width, shape.height, shape.width * 4);
        benchmark::DoNotOptimize(frame.data());
        benchmark::ClobberMemory();
    }
}

// The shapes that matter: H.264's 1080p and 720p 4:2:0 to job R's 640x360 and to 1080p, and
// 10-bit, 4:2:2 and RGB pictures.
#define FEED_SCALE_BENCH(name, format, sourceWidth, sourceHeight, width, height) \
    BENCHMARK_CAPTURE(ScaleWithSwscale, name,                                    \
                      Shape{format, sourceWidth, sourceHeight, width, height})   \
        ->Unit(benchmark::kMicrosecond);                                         \
    BENCHMARK_CAPTURE(ScaleWithConverter, name,                                  \
                      Shape{format, sourceWidth, sourceHeight, width, height})   \
        ->Unit(benchmark::kMicrosecond)

FEED_SCALE_BENCH(yuv420p_1080_to_360, AV_PIX_FMT_YUV420P, 1920, 1080, 640, 360);
FEED_SCALE_BENCH(yuv420p_720_to_360, AV_PIX_FMT_YUV420P, 1280, 720, 640, 360);
FEED_SCALE_BENCH(yuv420p_1080_to_1080, AV_PIX_FMT_YUV420P, 1920, 1080, 1920, 1080);
FEED_SCALE_BENCH(yuv420p_720_to_1080, AV_PIX_FMT_YUV420P, 1280, 720, 1920, 1080);
FEED_SCALE_BENCH(yuv420p10_1080_to_360, AV_PIX_FMT_YUV420P10, 1920, 1080, 640, 360);
FEED_SCALE_BENCH(yuv420p10_1080_to_1080, AV_PIX_FMT_YUV420P10, 1920, 1080, 1920, 1080);
FEED_SCALE_BENCH(yuv422p_1080_to_360, AV_PIX_FMT_YUV422P, 1920, 1080, 640, 360);
FEED_SCALE_BENCH(yuv422p_1080_to_1080, AV_PIX_FMT_YUV422P, 1920, 1080, 1920, 1080);
FEED_SCALE_BENCH(rgb24_1080_to_360, AV_PIX_FMT_RGB24, 1920, 1080, 640, 360);
FEED_SCALE_BENCH(rgb24_1080_to_1080, AV_PIX_FMT_RGB24, 1920, 1080, 1920, 1080);
FEED_SCALE_BENCH(bgr0_1080_to_360, AV_PIX_FMT_BGR0, 1920, 1080, 640, 360);
FEED_SCALE_BENCH(bgr0_1080_to_1080, AV_PIX_FMT_BGR0, 1920, 1080, 1920, 1080);

}  // namespace
