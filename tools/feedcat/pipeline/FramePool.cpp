#include "pipeline/FramePool.h"

#include <utility>

#include "media/NewPicture.h"

namespace feedcat {

media::FramePtr FramePool::Take(AVPixelFormat format, int width, int height) {
    media::FramePtr picture;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!spare_.empty()) {
            picture = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    if (picture && picture->format == format && picture->width == width &&
        picture->height == height && av_frame_is_writable(picture.get())) {
        return picture;
    }
    return media::NewPicture(format, width, height);
}

void FramePool::Give(media::FramePtr picture) {
    if (!picture) {
        return;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (spare_.size() < mostSpare_) {
        spare_.push_back(std::move(picture));
    }
}

}  // namespace feedcat
