// How a decoded YUV picture's colours are to be read, as libswscale names the matrices.
#pragma once

struct AVFrame;

namespace media {

// The picture's YUV matrix (an SWS_CS_* value): its tag, or for an untagged picture BT.709 from
// 720 lines up and BT.601 below, as players do.
int SwsMatrixOf(const AVFrame* picture);

}  // namespace media
