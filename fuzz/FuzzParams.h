// How the fuzz targets read the parameter bytes at the front of an input: fixed offsets
// (missing bytes read as 0, so a short input is still a valid one), and codes that favour the
// values where playback breaks: tiny and odd sizes, the source's own size, typical sizes,
// the engine's limits and just past them, odd frame and sample rates.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fuzzparams {

// Reads little-endian values at fixed offsets of the parameter block.
class ParamBytes {
  public:
    ParamBytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t U8(std::size_t at) const { return at < size_ ? data_[at] : 0; }
    std::uint16_t U16(std::size_t at) const {
        return static_cast<std::uint16_t>(U8(at) | (U8(at + 1) << 8));
    }
    std::int16_t I16(std::size_t at) const { return static_cast<std::int16_t>(U16(at)); }
    std::uint32_t U32(std::size_t at) const {
        return static_cast<std::uint32_t>(U16(at)) |
               (static_cast<std::uint32_t>(U16(at + 2)) << 16);
    }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// A frame rate as the fraction it stands for; num 0 means "the source's own".
struct Rate {
    std::int32_t num;
    std::int32_t den;
    double value() const { return static_cast<double>(num) / den; }
};

// An output width or height from a 16-bit code:
//   0                  -> fallback
//   bit 15 set         -> the low 15 bits as they are (0 to 32767: the limit 16384 and past it)
//   otherwise, by the low byte b:
//     b = 0            -> fallback,  b = 1 -> 0 (the source's own size)
//     b = 2 to 199     -> 1 to 198
//     b = 200 to 255   -> a typical or limit size from a table
std::int32_t Dimension(std::uint16_t code, std::int32_t fallback);

// A source picture size (for generated media) from one byte: 1 to 236, or (codes 236 to 255)
// a typical size up to 1920.
std::int32_t SourceDimension(std::uint8_t code);

// An output frame rate: 0 -> fallback, else one of a table (the source's own, film and TV
// rates, 1/1000 fps to 1000 fps, 1001 fps and a negative rate, which the engine refuses).
Rate FrameRate(std::uint8_t code, Rate fallback);

// A source frame rate for generated media (1 to 240 fps).
Rate SourceFrameRate(std::uint8_t code);

// An output sample rate: 0 -> fallback, else one of a table (the source's own, 1 Hz to the
// limit 768000 and past it, -1).
std::int32_t SampleRate(std::uint8_t code, std::int32_t fallback);

// An output channel count: 0 -> fallback, else 0 to 9 (0 and 9 are refused).
std::int32_t Channels(std::uint8_t code, std::int32_t fallback);

// The output format a target asks for.
struct OutputFormat {
    std::int32_t width, height;
    Rate rate;
    std::int32_t sampleRate, channels;
};

// The output format from seven bytes at `at`: the width and height codes (two bytes each), then
// the frame rate, sample rate and channel codes (one byte each). A code of 0 (for a side, its
// low byte) gives the fallback's value.
OutputFormat ReadOutputFormat(const ParamBytes& p, std::size_t at, const OutputFormat& fallback);

// A picture of width x height at 4 bytes a pixel, in bytes, without overflow.
inline std::uint64_t FrameBytes(std::int64_t width, std::int64_t height) {
    if (width <= 0 || height <= 0) {
        return 0;
    }
    return static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) * 4;
}

}  // namespace fuzzparams
