// Composite: a timeline of clips played as one source. The same object is the editor
// (ICompositeEdit: format and clips), the connection to its acceptor (IAcceptorConnection)
// and the source that plays (IMediaSource). Methods may be called from any thread.
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/EngineRef.h"
#include "media/MediaInput.h"
#include "tarn/CallbackAcceptor.h"
#include "tarn/CompositePlayer.h"
#include "tarn/RefCounted.h"
#include "tarn/TimelineProducer.h"
#include "tarn/video/ClipGeometry.h"

namespace tarn {

class Composite final : public RefCounted<IMediaSource, ICompositeEdit, IAcceptorConnection> {
  public:
    // Limits of a usable format; Prepare fails beyond them.
    static constexpr std::int32_t kMaxDimension = 16384;
    static constexpr double kMaxFrameRate = 1000.0;
    static constexpr std::int32_t kMaxSampleRate = 768000;
    static constexpr std::int32_t kMaxChannels = 8;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;

    HRESULT STDMETHODCALLTYPE Prepare(void* reserved, std::int32_t streamKind) override;
    HRESULT STDMETHODCALLTYPE Run() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE GetDuration(std::int64_t* duration) override;
    HRESULT STDMETHODCALLTYPE Seek(std::int64_t) override { return kNotImplemented; }
    HRESULT STDMETHODCALLTYPE IsEnded(std::int32_t* ended) override;

    HRESULT STDMETHODCALLTYPE SetVideoFormat(std::int32_t width, std::int32_t height,
                                             double framesPerSecond) override;
    HRESULT STDMETHODCALLTYPE SetAudioFormat(std::int32_t sampleRate,
                                             std::int32_t channels) override;
    HRESULT STDMETHODCALLTYPE RemoveAllClips() override;
    HRESULT STDMETHODCALLTYPE AddClip(IMediaSource* source, const std::int32_t* crop,
                                      std::int32_t clipMode, std::int32_t clipParam,
                                      std::int64_t sourceStart, std::int64_t sourceStop,
                                      std::int64_t timelineStart,
                                      std::int64_t timelineStop) override;

    HRESULT STDMETHODCALLTYPE ConnectAcceptor(IMediaAcceptor* acceptor) override;

  private:
    ~Composite() override;

    // The first video clip's picture as shown (after its crop and rotation): the frame size
    // when none is set. 0 x 0 when no clip has video.
    PixelSize FirstClipShownSize() const;
    std::unique_ptr<TimelineProducer> MakeVideoTimeline() const;
    std::unique_ptr<TimelineProducer> MakeAudioTimeline() const;
    std::vector<ClipData> ClipsInTimelineOrder() const;

    std::mutex mutex_;
    bool videoFormatSet_ = false;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    double frameRate_ = 0.0;
    bool audioFormatSet_ = false;
    std::int32_t sampleRate_ = 0;
    std::int32_t channels_ = 2;
    std::vector<ClipData> clips_;
    // The first clips' own formats, for a format left at 0, and the first video clip's crop.
    media::MediaInfo firstVideo_;
    std::array<std::int32_t, 4> firstVideoCrop_ = {-1, -1, -1, -1};
    media::MediaInfo firstAudio_;
    EngineRef<IMediaAcceptor> acceptor_;
    CallbackAcceptor* callbackAcceptor_ = nullptr;
    std::unique_ptr<CompositePlayer> player_;
    bool stopped_ = false;
};

}  // namespace tarn
