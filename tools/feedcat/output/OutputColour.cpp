#include "output/OutputColour.h"

extern "C" {
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

namespace feedcat {

OutputColour ColourFor(AVPixelFormat format, int height) {
    OutputColour colour;
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    if (descriptor != nullptr && (descriptor->flags & AV_PIX_FMT_FLAG_RGB) != 0) {
        colour.matrix = AVCOL_SPC_RGB;
        colour.range = AVCOL_RANGE_JPEG;
        colour.swsMatrix = SWS_CS_DEFAULT;
        return colour;
    }
    colour.range = AVCOL_RANGE_MPEG;
    if (height >= 720) {
        colour.matrix = AVCOL_SPC_BT709;
        colour.primaries = AVCOL_PRI_BT709;
        colour.transfer = AVCOL_TRC_BT709;
        colour.swsMatrix = SWS_CS_ITU709;
    } else {
        // SMPTE 170M: BT.601's matrix with the primaries and transfer of today's SD video.
        colour.matrix = AVCOL_SPC_SMPTE170M;
        colour.primaries = AVCOL_PRI_SMPTE170M;
        colour.transfer = AVCOL_TRC_SMPTE170M;
        colour.swsMatrix = SWS_CS_SMPTE170M;
    }
    return colour;
}

}  // namespace feedcat
