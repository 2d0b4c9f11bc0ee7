// The audio fade on one 10 ms stereo buffer at 44.1 kHz (441 sample frames): choosing the gain
// and scaling the samples in place, against copying the same buffer in the same run.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "session/FadeLevels.h"

namespace {

using session::AudioFadeFor;
using session::AudioFadeParams;
using session::AudioFadeStep;
using session::ScaleSamples;

constexpr std::int32_t kFrames = 441;
constexpr std::int32_t kChannels = 2;
constexpr std::int32_t kBytes = kFrames * kChannels * 2;

std::vector<std::uint8_t> MakeBuffer() {
    std::vector<std::uint8_t> buffer(kBytes);
    for (std::size_t i = 0; i < buffer.size(); ++i) {
        buffer[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    return buffer;
}

void BM_AudioFadeBuffer(benchmark::State& state) {
    const std::vector<std::uint8_t> original = MakeBuffer();
    std::vector<std::uint8_t> buffer = original;
    const AudioFadeParams fadeIn{true, 3000, false, 3000};
    std::int32_t positionMs = 0;
    for (auto _ : state) {
        // Each buffer of a fade starts 10 ms later and gets its own gain.
        const AudioFadeStep step =
            AudioFadeFor(fadeIn, positionMs, 100000, 60000, {kBytes, kChannels, 44100});
        ScaleSamples(buffer.data(), step.frames * kChannels, step.gain);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
        positionMs = (positionMs + 10) % 3000;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kBytes);
}

void BM_AudioBufferMemcpy(benchmark::State& state) {
    const std::vector<std::uint8_t> source = MakeBuffer();
    std::vector<std::uint8_t> buffer(kBytes);
    for (auto _ : state) {
        std::memcpy(buffer.data(), source.data(), kBytes);
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kBytes);
}

}  // namespace

BENCHMARK(BM_AudioFadeBuffer);
BENCHMARK(BM_AudioBufferMemcpy);
