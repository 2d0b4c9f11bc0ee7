#include "media/AudioGranule.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/intreadwrite.h>
}

namespace media {
namespace {

// FLAC's STREAMINFO block (34 bytes) opens with the smallest and the largest block size; a
// stream of fixed block size names the same twice (its last block may be shorter). It is the
// codec's extra data on its own, or after the "fLaC" marker and a block header.
int FlacFixedBlockSize(const std::uint8_t* data, int size) {
    constexpr int kStreamInfoBytes = 34;
    if (size >= 8 + kStreamInfoBytes && std::memcmp(data, "fLaC", 4) == 0) {
        data += 8;
        size -= 8;
    }
    if (size < kStreamInfoBytes) {
        return 0;
    }
    const int smallest = AV_RB16(data);
    const int largest = AV_RB16(data + 2);
    return smallest == largest && smallest >= 16 ? smallest : 0;
}

// A Vorbis packet gives a quarter of its block and of the block before it, each short or long
// (a power of two, the long a multiple of the short), so that every packet starts a whole
// number of quarter short blocks after the first. The two sizes are in the identification
// header (the first of the three headers the extra data holds), in the byte 28 bytes after its
// start: the short's exponent in the low four bits, the long's in the high four.
int VorbisQuarterShortBlock(const std::uint8_t* data, int size) {
    constexpr char kIdentification[] = "\x01vorbis";
    constexpr int kMarkerBytes = sizeof(kIdentification) - 1;
    constexpr int kSizesAt = 28;
    // The header starts after the extra data's packet sizes: within its first bytes.
    const int searched = std::min(size - kSizesAt - 2, 64);
    for (int at = 0; at <= searched; ++at) {
        if (std::memcmp(data + at, kIdentification, kMarkerBytes) != 0) {
            continue;
        }
        const int shortExponent = data[at + kSizesAt] & 0x0F;
        const int longExponent = data[at + kSizesAt] >> 4;
        const bool framed = (data[at + kSizesAt + 1] & 1) != 0;
        if (!framed || shortExponent < 6 || shortExponent > longExponent || longExponent > 13) {
            return 0;
        }
        return (1 << shortExponent) / 4;
    }
    return 0;
}

}  // namespace

int AudioGranule(const AVCodecParameters* parameters) {
    const std::uint8_t* extra = parameters->extradata;
    const int extraSize = extra != nullptr ? parameters->extradata_size : 0;
    switch (parameters->codec_id) {
        case AV_CODEC_ID_OPUS:
            return parameters->sample_rate == 48000 ? 120 : 0;
        case AV_CODEC_ID_FLAC:
            return FlacFixedBlockSize(extra, extraSize);
        case AV_CODEC_ID_VORBIS:
            return VorbisQuarterShortBlock(extra, extraSize);
        default:
            return std::max(parameters->frame_size, 0);
    }
}

}  // namespace media
