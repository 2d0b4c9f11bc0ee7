// Sound of an audio clip: exact sample positions over any sequence of reads, the clip's start
// on the right sample, silence around the media, and conversion to the output rate and
// channel count.
#include "tarn/AudioTimeline.h"
#include "tarn/audio/AudioClipReader.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/media/TestMedia.h"

namespace tarn {

namespace {

using testmedia::kTicksPerMs;
using testmedia::kTicksPerSecond;
using testmedia::Media;
using testmedia::RampLeft;

AudioClipSetup Clip(const std::string& name, std::int64_t sourceStart = 0, int rate = 44100,
                    int channels = 2) {
    AudioClipSetup clip;
    clip.name = name;
    clip.sourceStart = sourceStart;
    clip.outputRate = rate;
    clip.outputChannels = channels;
    return clip;
}

// Reads `frames` sample frames in reads of the given sizes, in turn, into a buffer that
// starts out non-zero, so that untouched samples show.
std::vector<std::int16_t> ReadFrames(const AudioClipSetup& clip, std::int64_t frames,
                                     const std::vector<std::int64_t>& sizes = {4096}) {
    AudioClipReader reader(clip);
    std::vector<std::int16_t> samples(static_cast<std::size_t>(frames * clip.outputChannels),
                                      0x5555);
    std::int64_t done = 0;
    for (std::size_t turn = 0; done < frames; ++turn) {
        const std::int64_t size = std::min(sizes[turn % sizes.size()], frames - done);
        reader.Read(samples.data() + done * clip.outputChannels, size);
        done += size;
    }
    return samples;
}

// Frames [from, to) of channel `channel`.
std::vector<double> Channel(const std::vector<std::int16_t>& samples, int channels, int channel,
                            std::int64_t from, std::int64_t to) {
    std::vector<double> values;
    for (std::int64_t i = from; i < to; ++i) {
        values.push_back(samples[static_cast<std::size_t>(i * channels + channel)]);
    }
    return values;
}

int UpwardZeroCrossings(const std::vector<double>& values) {
    int crossings = 0;
    for (std::size_t i = 1; i < values.size(); ++i) {
        if (values[i - 1] < 0 && values[i] >= 0) {
            ++crossings;
        }
    }
    return crossings;
}

double Peak(const std::vector<double>& values) {
    double peak = 0;
    for (double value : values) {
        peak = std::max(peak, std::abs(value));
    }
    return peak;
}

double Rms(const std::vector<double>& values) {
    double sum = 0;
    for (double value : values) {
        sum += value * value;
    }
    return std::sqrt(sum / static_cast<double>(values.size()));
}

bool IsSilent(const std::vector<std::int16_t>& samples) {
    for (std::int16_t sample : samples) {
        if (sample != 0) {
            return false;
        }
    }
    return true;
}

// Checks that the frames from `from` on hold the ramp from sample frame `rampStart` on until
// the file ends, then silence.
testing::AssertionResult HoldsRampFrom(const std::vector<std::int16_t>& samples, std::int64_t from,
                                       std::int64_t rampStart) {
    const std::int64_t frames = static_cast<std::int64_t>(samples.size()) / 2;
    for (std::int64_t i = from; i < frames; ++i) {
        const std::int64_t source = rampStart + (i - from);
        const std::int16_t left = source < testmedia::kRampFrames ? RampLeft(source) : 0;
        const std::int16_t right = static_cast<std::int16_t>(-left);
        if (samples[i * 2] != left || samples[i * 2 + 1] != right) {
            return testing::AssertionFailure()
                   << "frame " << i << " holds " << samples[i * 2] << ", " << samples[i * 2 + 1]
                   << " instead of " << left << ", " << right;
        }
    }
    return testing::AssertionSuccess();
}

TEST(AudioClipReaderTest, EveryReadContinuesExactlyWhereTheLastStopped) {
    const std::vector<std::int16_t> samples = ReadFrames(
        Clip(Media().ramp), testmedia::kRampFrames + 5000, {1, 7, 333, 1024, 4095, 17, 2, 9999, 3});
    EXPECT_TRUE(HoldsRampFrom(samples, 0, 0));
}

TEST(AudioClipReaderTest, StartsOnTheSampleAtSourceStart) {
    // 10 ms is 441 sample frames at 44,100 Hz.
    for (std::int64_t tens : {1, 25, 100, 149}) {
        const std::vector<std::int16_t> samples =
            ReadFrames(Clip(Media().ramp, tens * 10 * kTicksPerMs), 3000, {1000, 7});
        EXPECT_TRUE(HoldsRampFrom(samples, 0, tens * 441)) << tens * 10 << " ms";
    }
    // Between two sample frames, the nearest one starts: 5444.44 and 5444.60.
    EXPECT_TRUE(HoldsRampFrom(ReadFrames(Clip(Media().ramp, 1234567), 100), 0, 5444));
    EXPECT_TRUE(HoldsRampFrom(ReadFrames(Clip(Media().ramp, 1234604), 100), 0, 5445));
}

TEST(AudioClipReaderTest, SilenceBeforeTheAudioAndPastItsEnd) {
    const std::vector<std::int16_t> early =
        ReadFrames(Clip(Media().ramp, -10 * kTicksPerMs), 5000, {100, 3});
    EXPECT_TRUE(IsSilent(std::vector<std::int16_t>(early.begin(), early.begin() + 441 * 2)));
    EXPECT_TRUE(HoldsRampFrom(early, 441, 0));

    // Ages before the audio: silence, never held in memory (years of it would not fit).
    EXPECT_TRUE(
        IsSilent(ReadFrames(Clip(Media().ramp, -kTicksPerSecond * 3600 * 24 * 365 * 1000), 10000)));

    // An hour before: the audio still comes in on the right sample.
    AudioClipReader hourEarly(Clip(Media().ramp, -3600 * kTicksPerSecond));
    std::vector<std::int16_t> chunk(2 * 44100, 0x5555);
    hourEarly.Read(chunk.data(), 44100);
    EXPECT_TRUE(IsSilent(chunk));
    const std::int64_t untilAudio = 3600LL * 44100 - 44100;
    std::vector<std::int16_t> skip(2 * 1000000);
    for (std::int64_t left = untilAudio - 10; left > 0;) {
        const std::int64_t size = std::min<std::int64_t>(left, 1000000);
        hourEarly.Read(skip.data(), size);
        left -= size;
    }
    std::vector<std::int16_t> edge(2 * 100, 0x5555);
    hourEarly.Read(edge.data(), 100);
    EXPECT_TRUE(IsSilent(std::vector<std::int16_t>(edge.begin(), edge.begin() + 20)));
    EXPECT_TRUE(HoldsRampFrom(std::vector<std::int16_t>(edge.begin() + 20, edge.end()), 0, 0));

    EXPECT_TRUE(IsSilent(ReadFrames(Clip(Media().ramp, 2 * kTicksPerSecond), 10000)));
}

TEST(AudioClipReaderTest, MonoBecomesStereoAtTheOutputRateKeepingPitchAndLevel) {
    // 22,050 Hz mono, 1 kHz at amplitude 16384, read as 44,100 Hz stereo.
    const std::int64_t frames = 44100 * 5 / 2;
    const std::vector<std::int16_t> samples =
        ReadFrames(Clip(Media().tone22k), frames, {441, 1000, 13});
    const std::vector<double> left = Channel(samples, 2, 0, 4410, 4410 + 44100);
    EXPECT_EQ(left, Channel(samples, 2, 1, 4410, 4410 + 44100));
    EXPECT_NEAR(UpwardZeroCrossings(left), 1000, 2);
    EXPECT_NEAR(Peak(left), testmedia::kToneAmplitude, testmedia::kToneAmplitude * 0.03);
    EXPECT_NEAR(Rms(left), testmedia::kToneAmplitude / std::sqrt(2.0),
                testmedia::kToneAmplitude * 0.03);
    // The tone lasts 2 s (88,200 sample frames), to its last sample, then silence.
    std::int64_t lastSound = 0;
    for (std::int64_t i = 0; i < frames; ++i) {
        if (samples[static_cast<std::size_t>(i * 2)] != 0) {
            lastSound = i;
        }
    }
    EXPECT_GE(lastSound, 88200 - 3);
    EXPECT_LE(lastSound, 88200 + 64);
    EXPECT_GT(Peak(Channel(samples, 2, 0, 88200 - 45, 88200)), 15000);
}

TEST(AudioClipReaderTest, CompressedAudioStartsOnTheRightSample) {
    // A 440 Hz sine from sample 0: the output must follow it from the clip's first sample on,
    // so the best match of the expected wave is at no offset. AAC in MP4 (its priming cut by
    // the edit list), Opus in WebM (its codec delay cut) and FLAC in Matroska (no delay), the
    // last two timed in milliseconds.
    struct Source {
        std::string name;
        int rate;
        double amplitude;
    };
    const Source sources[] = {
        {Media().av, testmedia::kAvSampleRate, testmedia::kAvToneAmplitude * 32767.0},
        {Media().opusWebm, 48000, testmedia::kToneAmplitude},
        {Media().flacMkv, 96000, testmedia::kToneAmplitude}};
    for (const Source& source : sources) {
        for (std::int64_t startMs : {0, 1000, 2500}) {
            const std::int64_t startFrame = startMs * source.rate / 1000;
            const std::vector<std::int16_t> samples =
                ReadFrames(Clip(source.name, startMs * kTicksPerMs, source.rate), 6000, {1000, 1});
            const std::vector<double> left = Channel(samples, 2, 0, 0, 6000);
            int bestLag = 0;
            double bestError = -1;
            for (int lag = -60; lag <= 60; ++lag) {
                double error = 0;
                for (int i = 0; i < 5000; ++i) {
                    const double expected =
                        source.amplitude *
                        std::sin(2.0 * M_PI * testmedia::kAvToneHz *
                                 static_cast<double>(startFrame + i + lag) / source.rate);
                    error += (left[i] - expected) * (left[i] - expected);
                }
                if (bestError < 0 || error < bestError) {
                    bestError = error;
                    bestLag = lag;
                }
            }
            EXPECT_LE(std::abs(bestLag), 1) << source.name << " starting at " << startMs << " ms";
            EXPECT_LT(std::sqrt(bestError / 5000), source.amplitude * 0.02)
                << source.name << " starting at " << startMs << " ms";
        }
    }
}

TEST(AudioClipReaderTest, SourceTimesCountFromTheStartOfTheFile) {
    // The transport stream's clock starts at 1.4 s; its sound is there from source time 0
    // (after the encoder's 1,024 samples of priming) and stops at 2 s.
    const std::vector<std::int16_t> samples =
        ReadFrames(Clip(Media().transportStream), 3 * 44100, {777});
    const std::vector<double> tone = Channel(samples, 2, 0, 2048, 2048 + 44100);
    EXPECT_NEAR(UpwardZeroCrossings(tone), 440, 2);
    EXPECT_GT(Peak(tone), 0.4 * 32767);
    EXPECT_TRUE(IsSilent(
        std::vector<std::int16_t>(samples.begin() + (44100 * 21 / 10) * 2, samples.end())));
}

TEST(AudioClipReaderTest, ConvertsToOtherRatesAndChannelCounts) {
    // Stereo AAC at 44,100 Hz read as mono at 48,000 Hz: still 440 Hz.
    const std::vector<std::int16_t> mono = ReadFrames(Clip(Media().av, 0, 48000, 1), 48000 * 2);
    const std::vector<double> tone = Channel(mono, 1, 0, 4800, 4800 + 48000);
    EXPECT_NEAR(UpwardZeroCrossings(tone), 440, 2);
    EXPECT_GT(Peak(tone), 0.3 * 32767);

    // 5.1 out of stereo: every sample frame is written.
    const std::vector<std::int16_t> surround = ReadFrames(Clip(Media().av, 0, 44100, 6), 20000);
    for (std::int16_t sample : surround) {
        ASSERT_NE(sample, 0x5555);
    }

    // A lavfi sine.
    const std::vector<std::int16_t> generated =
        ReadFrames(Clip("lavfi:sine=frequency=1000:sample_rate=44100:duration=2"), 44100 * 3);
    EXPECT_NEAR(UpwardZeroCrossings(Channel(generated, 2, 0, 0, 44100)), 1000, 2);
    EXPECT_TRUE(IsSilent(
        std::vector<std::int16_t>(generated.begin() + 44100 * 2 * 2 + 200, generated.end())));
}

// How far, in output samples, `later` lags behind `earlier` (from `offset` on), both holding a
// tone of `hz` at `amplitude` at `rate`: the best whole-sample shift, and what is left over,
// estimated from the difference at that shift (for a sine shifted by d samples the difference
// has an RMS of amplitude * 2 pi hz / rate * d / sqrt 2).
struct Lag {
    int whole = 0;
    double rest = 0;
};
Lag LagBetween(const std::vector<std::int16_t>& earlier, std::int64_t offset,
               const std::vector<std::int16_t>& later, double hz, double amplitude, int rate) {
    Lag lag;
    double best = -1;
    for (int shift = -60; shift <= 60; ++shift) {
        double sum = 0;
        std::int64_t count = 0;
        for (std::int64_t i = 0; i < static_cast<std::int64_t>(later.size()); ++i) {
            const std::int64_t at = offset + i - shift;
            if (at < 0 || at >= static_cast<std::int64_t>(earlier.size())) {
                continue;
            }
            const double difference =
                later[static_cast<std::size_t>(i)] - earlier[static_cast<std::size_t>(at)];
            sum += difference * difference;
            ++count;
        }
        const double rms = std::sqrt(sum / static_cast<double>(count));
        if (best < 0 || rms < best) {
            best = rms;
            lag.whole = shift;
        }
    }
    lag.rest = best * std::sqrt(2.0) / (amplitude * 2.0 * M_PI * hz / rate);
    return lag;
}

// A clip that starts where another of the same file ends (entered by a seek) goes on with the
// very samples the first would have given next: the two join without a click. In containers
// that count milliseconds the packet times are rounded (FLAC's and Vorbis's frames do not last
// whole milliseconds, and Vorbis's vary), and Opus decoders drop their codec delay again after
// every seek; neither may move the clip. Resampled, the clip lands on the output's own sample
// grid, as the continuous resample does, within a small fraction of a sample.
TEST(AudioClipReaderTest, ConsecutiveClipsOfOneFileJoinOnTheSameSample) {
    struct Source {
        std::string name;
        int rate;
        double amplitude;
    };
    const Source sources[] = {
        {Media().opusWebm, 48000, testmedia::kToneAmplitude},
        {Media().aacMkv, 44100, testmedia::kToneAmplitude},
        {Media().flacMkv, 96000, testmedia::kToneAmplitude},
        {Media().vorbisMkv, 44100, testmedia::kToneAmplitude},
        {Media().vorbisWebm, 48000, testmedia::kToneAmplitude},
        {Media().av, testmedia::kAvSampleRate, testmedia::kAvToneAmplitude * 32767.0}};
    for (const Source& source : sources) {
        for (const int rate : {source.rate, source.rate == 48000 ? 44100 : 48000}) {
            // (start of the first clip, start of the second) in ms: from the file's start
            // (decoded without a seek) and from inside it, on and between packet boundaries.
            for (const auto& [firstMs, secondMs] :
                 {std::pair<int, int>{0, 1000}, {0, 1013}, {500, 1700}, {300, 2217}}) {
                const std::string what = source.name + " at " + std::to_string(rate) +
                                         " Hz, clips from " + std::to_string(firstMs) + " and " +
                                         std::to_string(secondMs) + " ms";
                // Sample frames of the output from source time 0 to each clip's start.
                const std::int64_t firstFrame = std::llround(firstMs * rate / 1000.0);
                const std::int64_t secondFrame = std::llround(secondMs * rate / 1000.0);
                const std::int64_t length = rate * 3 / 10;
                const std::vector<std::int16_t> first =
                    ReadFrames(Clip(source.name, firstMs * kTicksPerMs, rate, 1),
                               secondFrame - firstFrame + length);
                const std::vector<std::int16_t> second =
                    ReadFrames(Clip(source.name, secondMs * kTicksPerMs, rate, 1), length);
                const Lag lag = LagBetween(first, secondFrame - firstFrame, second,
                                           testmedia::kAvToneHz, source.amplitude, rate);
                EXPECT_EQ(lag.whole, 0) << what;
                EXPECT_LT(lag.rest, rate != source.rate ? 0.05 : 0.02) << what;
            }
        }
    }
}

// Spans of one file laid end to end on a timeline play it on without a sample repeated or
// skipped, wherever the rounding of their timeline and source times to samples disagrees:
// timeline sample n plays ramp sample n + round((S - T) * R), S - T shared by all of them, and
// the timeline holds round(length * R) samples.
TEST(AudioClipReaderTest, AdjoiningSpansOfOneFileJoinSampleForSampleOnATimeline) {
    struct Case {
        int timelineStartMs;      // of the first span; silence before it
        std::vector<int> cutsMs;  // source times where spans start and the last one ends
    };
    // A sample repeated at the second join, one skipped at the first, a first span a sample
    // off (and silence before it).
    const Case cases[] = {
        {0, {1006, 1013, 1020, 1500}}, {0, {502, 505, 509, 600}}, {3, {506, 513, 600}}};
    const int rate = testmedia::kRampRate;
    for (const Case& c : cases) {
        std::vector<ClipData> clips;
        const int shiftMs = c.timelineStartMs - c.cutsMs.front();  // timeline minus source
        for (std::size_t i = 0; i + 1 < c.cutsMs.size(); ++i) {
            ClipData clip;
            clip.name = Media().ramp;
            clip.sourceStart = c.cutsMs[i] * kTicksPerMs;
            clip.sourceStop = c.cutsMs[i + 1] * kTicksPerMs;
            clip.timelineStart = (c.cutsMs[i] + shiftMs) * kTicksPerMs;
            clip.timelineStop = (c.cutsMs[i + 1] + shiftMs) * kTicksPerMs;
            clips.push_back(clip);
        }
        AudioTimeline timeline(clips, rate, 2);
        std::vector<std::int16_t> samples;
        Chunk chunk;
        while (timeline.Next(chunk)) {
            const auto* data = reinterpret_cast<const std::int16_t*>(chunk.bytes.data());
            samples.insert(samples.end(), data, data + chunk.bytes.size() / 2);
        }
        const std::int64_t first = std::llround(c.timelineStartMs * rate / 1000.0);
        const std::int64_t end = std::llround((c.cutsMs.back() + shiftMs) * rate / 1000.0);
        const std::string what = "spans from " + std::to_string(c.cutsMs.front()) + " ms at " +
                                 std::to_string(c.timelineStartMs) + " ms";
        ASSERT_EQ(static_cast<std::int64_t>(samples.size()), end * 2) << what;
        EXPECT_TRUE(
            IsSilent(std::vector<std::int16_t>(samples.begin(), samples.begin() + first * 2)))
            << what;
        EXPECT_TRUE(HoldsRampFrom(samples, first, first + std::llround(-shiftMs * rate / 1000.0)))
            << what;
    }
}

TEST(AudioClipReaderTest, UnreadableFilesReadSilence) {
    for (const std::string& name :
         {Media().random, Media().truncatedMp4, Media().missing, Media().directory,
          Media().videoOnly, std::string(), std::string("lavfi:amovie=x.mp4")}) {
        EXPECT_TRUE(IsSilent(ReadFrames(Clip(name), 5000, {1000, 3}))) << name;
    }
    AudioClipReader neverRead(Clip(Media().av));
}

TEST(AudioClipReaderTest, AnAbsurdSourceFormatReadsSilenceWithoutStalling) {
    // A damaged WAV header: PCM, 12 channels at 520,110,208 Hz. Setting up a resampler for it
    // would take the better part of a minute.
    const std::string wav = Media().directory + "/absurd-rate.wav";
    {
        std::vector<std::uint8_t> bytes = {'R', 'I', 'F',  'F',  0,    0,    0,   0, 'W', 'A', 'V',
                                           'E', 'f', 'm',  't',  ' ',  16,   0,   0, 0,   1,   0,
                                           12,  0,   0x80, 0x40, 0x00, 0x1F, 0,   0, 0,   0,   12,
                                           0,   8,   0,    'd',  'a',  't',  'a', 0, 16,  0,   0};
        bytes.resize(bytes.size() + 4096, 0x80);
        std::FILE* file = std::fopen(wav.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(IsSilent(ReadFrames(Clip(wav, 0, 8000, 1), 8000)));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

}  // namespace

}  // namespace tarn
