// The colour description of the video feedcat writes: the YUV matrix it converts with, and the
// primaries, transfer and range it tags the stream with, so players show the hues that were
// delivered. HD pictures (720 lines or more) get BT.709 and smaller ones BT.601, the rule the
// engine reads untagged pictures by, so a file feedcat writes reads back as it was delivered.
#pragma once

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace feedcat {

struct OutputColour {
    AVColorSpace matrix = AVCOL_SPC_UNSPECIFIED;
    AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
    AVColorRange range = AVCOL_RANGE_UNSPECIFIED;
    int swsMatrix = 0;  // the matrix as libswscale names it (SWS_CS_*)
};

// For pictures of this format and this many lines: YUV in limited range (what players assume
// for video); RGB formats are tagged as RGB, full range.
OutputColour ColourFor(AVPixelFormat format, int height);

}  // namespace feedcat
