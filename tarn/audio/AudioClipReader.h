// AudioClipReader: the samples of one audio clip, decoded from its file and resampled to the
// composite's output format.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace tarn {

struct AudioClipSetup {
    std::string name;              // the file (or "lavfi:..." graph); empty: no media, silence
    std::int64_t sourceStart = 0;  // 100-ns units in the file's own time, may be negative
    // Where the clip starts on its timeline, 100-ns units. Timeline sample n (at the output
    // rate R) plays the source's sample n + round((sourceStart - timelineStart) * R), counted
    // from source time 0: clips of one file that adjoin on the timeline join sample for
    // sample, and each lies within half a sample of its place. The first Read starts at
    // timeline sample round(timelineStart * R).
    std::int64_t timelineStart = 0;
    std::int32_t outputRate = 44100;  // Hz, > 0
    std::int32_t outputChannels = 2;  // 1 to 8
    // Set by another thread when the clip's timeline is stopping: decoding then gives up at
    // the next frame (what is read after that is never heard). Null: never.
    const std::atomic<bool>* stopping = nullptr;
};

class AudioClipReader {
  public:
    // Opens the file lazily on the first Read; a file that cannot be opened reads silence.
    explicit AudioClipReader(AudioClipSetup setup);
    ~AudioClipReader();
    AudioClipReader(const AudioClipReader&) = delete;
    AudioClipReader& operator=(const AudioClipReader&) = delete;

    // Opens the file, seeks and decodes the first buffer's worth of the clip, so that the
    // first Read is quick. Optional: Read does the same when it was not done.
    void Prepare();

    // Writes the next `frames` sample frames of interleaved signed 16-bit samples at the
    // output rate and channel count, continuing where the last call stopped; the first call
    // starts at sourceStart (on the sample its timeline start picks). Mono and multichannel sources
    // are down- or up-mixed. Silence for any part before the start of the file's audio or past its
    // end (the end is where decoding ends). Sample-accurate: the k-th output sample frame is the
    // source's audio at sourceStart + k / outputRate seconds, on the same grid whether the file is
    // decoded from its start or from a seek, so clips of one file that start where another ends
    // continue it sample for sample.
    void Read(std::int16_t* out, std::int64_t frames);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace tarn
