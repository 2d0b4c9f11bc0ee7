// The encoder thread: takes the delivered frames and buffers off the work queue in timeline
// order, times them (video: frame index at the output rate; audio: samples so far), encodes
// them and hands the packets to the muxer. With a "null" output it only counts.
//
// The encoders are opened from the first frame and the first buffer that arrive: their size,
// sample rate and channels are what the library delivers, so whatever the library chose when
// none was asked for is what is written. The file's header follows once every stream it will
// hold has its encoder; what arrives before is held.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "console/SourceWarning.h"
#include "output/AudioEncoder.h"
#include "output/EncoderQuality.h"
#include "output/OutputFile.h"
#include "output/OutputFormat.h"
#include "output/StreamChoice.h"
#include "output/VideoEncoder.h"
#include "pipeline/FramePool.h"
#include "pipeline/WorkQueue.h"

namespace feedcat {

struct RecorderSetup {
    OutputPlan plan;
    std::string path;
    bool replace = true;         // an existing file of that name is replaced (not with -n)
    AVRational frameRate{0, 1};  // the rate the library was asked for
    // The library will deliver both video and audio (sources of both kinds).
    bool bothStreams = false;
    // The frame size asked for (--size), for the warning when it cannot be written as it is;
    // 0 x 0 when the library chooses.
    std::int32_t askedWidth = 0;
    std::int32_t askedHeight = 0;
    QualitySettings quality;
};

class Recorder {
  public:
    // Pictures are given back to pool once encoded.
    explicit Recorder(FramePool* pool) : pool_(pool) {}
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    // Creates the output file and the muxer (no stream yet). Main thread, before the session
    // starts.
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
    // How far the output has got: the shorter stream when it holds both. Any thread.
    std::int64_t EncodedMs() const;
    // The longer stream's length once finished.
    std::int64_t LengthMs() const;
    bool failed() const { return failed_.load(std::memory_order_acquire); }
    std::string failure() const;
    // What each stream was made with, and what the encoder thread warned about. After Join.
    const VideoChoice& videoChoice() const { return videoChoice_; }
    const AudioChoice& audioChoice() const { return audioChoice_; }
    const std::vector<SourceWarning>& warnings() const { return warnings_; }
    // The encoder thread's own CPU time (not its codecs' worker threads), once it has ended.
    std::int64_t ownCpuNs() const { return ownCpuNs_.load(std::memory_order_relaxed); }

  private:
    void Run(WorkQueue* queue);
    void RunQueue(WorkQueue* queue);
    bool Accept(MediaItem item);
    bool OpenEncoderFor(const MediaItem& item);
    bool WriteHeader();
    bool Encode(MediaItem& item);
    bool EncodeVideo(MediaItem& item);
    bool EncodeAudio(const MediaItem& item);
    std::int64_t VideoMs() const;
    std::int64_t AudioMs() const;
    void Fail(const std::string& message);
    void Choose(const MediaItem& item);
    void WarnAboutSize(const MediaItem& item);
    void Warn(const std::string& message);

    FramePool* const pool_;
    // Set by Open; read-only afterwards.
    RecorderSetup setup_;
    // Used by the encoder thread, then by Finish after Join.
    OutputFile output_;
    VideoEncoder video_;
    AudioEncoder audio_;
    int videoIndex_ = -1;
    int audioIndex_ = -1;
    bool audioStarted_ = false;
    bool lateStreamDropped_ = false;
    std::int64_t lastVideoIndex_ = -1;
    std::vector<MediaItem> pending_;  // arrived before the header could be written
    VideoChoice videoChoice_;
    AudioChoice audioChoice_;
    std::vector<SourceWarning> warnings_;
    std::thread thread_;
    // Written by the encoder thread, read by any.
    std::atomic<std::int64_t> videoFrames_{0};
    std::atomic<std::int64_t> audioSamples_{0};
    std::atomic<std::int32_t> audioRate_{0};  // the delivered rate, once a buffer came
    std::atomic<bool> failed_{false};
    std::atomic<std::int64_t> ownCpuNs_{0};
    // Written by the main thread before the queue closes; read by the encoder thread.
    std::atomic<bool> interrupted_{false};
    mutable std::mutex failureMutex_;
    std::string failure_;  // failureMutex_
};

}  // namespace feedcat
