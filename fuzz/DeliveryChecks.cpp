#include "fuzz/DeliveryChecks.h"

#include <algorithm>
#include <cstring>

#include "engine/MediaEngine.h"
#include "fuzz/EngineSession.h"

namespace fuzzsession {
namespace {

constexpr std::int64_t kUnitsPerSecond = 10'000'000;

// Rounded to the nearest, halves away from zero (values here are not negative).
std::int64_t DivideRounded(__int128 numerator, __int128 denominator) {
    return static_cast<std::int64_t>((2 * numerator + denominator) / (2 * denominator));
}

long long L(std::int64_t value) {
    return static_cast<long long>(value);
}

// Every pixel's fourth byte on at most ~64K pixels: all rows of a small frame, else a
// spread of rows.
void CheckFourthBytes(const std::uint8_t* data, std::int32_t width, std::int32_t height,
                      std::int64_t start, int allowed) {
    const std::int64_t rowStep = static_cast<std::int64_t>(width) * height <= 65536
                                     ? 1
                                     : std::max<std::int64_t>(1, height / 16);
    for (std::int64_t y = 0; y < height; y += rowStep) {
        const std::uint8_t* row = data + y * width * 4;
        for (std::int32_t x = 0; x < width; ++x) {
            if (row[x * 4 + 3] != 0 && row[x * 4 + 3] != allowed) {
                Fail("video frame at %lld: pixel (%d, %lld) has fourth byte %u, not 0", L(start), x,
                     L(y), row[x * 4 + 3]);
            }
        }
    }
}

}  // namespace

std::int64_t FrameStart(std::int64_t index, std::int64_t rateNum, std::int64_t rateDen) {
    return DivideRounded(static_cast<__int128>(index) * kUnitsPerSecond * rateDen, rateNum);
}

std::int64_t SampleFramesIn(std::int64_t length, std::int32_t rate) {
    return DivideRounded(static_cast<__int128>(length) * rate, kUnitsPerSecond);
}

std::int64_t SampleTime(std::int64_t sample, std::int32_t rate) {
    return DivideRounded(static_cast<__int128>(sample) * kUnitsPerSecond, rate);
}

void VideoChecker::OnFrame(const void* format, const std::uint8_t* data, std::int32_t length,
                           std::int64_t start, std::int64_t duration) {
    if (format == nullptr) {
        Fail("video frame %lld at %lld comes without a format record", L(frames_), L(start));
    }
    BITMAPINFOHEADER record;
    std::memcpy(&record, format, sizeof record);
    if (frames_ == 0) {
        seenWidth_ = record.biWidth;
        seenHeight_ = record.biHeight;
        if (seenWidth_ <= 0 || seenHeight_ <= 0 || (width_ != 0 && seenWidth_ != width_) ||
            (height_ != 0 && seenHeight_ != height_)) {
            Fail("video record says %dx%d, expected %dx%d (0: the source's own)", seenWidth_,
                 seenHeight_, width_, height_);
        }
    }
    const auto bytes = static_cast<std::uint64_t>(seenWidth_) * seenHeight_ * 4;
    if (record.biSize != 40 || record.biWidth != seenWidth_ || record.biHeight != seenHeight_ ||
        record.biPlanes != 1 || record.biBitCount != 32 || record.biCompression != 0 ||
        record.biSizeImage != static_cast<std::uint32_t>(bytes)) {
        Fail(
            "video frame %lld: record {size %u, %dx%d, planes %u, bits %u, compression %u, "
            "image %u} does not describe a %dx%d 32-bit frame",
            L(frames_), record.biSize, record.biWidth, record.biHeight, record.biPlanes,
            record.biBitCount, record.biCompression, record.biSizeImage, seenWidth_, seenHeight_);
    }
    if (length < 0 || static_cast<std::uint64_t>(length) != bytes || data == nullptr) {
        Fail("video frame %lld at %lld holds %d bytes, expected %llu", L(frames_), L(start), length,
             static_cast<unsigned long long>(bytes));
    }
    if (start != nextStart_) {
        Fail("video frame %lld starts at %lld, expected %lld (the end of the frame before)",
             L(frames_), L(start), L(nextStart_));
    }
    if (rateNum_ > 0) {
        const std::int64_t expected = FrameStart(frames_, rateNum_, rateDen_);
        const std::int64_t next = FrameStart(frames_ + 1, rateNum_, rateDen_);
        if (start != expected || duration != next - expected) {
            Fail("video frame %lld is at %lld for %lld, expected %lld for %lld (%lld/%lld fps)",
                 L(frames_), L(start), L(duration), L(expected), L(next - expected), L(rateNum_),
                 L(rateDen_));
        }
    }
    if (duration <= 0 || start >= length_) {
        Fail("video frame %lld at %lld for %lld: outside a timeline of length %lld", L(frames_),
             L(start), L(duration), L(length_));
    }
    CheckFourthBytes(data, seenWidth_, seenHeight_, start, allowedFourthByte_);
    lastStart_ = start;
    nextStart_ = start + duration;
    ++frames_;
}

void VideoChecker::Finish(bool complete) const {
    if (!complete) {
        return;
    }
    const bool allThere = length_ <= 0 ? frames_ == 0 : nextStart_ >= length_;
    if (!allThere) {
        Fail("the video timeline ended after %lld frames, at %lld of its %lld", L(frames_),
             L(nextStart_), L(length_));
    }
}

std::int64_t AudioChecker::OnBuffer(const void* format, const std::uint8_t* data,
                                    std::int32_t length, std::int64_t start,
                                    std::int64_t duration) {
    if (format == nullptr) {
        Fail("audio buffer %lld at %lld comes without a format record", L(buffers_), L(start));
    }
    WAVEFORMATEX record;
    std::memcpy(&record, format, sizeof record);
    if (buffers_ == 0) {
        seenRate_ = static_cast<std::int32_t>(record.nSamplesPerSec);
        seenChannels_ = record.nChannels;
        if (seenRate_ < 1 || seenRate_ > 768000 || seenChannels_ < 1 || seenChannels_ > 8 ||
            (rate_ != 0 && seenRate_ != rate_) || (channels_ != 0 && seenChannels_ != channels_)) {
            Fail(
                "audio record says %d Hz, %d channels; expected %d Hz, %d channels (0: the "
                "source's own)",
                seenRate_, seenChannels_, rate_, channels_);
        }
    }
    const int blockAlign = seenChannels_ * 2;
    if (record.wFormatTag != 1 || record.nChannels != seenChannels_ ||
        record.nSamplesPerSec != static_cast<std::uint32_t>(seenRate_) ||
        record.nAvgBytesPerSec != static_cast<std::uint32_t>(seenRate_ * blockAlign) ||
        record.nBlockAlign != blockAlign || record.wBitsPerSample != 16) {
        Fail(
            "audio buffer %lld: record {tag %u, %u channels, %u Hz, %u bytes/s, align %u, "
            "%u bits} does not describe %d-channel 16-bit PCM at %d Hz",
            L(buffers_), record.wFormatTag, record.nChannels, record.nSamplesPerSec,
            record.nAvgBytesPerSec, record.nBlockAlign, record.wBitsPerSample, seenChannels_,
            seenRate_);
    }
    const std::int64_t total = SampleFramesIn(length_, seenRate_);
    const std::int64_t perBuffer = seenRate_ >= 200 ? seenRate_ / 100 : 1;
    const std::int64_t frames = std::min(perBuffer, total - samples_);
    if (frames <= 0) {
        Fail("audio buffer %lld at %lld: past the %lld sample frames of the timeline", L(buffers_),
             L(start), L(total));
    }
    if (data == nullptr || length != frames * blockAlign) {
        Fail("audio buffer %lld at %lld holds %d bytes, expected %lld (%lld sample frames)",
             L(buffers_), L(start), length, L(frames * blockAlign), L(frames));
    }
    const std::int64_t expectedStart = SampleTime(samples_, seenRate_);
    const std::int64_t expectedEnd = SampleTime(samples_ + frames, seenRate_);
    if (start != expectedStart || duration != expectedEnd - expectedStart) {
        Fail(
            "audio buffer %lld is at %lld for %lld, expected %lld for %lld (sample frame %lld "
            "at %d Hz)",
            L(buffers_), L(start), L(duration), L(expectedStart), L(expectedEnd - expectedStart),
            L(samples_), seenRate_);
    }
    const std::int64_t first = samples_;
    samples_ += frames;
    ++buffers_;
    return first;
}

void AudioChecker::Finish(bool complete) const {
    if (!complete || seenRate_ == 0) {
        // Nothing delivered: only a timeline without samples may end so.
        if (complete && rate_ != 0 && SampleFramesIn(length_, rate_) != 0) {
            Fail("the audio timeline ended without a buffer; %lld sample frames expected",
                 L(SampleFramesIn(length_, rate_)));
        }
        return;
    }
    const std::int64_t total = SampleFramesIn(length_, seenRate_);
    if (samples_ != total) {
        Fail("the audio timeline ended after %lld sample frames of %lld", L(samples_), L(total));
    }
}

}  // namespace fuzzsession
