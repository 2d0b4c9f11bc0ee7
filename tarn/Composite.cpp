#include "tarn/Composite.h"

#include <algorithm>

#include "tarn/AudioTimeline.h"
#include "tarn/StreamSource.h"
#include "tarn/VideoTimeline.h"

namespace tarn {

namespace {

// Frames decoded ahead of delivery: enough to hide a slow frame, few enough to stay small.
constexpr std::size_t kVideoQueueDepth = 4;
constexpr std::size_t kAudioQueueDepth = 16;

constexpr std::int32_t kFallbackWidth = 320;
constexpr std::int32_t kFallbackHeight = 240;
constexpr double kFallbackFrameRate = 25.0;
constexpr std::int32_t kFallbackSampleRate = 44100;

}  // namespace

Composite::~Composite() {
    player_.reset();
}

HRESULT Composite::QueryInterface(REFIID iid, void** object) {
    if (object == nullptr) {
        return kInvalidArgument;
    }
    if (iid == kIidUnknown) {
        return Give(static_cast<IMediaSource*>(this), object);
    }
    if (iid == IID_ICompositeEdit) {
        return Give(static_cast<ICompositeEdit*>(this), object);
    }
    if (iid == IID_IAcceptorConnection) {
        return Give(static_cast<IAcceptorConnection*>(this), object);
    }
    return RefuseInterface(object);
}

HRESULT Composite::SetVideoFormat(std::int32_t width, std::int32_t height, double framesPerSecond) {
    std::lock_guard<std::mutex> lock(mutex_);
    videoFormatSet_ = true;
    width_ = width;
    height_ = height;
    frameRate_ = framesPerSecond;
    return kOk;
}

HRESULT Composite::SetAudioFormat(std::int32_t sampleRate, std::int32_t channels) {
    std::lock_guard<std::mutex> lock(mutex_);
    audioFormatSet_ = true;
    sampleRate_ = sampleRate;
    channels_ = channels;
    return kOk;
}

HRESULT Composite::RemoveAllClips() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (player_) {
        return kWrongState;
    }
    clips_.clear();
    firstVideo_ = {};
    firstVideoCrop_ = {-1, -1, -1, -1};
    firstAudio_ = {};
    return kOk;
}

HRESULT Composite::AddClip(IMediaSource* source, const std::int32_t* crop, std::int32_t clipMode,
                           std::int32_t clipParam, std::int64_t sourceStart,
                           std::int64_t sourceStop, std::int64_t timelineStart,
                           std::int64_t timelineStop) {
    return Guarded([&] {
        // Only this engine's sources say which file they play.
        const auto* stream = dynamic_cast<const StreamSource*>(source);
        if (stream == nullptr || timelineStop < timelineStart) {
            return kInvalidArgument;
        }
        ClipData clip;
        clip.name = stream->name();
        if (crop != nullptr) {
            clip.crop = {crop[0], crop[1], crop[2], crop[3]};
        }
        clip.clipMode = clipMode;
        clip.clipParam = clipParam;
        clip.sourceStart = sourceStart;
        clip.sourceStop = sourceStop;
        clip.timelineStart = timelineStart;
        clip.timelineStop = timelineStop;

        std::lock_guard<std::mutex> lock(mutex_);
        if (player_) {
            return kWrongState;
        }
        const media::MediaInfo& info = stream->info();
        if (!firstVideo_.hasVideo && info.hasVideo && stream->kind() == kStreamVideo) {
            firstVideo_ = info;
            firstVideoCrop_ = clip.crop;
        }
        if (!firstAudio_.hasAudio && info.hasAudio && stream->kind() == kStreamAudio) {
            firstAudio_ = info;
        }
        // The clip keeps only the file's name: the file is opened when the clip is due.
        clips_.push_back(std::move(clip));
        return kOk;
    });
}

HRESULT Composite::ConnectAcceptor(IMediaAcceptor* acceptor) {
    auto* callbackAcceptor = dynamic_cast<CallbackAcceptor*>(acceptor);
    if (callbackAcceptor == nullptr) {
        return kInvalidArgument;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (player_) {
        return kWrongState;
    }
    acceptor->AddRef();
    *acceptor_.put() = acceptor;
    callbackAcceptor_ = callbackAcceptor;
    return kOk;
}

std::vector<ClipData> Composite::ClipsInTimelineOrder() const {
    std::vector<ClipData> clips = clips_;
    std::stable_sort(clips.begin(), clips.end(), [](const ClipData& a, const ClipData& b) {
        return a.timelineStart < b.timelineStart;
    });
    return clips;
}

PixelSize Composite::FirstClipShownSize() const {
    const PixelRect whole{0, 0, firstVideo_.storedWidth, firstVideo_.storedHeight};
    const PixelRect crop = ClampedCrop(firstVideoCrop_, whole.width, whole.height);
    if (whole.width <= 0 || whole.height <= 0 ||
        (crop.width == whole.width && crop.height == whole.height)) {
        return PixelSize{firstVideo_.displayWidth, firstVideo_.displayHeight};
    }
    PictureGeometry geometry;
    geometry.sourceWidth = whole.width;
    geometry.sourceHeight = whole.height;
    geometry.sarNum = firstVideo_.sampleAspectNum;
    geometry.sarDen = firstVideo_.sampleAspectDen;
    geometry.rotation = firstVideo_.rotation;
    geometry.crop = firstVideoCrop_;
    return ShownSize(geometry);
}

std::unique_ptr<TimelineProducer> Composite::MakeVideoTimeline() const {
    std::int32_t width = width_;
    std::int32_t height = height_;
    double frameRate = frameRate_;
    if (width == 0 || height == 0) {
        const PixelSize shown = FirstClipShownSize();
        const bool known = shown.width > 0 && shown.height > 0;
        width = width != 0 ? width : (known ? shown.width : kFallbackWidth);
        height = height != 0 ? height : (known ? shown.height : kFallbackHeight);
    }
    if (frameRate == 0.0) {
        frameRate = firstVideo_.frameRate > 0.0 ? firstVideo_.frameRate : kFallbackFrameRate;
    }
    if (width < 1 || height < 1 || width > kMaxDimension || height > kMaxDimension ||
        !(frameRate > 0.0 && frameRate <= kMaxFrameRate)) {
        return nullptr;
    }
    return std::make_unique<VideoTimeline>(ClipsInTimelineOrder(), width, height,
                                           FrameGrid::FromRate(frameRate));
}

std::unique_ptr<TimelineProducer> Composite::MakeAudioTimeline() const {
    std::int32_t rate = sampleRate_;
    if (rate == 0) {
        rate = firstAudio_.sampleRate > 0 ? firstAudio_.sampleRate : kFallbackSampleRate;
    }
    if (rate < 1 || rate > kMaxSampleRate || channels_ < 1 || channels_ > kMaxChannels) {
        return nullptr;
    }
    return std::make_unique<AudioTimeline>(ClipsInTimelineOrder(), rate, channels_);
}

HRESULT Composite::Prepare(void*, std::int32_t streamKind) {
    return Guarded([&] {
        std::lock_guard<std::mutex> lock(mutex_);
        if (player_ || stopped_ || callbackAcceptor_ == nullptr) {
            return kWrongState;
        }
        // The kind must match the format the editor was given.
        std::unique_ptr<TimelineProducer> timeline;
        if (streamKind == kStreamVideo && !audioFormatSet_) {
            timeline = MakeVideoTimeline();
        } else if (streamKind == kStreamAudio && !videoFormatSet_) {
            timeline = MakeAudioTimeline();
        }
        if (!timeline) {
            return kInvalidArgument;
        }
        const std::size_t depth = streamKind == kStreamVideo ? kVideoQueueDepth : kAudioQueueDepth;
        player_ = std::make_unique<CompositePlayer>(std::move(timeline), callbackAcceptor_, depth);
        return kOk;
    });
}

HRESULT Composite::Run() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!player_ || stopped_) {
        return kWrongState;
    }
    player_->Run();
    return kOk;
}

HRESULT Composite::Pause() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!player_ || stopped_) {
        return kWrongState;
    }
    player_->Pause();
    return kOk;
}

HRESULT Composite::Stop() {
    CompositePlayer* player = nullptr;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
        player = player_.get();
    }
    // Joined outside the lock: a callback that is still running may query this composite.
    if (player != nullptr) {
        player->Stop();
    }
    return kOk;
}

HRESULT Composite::GetDuration(std::int64_t* duration) {
    if (duration == nullptr) {
        return kInvalidArgument;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    std::int64_t length = 0;
    for (const ClipData& clip : clips_) {
        length = std::max(length, clip.timelineStop);
    }
    *duration = length;
    return kOk;
}

HRESULT Composite::IsEnded(std::int32_t* ended) {
    if (ended == nullptr) {
        return kInvalidArgument;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    *ended = player_ && player_->Ended() ? 1 : 0;
    return *ended != 0 && player_->Failed() ? kEndedByFailure : kOk;
}

}  // namespace tarn
