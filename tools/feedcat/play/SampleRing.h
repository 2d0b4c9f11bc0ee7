// The sound between the library's audio thread (the one writer) and the audio device's thread
// (the one reader): a fixed ring of interleaved 16-bit sample frames. The writer waits while the
// ring is full, which paces the library's audio to what the device plays; the reader never
// waits, and takes whole sample frames only. Any thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

namespace feedcat {

class SampleRing {
  public:
    // Holds capacityFrames sample frames of frameBytes bytes each.
    SampleRing(std::size_t capacityFrames, std::size_t frameBytes);

    // Copies all of data in, waiting for room as the reader takes some. False once closed
    // (what was not copied is dropped).
    bool Write(const std::uint8_t* data, std::size_t bytes);

    // Copies up to `bytes` (rounded down to whole sample frames) out; returns how many bytes.
    // Never waits.
    std::size_t Read(std::uint8_t* out, std::size_t bytes);

    // Sample frames waiting to be read.
    std::size_t BufferedFrames() const;

    // Wakes a waiting writer; every later Write returns false at once.
    void Close();

  private:
    mutable std::mutex mutex_;
    std::condition_variable room_;
    std::vector<std::uint8_t> ring_;
    const std::size_t frameBytes_;
    std::size_t readAt_ = 0;  // mutex_
    std::size_t filled_ = 0;  // bytes; mutex_
    bool closed_ = false;     // mutex_
};

}  // namespace feedcat
