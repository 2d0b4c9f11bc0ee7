// VideoClipReader: the pictures of one video clip, decoded from its file and converted to the
// composite's output frames.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/TimeUnits.h"

namespace tarn {

// How a clip's picture is fitted into the output frame.
enum class ClipMode : std::int32_t { Stretch = 0, Fit = 1, Fill = 2 };

struct VideoClipSetup {
    std::string name;              // the file (or "lavfi:..." graph); empty: no media, black frames
    std::int64_t sourceStart = 0;  // 100-ns units in the file's own time, may be negative
    std::int64_t sourceStop = 0;
    // left, top, right, bottom in source pixels (of the decoded picture, before rotation),
    // applied before scaling; all -1 means none; clamped to the picture; empty means none.
    std::array<std::int32_t, 4> crop = {-1, -1, -1, -1};
    ClipMode mode = ClipMode::Stretch;
    std::uint32_t barColour = 0;    // Fit only: bars in pixel layout (0x00RRGGBB for B G R X)
    std::int32_t outputWidth = 0;   // pixels, > 0
    std::int32_t outputHeight = 0;  // pixels, > 0
    // Set by another thread when the clip's timeline is stopping: decoding then gives up at
    // the next frame (what is rendered after that is never shown). Null: never.
    const std::atomic<bool>* stopping = nullptr;
    // On the way from the seek point to sourceStart, frames that nothing refers to are skipped
    // but in this last stretch before it (100-ns units), where the frame shown at sourceStart
    // lies. 0 when sourceStart is the time of the very frame to show.
    std::int64_t fullDecodeBeforeStart = kUnitsPerSecond / 2;
};

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
