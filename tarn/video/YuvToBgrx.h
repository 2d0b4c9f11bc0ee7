// YuvToBgrx: converts planar YUV pictures (4:2:0, 4:2:2 and 4:4:4, 8 or 10 bits) into B G R X
// pixels with X = 0, with libyuv's vector code. The colour constants are worked out from the
// same matrix table and range libswscale would use, to libyuv's 6-bit precision (within 1.5
// levels of the exact result); libyuv's own tables are not used, as its limited-range BT.709
// and BT.2020 ones cut the U to B factor to 2.0 (blues up to 14 levels off).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace tarn {

// How the chroma planes of a picture are sampled against its luma.
enum class ChromaLayout { Yuv420, Yuv422, Yuv444 };

class YuvToBgrx {
  public:
    YuvToBgrx();
    ~YuvToBgrx();

    // Sets the colours: `colourMatrix` an SWS_CS_* value, `fullRange` for 0..255 luma and
    // chroma. False where this processor's libyuv cannot take the constants (not x86, or a
    // libyuv whose conversions do not come out as they should): use libswscale then.
    bool SetColours(int colourMatrix, bool fullRange);

    // Writes `width` x `height` pixels into rows `targetStride` bytes apart, nothing past the
    // last pixel of a row. Strides of the planes in bytes. 10-bit samples are 16-bit words in
    // the machine's byte order. Only after SetColours returned true.
    bool Convert(ChromaLayout layout, bool tenBit, const std::uint8_t* const planes[3],
                 const int strides[3], int width, int height, std::uint8_t* target,
                 int targetStride);

  private:
    struct Constants;
    std::unique_ptr<Constants> constants_;
    int colourMatrix_ = -1;
    bool fullRange_ = false;
    bool usable_ = false;
    // A row of zero alpha samples, read again for every row: libyuv's conversions with an
    // alpha plane write X = 0 in the same pass.
    std::vector<std::uint16_t> zeroAlpha_;
};

}  // namespace tarn
