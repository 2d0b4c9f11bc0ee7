// The C++ side of feed.Feed: one FeedHandle of the public C interface, the callbacks that
// queue what the library delivers, and the waits Python makes for it. The Python package
// (feed/__init__.py) puts the friendlier interface on top.
//
// Threads. Every method runs on a Python thread holding the GIL; methods that wait (Next,
// Stop, Close) release it while they do. The feed's callbacks run on the engine's threads and
// never touch Python: they only copy into the DeliveryQueue.
#pragma once

#include <feed/feed.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <array>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "DeliveryQueue.h"

namespace feedpy {

// A refusal or failure of the library, raised in Python as feed.FeedError with the library's
// own message (FeedGetErrorText) where it gave one.
class FeedFailure : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One delivered frame for Python: (height, width, 4) uint8, bytes B G R 0 per pixel.
struct VideoFrame {
    pybind11::array array;
    std::int32_t positionMs = 0;
};

// One delivered buffer for Python: (sample frames, channels) little-endian int16.
struct AudioBuffer {
    pybind11::array array;
    std::int32_t positionMs = 0;
    std::int32_t sampleRate = 0;
};

class FeedCore {
  public:
    // A new feed; std::bad_alloc (MemoryError) when the library cannot make one.
    FeedCore();
    // Stops a running session and frees the feed. Called with the GIL held by the Python
    // object's deallocation; keeps it (callbacks never need it), since releasing the GIL while
    // the interpreter shuts down is not safe.
    ~FeedCore();

    // ---- Sources and format: FeedFailure with the library's message when refused.
    std::int32_t AddVideo(const std::string& name, std::int32_t startMs, std::int32_t stopMs,
                          const std::optional<std::array<std::int32_t, 4>>& crop,
                          std::uint32_t barsColour);
    std::int32_t AddAudio(const std::string& name, std::int32_t startMs, std::int32_t stopMs);
    void RemoveSource(std::int32_t id);
    void ClearSources();
    void SetSourceTimes(std::int32_t id, std::int32_t startMs, std::int32_t stopMs);
    std::pair<std::int32_t, std::int32_t> SourceTimes(std::int32_t id);
    void SetVideoSize(std::int32_t width, std::int32_t height);
    void SetFrameRate(double framesPerSecond);
    void SetSampleRate(std::int32_t rate);
    void SetChannels(std::int32_t channels);
    // Fades, clip mode and sync: never refused; fades apply from the next frame or buffer.
    void SetVideoFade(bool fadeIn, std::int32_t fadeInMs, std::uint32_t fadeInColour, bool fadeOut,
                      std::int32_t fadeOutMs, std::uint32_t fadeOutColour);
    void SetAudioFade(bool fadeIn, std::int32_t fadeInMs, bool fadeOut, std::int32_t fadeOutMs);
    void SetClipMode(std::int32_t mode);
    void SetSync(bool enabled);

    // ---- Sessions.
    // Starts a session delivering frames (`video`) and buffers (`audio`) into a queue bounded
    // to maxFrames and maxBuffers. Returns the session's number, which Next and Stop take.
    // FeedFailure while a session runs or when the library refuses.
    std::uint64_t Start(bool video, bool audio, std::size_t maxFrames, std::size_t maxBuffers);
    // The session's next VideoFrame or AudioBuffer, in the order delivered; None once the
    // session has ended, been stopped, or been replaced by a newer one. Waits without the GIL
    // in short slices, running Python's signal handlers between them (so Ctrl-C raises
    // KeyboardInterrupt here). MemoryError when a delivery could not be copied (the session is
    // stopped), FeedFailure when the library hands over a frame or buffer of the wrong size.
    pybind11::object Next(std::uint64_t session);
    void Pause();   // FeedFailure when no session runs
    void Resume();  // FeedFailure when no session is paused
    // Stops `session` (0: whichever runs) and waits until it is torn down; what it had queued
    // is dropped. False when that session is not running. Releases the GIL while it waits.
    bool Stop(std::uint64_t session);
    FeedState State();
    std::int32_t DurationMs();  // -1 while idle or while the session is being built
    std::pair<std::int32_t, std::int32_t> PositionMs();  // video, audio; -1 while idle
    // Why the last session ended (FEED_END_*) and the library's line about it.
    std::pair<std::int32_t, std::string> EndReason();
    // (FEED_OUTCOME_*, stream length in ms or -1, the library's line) of source id in the last
    // session; None when that session did not have it.
    pybind11::object SourceOutcome(std::int32_t id);

    // Stops the session and frees the feed; later calls raise ValueError. Waits, without the
    // GIL, for any Stop running on another thread. A second Close does nothing.
    void Close();
    bool closed() const { return handle_ == nullptr; }
    // In a process forked from the one that made the feed: forgets the feed without freeing it
    // or touching its queue (the engine's threads, and any waits on its locks, stayed in the
    // parent, so freeing it would wait for them for ever). The feed reads as closed.
    void Abandon() {
        handle_ = nullptr;
        active_ = false;
    }

  private:
    FeedHandle handle() const;  // ValueError once closed
    [[noreturn]] void RaiseRefusal(const char* fallback) const;
    pybind11::object MakeItem(DeliveredItem&& item) const;

    // Counts a call that uses the handle with the GIL released, so Close waits for it.
    class HandleUse;

    FeedHandle handle_ = nullptr;  // Python threads, under the GIL
    DeliveryQueue queue_;          // the callbacks' user value: outlives the handle
    std::uint64_t session_ = 0;    // the running or last session's number; under the GIL
    bool active_ = false;          // Start to Stop: the session may be resumed; under the GIL

    std::mutex usesMutex_;
    std::condition_variable usesDone_;
    int uses_ = 0;  // guarded by usesMutex_
};

}  // namespace feedpy
