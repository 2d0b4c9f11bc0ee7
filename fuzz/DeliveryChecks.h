// Checks that hold for every session whatever its media: the shape of each frame and buffer
// and where it sits on the timeline. A timeline keeps its full length even when the media is
// shorter, damaged or missing, so a session that ends on its own has delivered exactly the
// frames that start before its end and exactly the samples up to its end. A failed check
// aborts through fuzzsession::Fail.
//
// Video: the format record is a 40-byte BITMAPINFOHEADER of width x height (positive) at
// 32 bits; each frame is width x height x 4 bytes with every fourth byte 0; frame k starts at
// k x 10,000,000 / fps rounded to the nearest unit, and frames follow each other without gap.
// Audio: the record is a WAVEFORMATEX of 16-bit PCM; buffers hold rate / 100 sample frames
// (at least one; the last may be shorter), buffer i starting at its first sample's time
// rounded to the nearest unit.
#pragma once

#include <atomic>
#include <cstdint>

namespace fuzzsession {

class VideoChecker {
  public:
    // width, height: what the record must say, 0 for "any positive (the source's own)".
    // rateNum / rateDen: the frame rate the grid must follow, rateNum 0 when unknown.
    // length: the timeline's length in 100-ns units.
    VideoChecker(std::int32_t width, std::int32_t height, std::int64_t rateNum,
                 std::int64_t rateDen, std::int64_t length)
        : width_(width), height_(height), rateNum_(rateNum), rateDen_(rateDen), length_(length) {}

    // On the video delivery thread.
    void OnFrame(const void* format, const std::uint8_t* data, std::int32_t length,
                 std::int64_t start, std::int64_t duration);
    // After the session. complete: it ended on its own and must have delivered every frame;
    // otherwise the frames delivered must be a beginning of them.
    void Finish(bool complete) const;

    // A fourth byte other than 0 that is let through (-1: none): see FuzzMedia.cpp.
    void AllowFourthByte(int value) { allowedFourthByte_ = value; }

    std::int64_t frames() const { return frames_; }
    std::int32_t width() const { return seenWidth_; }
    std::int32_t height() const { return seenHeight_; }

  private:
    std::int32_t width_;
    std::int32_t height_;
    std::int64_t rateNum_;
    std::int64_t rateDen_;
    std::int64_t length_;
    std::int32_t seenWidth_ = 0;
    std::int32_t seenHeight_ = 0;
    std::int64_t frames_ = 0;
    std::int64_t nextStart_ = 0;
    std::int64_t lastStart_ = -1;
    int allowedFourthByte_ = -1;
};

class AudioChecker {
  public:
    // rate, channels: what the record must say, 0 for "any usable (the source's own)".
    AudioChecker(std::int32_t rate, std::int32_t channels, std::int64_t length)
        : rate_(rate), channels_(channels), length_(length) {}

    // On the audio delivery thread. Returns the buffer's first sample frame on the timeline.
    std::int64_t OnBuffer(const void* format, const std::uint8_t* data, std::int32_t length,
                          std::int64_t start, std::int64_t duration);
    void Finish(bool complete) const;

    std::int64_t sampleFrames() const { return samples_; }
    std::int32_t rate() const { return seenRate_; }
    std::int32_t channels() const { return seenChannels_; }

  private:
    std::int32_t rate_;
    std::int32_t channels_;
    std::int64_t length_;
    std::int32_t seenRate_ = 0;
    std::int32_t seenChannels_ = 0;
    std::int64_t buffers_ = 0;
    std::int64_t samples_ = 0;
};

// The rounding rules of the timelines, from their definitions.
std::int64_t FrameStart(std::int64_t index, std::int64_t rateNum, std::int64_t rateDen);
std::int64_t SampleFramesIn(std::int64_t length, std::int32_t rate);
std::int64_t SampleTime(std::int64_t sample, std::int32_t rate);

}  // namespace fuzzsession
