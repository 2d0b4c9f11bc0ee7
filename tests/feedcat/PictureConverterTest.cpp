// The frame callback's converter against frames that end where readable memory ends: whatever
// the frame's size, libswscale reads nothing past the padding the converter asks for (its
// vector code reads rows in whole blocks, past the end of a short last row), and a frame as
// the library hands it (no padding at all) is copied first, so nothing past it is read either.
// The pictures then encode.
#include "output/PictureConverter.h"
#include "output/VideoEncoder.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace feedcat {
namespace {

// `bytes` readable bytes that end where an inaccessible page begins: a read past them faults.
class BytesBeforeAGuardPage {
  public:
    explicit BytesBeforeAGuardPage(std::size_t bytes) {
        const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        const std::size_t pages = (bytes + page - 1) / page + 1;
        mappedBytes_ = pages * page;
        void* mapped =
            mmap(nullptr, mappedBytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED) {
            return;
        }
        mapped_ = static_cast<std::uint8_t*>(mapped);
        std::uint8_t* guard = mapped_ + mappedBytes_ - page;
        if (mprotect(guard, page, PROT_NONE) != 0) {
            return;
        }
        start_ = guard - bytes;
        std::memset(start_, 0x40, bytes);
    }
    ~BytesBeforeAGuardPage() {
        if (mapped_ != nullptr) {
            munmap(mapped_, mappedBytes_);
        }
    }
    BytesBeforeAGuardPage(const BytesBeforeAGuardPage&) = delete;
    BytesBeforeAGuardPage& operator=(const BytesBeforeAGuardPage&) = delete;

    std::uint8_t* start() const { return start_; }

  private:
    std::uint8_t* mapped_ = nullptr;
    std::size_t mappedBytes_ = 0;
    std::uint8_t* start_ = nullptr;
};

struct Size {
    int width;
    int height;
};
const Size kSizes[] = {Size{2, 2},  Size{4, 4},   Size{8, 8},     Size{3, 5},    Size{24, 6},
                       Size{30, 6}, Size{174, 6}, Size{426, 240}, Size{320, 240}};

// Converts a frame of size whose bytes (plus padding) end at a guard page, encodes the picture
// with the raw video encoder, and expects one packet.
void ConvertAndEncode(const Size size, std::size_t padding, bool copy) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_RAWVIDEO);
    ASSERT_NE(codec, nullptr);
    const std::string what = std::to_string(size.width) + "x" + std::to_string(size.height);
    FramePool pool(2);
    PictureConverter converter(EncoderPixelFormat(codec), &pool);
    const std::size_t frameBytes = static_cast<std::size_t>(size.width) * size.height * 4;
    const BytesBeforeAGuardPage frame(frameBytes + padding);
    ASSERT_NE(frame.start(), nullptr);
    media::FramePtr picture = copy
                                  ? converter.Convert(frame.start(), size.width, size.height)
                                  : converter.ConvertPadded(frame.start(), size.width, size.height);
    ASSERT_TRUE(picture) << what;
    VideoEncoder encoder;
    std::string error;
    ASSERT_TRUE(encoder.Open(codec, picture->width, picture->height, AVRational{25, 1},
                             ColourFor(EncoderPixelFormat(codec), picture->height),
                             QualitySettings{}, false, &error))
        << what << ": " << error;
    int packets = 0;
    const PacketSink sink = [&packets](AVPacket*) {
        ++packets;
        return true;
    };
    EXPECT_TRUE(encoder.Encode(picture.get(), 0, sink)) << what;
    EXPECT_TRUE(encoder.Flush(sink)) << what;
    EXPECT_EQ(packets, 1) << what;
}

TEST(PictureConverterTest, ReadsNothingPastAFramesPadding) {
    for (const Size size : kSizes) {
        ConvertAndEncode(size, PictureConverter::kReadPadding, false);
    }
}

TEST(PictureConverterTest, CopiesAFrameThatEndsAtItsLastPixel) {
    for (const Size size : kSizes) {
        ConvertAndEncode(size, 0, true);
    }
}

}  // namespace
}  // namespace feedcat
