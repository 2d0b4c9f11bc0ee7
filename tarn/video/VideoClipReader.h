// VideoClipReader: the pictures of one video clip, decoded from its file and converted to the
// composite's output frames.
#pragma once

#include <cstdint>
#include <memory>

#include "tarn/video/VideoClipSetup.h"

namespace tarn {

class VideoClipReader {
  public:
    // Opens the file lazily on the first Render; a file that cannot be opened renders black.
    explicit VideoClipReader(VideoClipSetup setup);
    ~VideoClipReader();
    VideoClipReader(const VideoClipReader&) = delete;
    VideoClipReader& operator=(const VideoClipReader&) = delete;

    // Opens the file, seeks and decodes up to the clip's in point, so that the first Render
    // at sourceStart is quick. Optional: Render does the same when it was not done.
    void Prepare();

    // Writes the output frame for source time `sourceTime` (100-ns units, the file's own time)
    // into frame: outputWidth x outputHeight pixels of 4 bytes B G R X, rows top-down, no
    // padding. It shows the latest decoded source frame whose time is at or before sourceTime
    // (by the stream's own timestamps, so variable frame rates land right), upright (rotation
    // metadata applied) and at its display aspect; black before the first frame of the file
    // and after its last one. Calls come with non-decreasing sourceTime; the reader seeks once
    // (to the keyframe before sourceStart) and decodes forward.
    void Render(std::int64_t sourceTime, std::uint8_t* frame);

    // Moves the in point to sourceStart (100-ns units), keeping the file and its decoder: the
    // next Render seeks and decodes as after opening. For readers that jump about one file.
    // False, with nothing changed, where that cannot be done (a still picture, an input that
    // cannot seek, nothing opened yet): a new reader is needed.
    bool MoveTo(std::int64_t sourceStart);

    // From now on, frames that nothing refers to and that lie before sourceTime (100-ns units)
    // are skipped, as on the way to the in point: for a reader that knows the next time it asks
    // for is the time of the very frame to show.
    void SkipUnreferencedBefore(std::int64_t sourceTime);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace tarn
