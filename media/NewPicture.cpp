#include "media/NewPicture.h"

namespace media {

FramePtr NewPicture(AVPixelFormat format, int width, int height, int alignment) {
    FramePtr picture(av_frame_alloc());
    if (!picture) {
        return nullptr;
    }
    picture->format = format;
    picture->width = width;
    picture->height = height;
    if (av_frame_get_buffer(picture.get(), alignment) < 0) {
        return nullptr;
    }
    return picture;
}

}  // namespace media
