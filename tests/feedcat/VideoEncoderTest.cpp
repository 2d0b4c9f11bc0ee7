// The encoder's scaler against frames that end where readable memory ends: whatever the frame's
// size, it reads nothing past the padding the encoder asks for (libswscale's vector code reads
// rows in whole blocks, past the end of a short last row).
#include "VideoEncoder.h"

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

TEST(VideoEncoderTest, ReadsNothingPastAFramesPadding) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_RAWVIDEO);
    ASSERT_NE(codec, nullptr);
    struct Size {
        int width;
        int height;
    };
    for (const Size size : {Size{2, 2}, Size{4, 4}, Size{8, 8}, Size{3, 5}, Size{24, 6},
                            Size{30, 6}, Size{174, 6}, Size{426, 240}, Size{320, 240}}) {
        const std::string what = std::to_string(size.width) + "x" + std::to_string(size.height);
        VideoEncoder encoder;
        std::string error;
        ASSERT_TRUE(encoder.Open(codec, size.width, size.height, AVRational{25, 1}, false, &error))
            << what << ": " << error;
        const std::size_t frameBytes = static_cast<std::size_t>(size.width) * size.height * 4;
        const BytesBeforeAGuardPage frame(frameBytes + VideoEncoder::kReadPadding);
        ASSERT_NE(frame.start(), nullptr);
        int packets = 0;
        const PacketSink sink = [&packets](AVPacket*) {
            ++packets;
            return true;
        };
        EXPECT_TRUE(encoder.Encode(frame.start(), size.width, size.height, 0, sink)) << what;
        EXPECT_TRUE(encoder.Flush(sink)) << what;
        EXPECT_EQ(packets, 1) << what;
    }
}

}  // namespace
}  // namespace feedcat
