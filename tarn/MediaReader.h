// MediaReader: the engine's IMediaReader. It opens a file once to describe it, keeps the
// description, and reads frames and samples through the clip readers (VideoFrameReader,
// AudioClipReader), which open the file again as they need it. Used by one thread at a time.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/MediaReader.h"
#include "tarn/FrameTable.h"
#include "tarn/RefCounted.h"
#include "tarn/VideoFrameReader.h"
#include "tarn/audio/AudioClipReader.h"

namespace tarn {

class MediaReader final : public RefCounted<IMediaReader> {
  public:
    MediaReader() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    HRESULT STDMETHODCALLTYPE Open(const char* fileName) override;
    const char* STDMETHODCALLTYPE GetErrorText() override { return error_.c_str(); }
    HRESULT STDMETHODCALLTYPE GetFileInfo(MediaFileRecord* file) override;
    HRESULT STDMETHODCALLTYPE GetStreamInfo(std::int32_t stream, std::int32_t countFrames,
                                            MediaStreamRecord* info) override;
    HRESULT STDMETHODCALLTYPE SetVideoOutput(VideoOutputRecord* output) override;
    HRESULT STDMETHODCALLTYPE ReadFrames(const std::int64_t* indices, const double* times,
                                         std::int32_t count, std::uint8_t* frames,
                                         std::int64_t bytes, double* frameTimes) override;
    HRESULT STDMETHODCALLTYPE SetAudioOutput(AudioOutputRecord* output) override;
    HRESULT STDMETHODCALLTYPE ReadAudio(double start, double stop, std::int16_t* samples,
                                        std::int64_t bytes, std::int64_t* frameCount) override;

  private:
    ~MediaReader() override;

    // Each method's body runs through Run: it clears the last failure, and a failure the body
    // returns (or memory running out) leaves its text.
    template <typename Body>
    HRESULT Run(Body body);
    HRESULT Fail(HRESULT status, std::string text);
    HRESULT OpenFile(const std::string& name);
    // The frame table of a video stream, read on first use; null (with the failure set) when
    // it cannot be read.
    const FrameTable* TableOf(std::int32_t stream);
    // The video output's frame table with at least one frame, or a failure.
    HRESULT ReadyToRead(const FrameTable** table);
    HRESULT FramesAtTimes(const FrameTable& table, const double* times, std::int32_t count,
                          std::vector<std::int64_t>* frames);
    double SecondsOf(const FrameTable& table, std::int64_t timestamp) const;

    std::string error_;
    bool opened_ = false;
    std::string name_;
    MediaFileRecord file_{};
    std::vector<MediaStreamRecord> streams_;
    std::int64_t origin_ = 0;  // source time 0 on the file's clock, 100-ns units
    std::map<std::int32_t, std::unique_ptr<FrameTable>> tables_;

    VideoOutputRecord videoOutput_{};
    bool hasVideoOutput_ = false;
    std::unique_ptr<VideoFrameReader> video_;

    AudioOutputRecord audioOutput_{};
    bool hasAudioOutput_ = false;
    std::unique_ptr<AudioClipReader> audio_;
    std::int64_t audioPosition_ = 0;  // output sample frame audio_ reads next
};

}  // namespace tarn
