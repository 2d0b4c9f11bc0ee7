// The C++ side of feed's readers and probe: one FeedReaderHandle of the public C interface,
// its records as dicts, and its frames and samples as numpy arrays that own their memory. The
// Python package (feed/_reader.py) puts VideoReader, AudioReader and probe() on top.
//
// Threads. Methods run on Python threads holding the GIL; the reading calls let it go while the
// library decodes, holding the reader's own lock instead, so that two Python threads sharing a
// reader take turns rather than entering the library together.
#pragma once

#include <feed/feed.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <mutex>
#include <string>

namespace feedpy {

class ReaderCore {
  public:
    // Opens `name`; raises ReaderFailure (code, text) when the library cannot, MemoryError when
    // it cannot make a reader at all.
    explicit ReaderCore(const std::string& name);
    // Frees the reader, unless it was abandoned.
    ~ReaderCore();
    ReaderCore(const ReaderCore&) = delete;
    ReaderCore& operator=(const ReaderCore&) = delete;

    pybind11::dict MediaInfo();
    pybind11::dict StreamInfo(std::int32_t stream, bool countFrames);
    // (width, height, frame bytes) of the frames read from now on.
    pybind11::tuple SetVideoOutput(std::int32_t width, std::int32_t height, std::int32_t clipMode,
                                   std::uint32_t barColour, std::int32_t pixelFormat, bool planar);
    // (frames, times): a (count, frame bytes) uint8 array in the order asked, and each frame's
    // source time in seconds (float64).
    pybind11::tuple ReadFrames(
        const pybind11::array_t<std::int64_t,
                                pybind11::array::c_style | pybind11::array::forcecast>& indices);
    pybind11::tuple ReadFramesAt(
        const pybind11::array_t<double, pybind11::array::c_style | pybind11::array::forcecast>&
            seconds);
    // (sample rate, channels) of the samples read from now on.
    pybind11::tuple SetAudioOutput(std::int32_t sampleRate, std::int32_t channels);
    // The samples of [start, stop) seconds, (sample frames, channels) little-endian int16.
    pybind11::array ReadAudio(double startSeconds, double stopSeconds);

    // In a process forked from the one that opened it: lets go of the reader without freeing it
    // (its decoder threads stayed in the parent, so freeing it would wait for them for ever).
    void Abandon() { handle_ = nullptr; }
    // Frees the reader now; later calls raise ValueError. Idempotent.
    void Close();

  private:
    // Runs `call` (a library call on the handle, returning 1 or 0) without the GIL and holding
    // the reader's lock; raises ValueError once the reader is closed, and the reader's failure
    // (its code and text, read under the same lock) when the call returns 0.
    template <typename Call>
    void Checked(Call call);
    template <typename Value>
    pybind11::tuple ReadFramesOf(
        const pybind11::array_t<Value, pybind11::array::c_style | pybind11::array::forcecast>&
            wanted);

    FeedReaderHandle handle_ = nullptr;  // changed only under calls_, or with no call running
    std::mutex calls_;                   // held while a call runs in the library
    std::int64_t frameBytes_ = 0;
    std::int32_t channels_ = 0;
};

// Registers ReaderCore as _feed.Reader and the ReaderFailure exception in `module`.
void BindReader(pybind11::module_& module);

}  // namespace feedpy
