#include "fuzz/FuzzParams.h"

#include <iterator>

namespace fuzzparams {
namespace {

// Typical sizes (and a few odd ones near them), the engine's limit and just past it.
constexpr std::int32_t kSizes[] = {
    199,  200,  208,  212,  224,  236,  240,  256,  288,   300,   320,   352,   360,   384,
    400,  426,  432,  480,  486,  500,  512,  540,  576,   600,   640,   704,   720,   768,
    800,  854,  960,  1000, 1024, 1080, 1088, 1200, 1280,  1366,  1440,  1600,  1920,  2048,
    2160, 2560, 3840, 4096, 4097, 7680, 8191, 8192, 12000, 16383, 16384, 16385, 20000, 32767};
static_assert(std::size(kSizes) == 56, "codes 200 to 255 pick from kSizes");

constexpr std::int32_t kSourceSizes[] = {240, 256, 288, 320, 352, 360,  426,  480,  576,  640,
                                         704, 720, 768, 854, 960, 1080, 1200, 1280, 1440, 1920};
static_assert(std::size(kSourceSizes) == 20, "codes 236 to 255 pick from kSourceSizes");

constexpr Rate kRates[] = {
    {0, 1},   {25, 1},  {30000, 1001}, {24000, 1001}, {24, 1}, {30, 1},  {50, 1},   {60000, 1001},
    {60, 1},  {1, 1},   {2, 1},        {5, 1},        {10, 1}, {25, 2},  {15, 1},   {100, 1},
    {120, 1}, {240, 1}, {1000, 1},     {1001, 1},     {1, 2},  {73, 10}, {1, 1000}, {144, 1},
    {999, 1}, {48, 1},  {-25, 1},      {12, 1},       {3, 1},  {7, 1}};

constexpr Rate kSourceRates[] = {{25, 1},  {30000, 1001}, {24, 1},  {30, 1},       {50, 1},
                                 {60, 1},  {10, 1},       {1, 1},   {5, 1},        {15, 1},
                                 {120, 1}, {25, 2},       {240, 1}, {24000, 1001}, {2, 1}};

constexpr std::int32_t kSampleRates[] = {0,      8000,  11025, 16000,  22050,  32000,  44100,
                                         48000,  88200, 96000, 176400, 192000, 384000, 768000,
                                         768001, 1,     2,     99,     100,    199,    200,
                                         201,    1000,  7999,  12345,  44101,  -1};

}  // namespace

std::int32_t Dimension(std::uint16_t code, std::int32_t fallback) {
    if (code == 0) {
        return fallback;
    }
    if ((code & 0x8000) != 0) {
        return code & 0x7FFF;
    }
    const int low = code & 0xFF;
    if (low == 0) {
        return fallback;
    }
    if (low == 1) {
        return 0;
    }
    if (low < 200) {
        return low - 1;
    }
    return kSizes[low - 200];
}

std::int32_t SourceDimension(std::uint8_t code) {
    if (code < 236) {
        return code + 1;
    }
    return kSourceSizes[code - 236];
}

Rate FrameRate(std::uint8_t code, Rate fallback) {
    if (code == 0) {
        return fallback;
    }
    return kRates[(code - 1) % std::size(kRates)];
}

Rate SourceFrameRate(std::uint8_t code) {
    return kSourceRates[code % std::size(kSourceRates)];
}

std::int32_t SampleRate(std::uint8_t code, std::int32_t fallback) {
    if (code == 0) {
        return fallback;
    }
    return kSampleRates[(code - 1) % std::size(kSampleRates)];
}

std::int32_t Channels(std::uint8_t code, std::int32_t fallback) {
    if (code == 0) {
        return fallback;
    }
    return (code - 1) % 10;
}

OutputFormat ReadOutputFormat(const ParamBytes& p, std::size_t at, const OutputFormat& fallback) {
    return {Dimension(p.U16(at), fallback.width), Dimension(p.U16(at + 2), fallback.height),
            FrameRate(p.U8(at + 4), fallback.rate), SampleRate(p.U8(at + 5), fallback.sampleRate),
            Channels(p.U8(at + 6), fallback.channels)};
}

}  // namespace fuzzparams
