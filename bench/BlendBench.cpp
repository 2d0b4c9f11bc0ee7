// Fade blend throughput against memcpy of the same frame, so the two figures from one run can be
// compared directly: a fade should not cost much more than copying the frame.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "session/FadeBlender.h"

namespace {

using session::BlendKernel;
using session::FadeBlender;

constexpr uint32_t kBytesPerPixel = 4;  // BGRX
constexpr int32_t kHalfLevel = 128;
constexpr uint32_t kFadeColour = 0x00204080u;  // X=00 R=20 G=40 B=80

// A frame with varied pixel bytes, so the blend does not see one value over and over.
std::vector<uint8_t> MakeFrame(size_t bytes) {
    std::vector<uint8_t> frame(bytes);
    uint32_t state = 12345u;
    for (uint8_t& byte : frame) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return frame;
}

size_t FrameBytes(const benchmark::State& state) {
    return static_cast<size_t>(state.range(0)) * static_cast<size_t>(state.range(1)) *
           kBytesPerPixel;
}

// range(2): the kernel (0 table, 1 SSE2, 2 AVX2); skipped where the processor lacks it.
void BM_FadeBlend(benchmark::State& state) {
    const size_t bytes = FrameBytes(state);
    const std::vector<uint8_t> source = MakeFrame(bytes);
    std::vector<uint8_t> destination(bytes);
    FadeBlender blender;
    const BlendKernel chosen = FadeBlender::Kernel();
    if (!FadeBlender::UseKernel(static_cast<BlendKernel>(state.range(2)))) {
        state.SkipWithError("this processor lacks the kernel");
        return;
    }
    for (auto _ : state) {
        blender.Blend(destination.data(), kFadeColour, source.data(), static_cast<uint32_t>(bytes),
                      kHalfLevel);
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
    FadeBlender::UseKernel(chosen);
}

void BM_FrameMemcpy(benchmark::State& state) {
    const size_t bytes = FrameBytes(state);
    const std::vector<uint8_t> source = MakeFrame(bytes);
    std::vector<uint8_t> destination(bytes);
    for (auto _ : state) {
        std::memcpy(destination.data(), source.data(), bytes);
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
}

}  // namespace

BENCHMARK(BM_FadeBlend)
    ->ArgNames({"w", "h", "kernel"})
    ->ArgsProduct({{640}, {360}, {1, 2}})
    ->ArgsProduct({{1920}, {1080}, {1, 2}});
BENCHMARK(BM_FrameMemcpy)->ArgNames({"w", "h"})->Args({640, 360})->Args({1920, 1080});

BENCHMARK_MAIN();
