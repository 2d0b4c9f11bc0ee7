// The default audio device, fed by SDL's audio thread from a ring that the library's audio
// callback fills, and the source of the playback clock: each time the device takes a chunk, the
// clock learns how much of the feed's sound it holds. The library's audio thread waits while
// the ring is full, so the device's pace is the session's pace.
#pragma once

#include <SDL.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "play/PlaybackClock.h"
#include "play/SampleRing.h"

namespace feedcat {

class AudioOutput {
  public:
    explicit AudioOutput(PlaybackClock* clock) : clock_(clock) {}
    ~AudioOutput();
    AudioOutput(const AudioOutput&) = delete;
    AudioOutput& operator=(const AudioOutput&) = delete;

    // Opens the default device for interleaved 16-bit sound at rate and channels (SDL converts
    // when the device wants another format), paused, and sets the clock to follow it. Main
    // thread. False with SDL's reason.
    bool Open(std::int32_t rate, std::int32_t channels, std::string* error);

    bool opened() const { return device_ != 0; }
    std::int32_t rate() const { return rate_; }
    std::int32_t channels() const { return channels_; }
    // How far what the device is handed runs ahead of what is heard, in ms.
    double latencyMs() const { return latencyMs_; }

    // Main thread: the device plays, or holds (a held device takes nothing and plays silence).
    void Hold(bool held);
    // Any thread: the device goes on taking the feed's sound, and plays silence instead.
    void SetMuted(bool muted) { muted_.store(muted, std::memory_order_relaxed); }

    // The library's audio thread: queues a buffer, waiting while the ring is full. False once
    // closed.
    bool Write(const std::uint8_t* data, std::size_t bytes) { return ring_->Write(data, bytes); }

    // The feed's sound not yet taken by the device, in sample frames.
    std::size_t QueuedFrames() const { return ring_ ? ring_->BufferedFrames() : 0; }
    // The feed's sample frames the device has taken so far. Any thread.
    std::int64_t playedFrames() const { return playedFrames_.load(std::memory_order_relaxed); }

    // Main thread: wakes a waiting writer for good, then stops and closes the device.
    void Close();

  private:
    static void SDLCALL OnDeviceWants(void* user, Uint8* stream, int length);

    PlaybackClock* const clock_;
    // Set by Open before the device runs; read-only afterwards.
    std::unique_ptr<SampleRing> ring_;
    SDL_AudioDeviceID device_ = 0;
    std::int32_t rate_ = 0;
    std::int32_t channels_ = 0;
    std::size_t frameBytes_ = 0;
    double latencyMs_ = 0.0;
    bool subsystem_ = false;
    // Written by the main thread, read by SDL's audio thread.
    std::atomic<bool> muted_{false};
    // Written by SDL's audio thread, read by any.
    std::atomic<std::int64_t> playedFrames_{0};
};

}  // namespace feedcat
