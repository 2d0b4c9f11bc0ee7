// The encoder thread: takes the copies of delivered frames and buffers off the work queue,
// times them (video: frame index at the output rate; audio: samples so far), encodes them and
// hands the packets to the muxer. With a "null" output it only counts.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "AudioEncoder.h"
#include "OutputFile.h"
#include "OutputFormat.h"
#include "VideoEncoder.h"
#include "WorkQueue.h"

namespace feedcat {

struct RecorderSetup {
    OutputPlan plan;
    std::string path;
    std::int32_t width = 320;
    std::int32_t height = 240;
    AVRational frameRate{25, 1};
    std::int32_t sampleRate = 44100;
    std::int32_t channels = 2;
    // The library will deliver both video and audio (sources of both kinds).
    bool bothStreams = false;
};

class Recorder {
  public:
    Recorder() = default;
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Creates the output, opens the encoders and writes the header. Main thread, first.
    bool Open(const RecorderSetup& setup, std::string* error);

    // Starts the encoder thread on queue.
    void Start(WorkQueue* queue);

    // The run was cut short (a signal): both streams are to end where the shorter one does.
    // Before the queue is closed.
    void MarkInterrupted() { interrupted_.store(true, std::memory_order_relaxed); }

    // Waits for the thread (after the queue was closed or abandoned).
    void Join();

    // After Join: drains the encoders and writes the trailer. The file is kept when anything
    // was delivered; otherwise it is removed. False (with error) when writing failed.
    bool Finish(std::string* error);

    std::int64_t videoFrames() const { return videoFrames_.load(std::memory_order_relaxed); }
    std::int64_t audioSamples() const { return audioSamples_.load(std::memory_order_relaxed); }
    bool failed() const { return failed_.load(std::memory_order_acquire); }
    std::string failure() const;

  private:
    void Run(WorkQueue* queue);
    bool Handle(const MediaItem& item);
    void Fail(const std::string& message);

    RecorderSetup setup_;
    OutputFile output_;
    VideoEncoder video_;
    AudioEncoder audio_;
    int videoIndex_ = -1;
    int audioIndex_ = -1;
    bool audioStarted_ = false;
    std::int64_t lastVideoIndex_ = -1;
    std::thread thread_;
    std::atomic<std::int64_t> videoFrames_{0};
    std::atomic<std::int64_t> audioSamples_{0};
    std::atomic<bool> failed_{false};
    std::atomic<bool> interrupted_{false};
    mutable std::mutex failureMutex_;
    std::string failure_;
};

}  // namespace feedcat
