// Pictures in the encoder's format, reused: the frame callback takes one to convert into, the
// encoder thread gives it back once the encoder is done with it, so a long run allocates a
// handful of pictures rather than one per frame. Any thread.
#pragma once

#include <cstddef>
#include <mutex>
#include <vector>

#include "media/FFmpegHolders.h"

namespace feedcat {

class FramePool {
  public:
    // Keeps at most mostSpare pictures for reuse.
    explicit FramePool(std::size_t mostSpare) : mostSpare_(mostSpare) {}

    // A writable picture of this format and size (a spare one, or a new one); null when out
    // of memory.
    media::FramePtr Take(AVPixelFormat format, int width, int height);

    // Takes back a picture; it is reused only once nothing else holds its buffers.
    void Give(media::FramePtr picture);

  private:
    std::mutex mutex_;
    std::vector<media::FramePtr> spare_;  // mutex_
    const std::size_t mostSpare_;
};

}  // namespace feedcat
