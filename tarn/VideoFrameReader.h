// VideoFrameReader: any frames of a file's video stream, by presentation index, drawn by a
// video clip reader (the same decoding, frame choice and picture fitting as a composite's
// clips) and written in the reader's pixel format. A batch is decoded in one forward pass:
// its frames in presentation order, the decoder kept from one to the next, and a seek only
// where a keyframe lies between the frame decoded last and the next one wanted. Calls may
// come in any order; a call that asks for frames after the last one continues from there.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/MediaReader.h"
#include "tarn/FrameBytes.h"
#include "tarn/FrameTable.h"
#include "tarn/video/VideoClipReader.h"

namespace tarn {

struct VideoFrameSetup {
    std::string name;
    const FrameTable* table = nullptr;  // of the stream read, outlives the reader
    std::int64_t origin = 0;            // source time 0 on the stream's clock, 100-ns units
    ClipMode mode = ClipMode::Stretch;
    std::uint32_t barColour = 0;
    std::int32_t width = 0;  // output pixels, > 0
    std::int32_t height = 0;
    MediaPixelFormat format = kPixelBgrx;
    bool planar = false;
};

class VideoFrameReader {
  public:
    explicit VideoFrameReader(VideoFrameSetup setup);
    ~VideoFrameReader();
    VideoFrameReader(const VideoFrameReader&) = delete;
    VideoFrameReader& operator=(const VideoFrameReader&) = delete;

    std::int64_t frameBytes() const { return frameBytes_; }

    // Writes frames[0..count) (table indices, each valid) into `out`, frameBytes() apart, in
    // the order given. Asking for one frame twice decodes it once.
    void Read(const std::int64_t* frames, std::int32_t count, std::uint8_t* out);

    // Seeks made so far, each to the keyframe before a frame.
    std::int64_t seeks() const { return seeks_; }

  private:
    // Draws table frame `frame` into `out`.
    void Draw(std::int64_t frame, std::uint8_t* out);

    VideoFrameSetup setup_;
    std::int64_t frameBytes_ = 0;
    std::unique_ptr<VideoClipReader> clip_;  // null until the first frame, and after a failure
    std::int64_t lastFrame_ = -1;            // drawn last by clip_
    FrameBytes drawn_;                       // B G R X, when the format needs packing
    std::int64_t seeks_ = 0;
};

}  // namespace tarn
