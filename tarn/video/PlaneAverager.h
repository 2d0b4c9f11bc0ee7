// PlaneAverager: shrinks one plane of a picture (luma, or one of its chroma planes) by whole
// factors, each output sample the mean of the source samples it covers: scaling down by area
// averaging, as libswscale's SWS_AREA does for whole factors, without its cost per source row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarn {

// How a plane's samples map onto the output's. Output column c is the mean of source columns
// [c * columnFactor, (c + 1) * columnFactor), each of `channels` samples (a packed RGB picture's
// 3 or 4 bytes a pixel, averaged each on its own). Rows are counted in finer units so that the
// chroma of a 4:2:0 picture can be brought to the output's rows: output row r covers the units [r *
// rowFactor, (r + 1) * rowFactor), source row i the units [i * rowSpan, (i + 1) * rowSpan), and
// each source row weighs as much as it overlaps (a 1080-line picture shown at 360 lines: luma
// rowFactor 3, rowSpan 1; its 540 chroma rows rowFactor 3, rowSpan 2, so that each output row is
// two thirds of one chroma row and one third of the next, or the other way).
struct PlaneReduction {
    int columnFactor = 1;
    int rowFactor = 1;
    int rowSpan = 1;   // 1 or 2
    int channels = 1;  // 1, 3 or 4
};

// The largest sum of weights (columnFactor x rowFactor) an average may have: the sums of 10-bit
// samples stay within 16 bits.
constexpr int kMaxAveragedSamples = 64;

class PlaneAverager {
  public:
    // Writes output rows [firstRow, firstRow + rowCount), `width` columns each, at `target`
    // (rows `targetStride` samples apart, nothing past the last column of a row) from the
    // source plane at `source` (rows `sourceStride` samples apart, `sourceRows` of them; each
    // row at least width x columnFactor columns). The reduction's factors must be at least 1,
    // rowFactor x columnFactor at most kMaxAveragedSamples, rowSpan 1 or 2, and the output's
    // rows within the source's. 8-bit samples, and 16-bit ones of at most 10 significant bits.
    void Average(const std::uint8_t* source, std::ptrdiff_t sourceStride, int sourceRows,
                 std::uint8_t* target, std::ptrdiff_t targetStride, int width, int firstRow,
                 int rowCount, const PlaneReduction& reduction);
    void Average(const std::uint16_t* source, std::ptrdiff_t sourceStride, int sourceRows,
                 std::uint16_t* target, std::ptrdiff_t targetStride, int width, int firstRow,
                 int rowCount, const PlaneReduction& reduction);

  private:
    // One output row's column sums before they are divided.
    std::vector<std::uint16_t> sums_;
};

}  // namespace tarn
