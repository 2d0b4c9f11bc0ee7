#include "pipeline/Recorder.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "console/Log.h"
#include "console/ThreadCost.h"
#include "output/PictureConverter.h"
#include "output/StreamInterleaver.h"

extern "C" {
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
}

namespace feedcat {
namespace {

// Held while the other stream's first item is awaited; past this the header is written with
// the streams that have come (the library pads both timelines, so this is a safety net).
constexpr std::size_t kMostPendingFrames = 16;
constexpr std::size_t kMostPendingBuffers = 400;  // 4 s of 10 ms buffers

constexpr char kUnconverted[] =
    "a delivered frame could not be converted (its size is not what it says, or out of memory)";

}  // namespace

Recorder::~Recorder() {
    Join();
}

bool Recorder::Open(const RecorderSetup& setup, std::string* error) {
    setup_ = setup;
    if (setup.plan.discard) {
        return true;
    }
    return output_.Open(setup.plan.muxer, setup.path, setup.replace, error);
}

void Recorder::Start(WorkQueue* queue) {
    thread_ = std::thread([this, queue] { Run(queue); });
}

void Recorder::Join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void Recorder::Run(WorkQueue* queue) {
    NameThisThread("fc-encoder");
    RunQueue(queue);
    ownCpuNs_.store(ThisThreadCpuNs(), std::memory_order_relaxed);
}

void Recorder::RunQueue(WorkQueue* queue) {
    StreamInterleaver interleaver(setup_.bothStreams, 1000.0 / av_q2d(setup_.frameRate));
    std::vector<MediaItem> ready;
    auto acceptReady = [&] {
        for (MediaItem& item : ready) {
            if (!Accept(std::move(item))) {
                return false;
            }
        }
        ready.clear();
        return true;
    };
    MediaItem item;
    while (queue->Pop(&item)) {
        interleaver.Add(std::move(item), &ready);
        if (!acceptReady()) {
            // Producers must never wait on a consumer that has stopped.
            queue->Abandon();
            return;
        }
    }
    interleaver.Finish(interrupted_.load(std::memory_order_relaxed), &ready);
    acceptReady();
}

bool Recorder::Accept(MediaItem item) {
    const bool video = item.kind == MediaItem::Kind::kVideo;
    if ((video && !setup_.plan.wantsVideo) ||
        (!video && (!setup_.plan.wantsAudio || item.channels <= 0 || item.sampleRate <= 0))) {
        return true;
    }
    if (!video) {
        audioRate_.store(item.sampleRate, std::memory_order_relaxed);
    }
    Choose(item);
    if (setup_.plan.discard) {
        if (video) {
            videoFrames_.fetch_add(1, std::memory_order_relaxed);
        } else {
            audioSamples_.fetch_add(
                static_cast<std::int64_t>(item.data.size()) / (2 * item.channels),
                std::memory_order_relaxed);
        }
        return true;
    }
    if (output_.headerWritten()) {
        return Encode(item);
    }
    if (!OpenEncoderFor(item)) {
        return false;
    }
    pending_.push_back(std::move(item));
    const auto frames = static_cast<std::size_t>(
        std::count_if(pending_.begin(), pending_.end(),
                      [](const MediaItem& held) { return held.kind == MediaItem::Kind::kVideo; }));
    const bool allOpen = (!setup_.plan.wantsVideo || video_.opened()) &&
                         (!setup_.plan.wantsAudio || audio_.opened());
    const bool tooMany =
        frames > kMostPendingFrames || pending_.size() - frames > kMostPendingBuffers;
    if (!allOpen && !tooMany) {
        return true;
    }
    return WriteHeader();
}

void Recorder::Choose(const MediaItem& item) {
    const bool video = item.kind == MediaItem::Kind::kVideo;
    if (video && !videoChoice_.present) {
        videoChoice_.present = true;
        videoChoice_.width = item.width;
        videoChoice_.height = item.height;
        videoChoice_.rateNum = setup_.frameRate.num;
        videoChoice_.rateDen = setup_.frameRate.den;
        videoChoice_.pixelFormat = "bgr0";  // as delivered, unless an encoder takes it below
    } else if (!video && !audioChoice_.present) {
        audioChoice_.present = true;
        audioChoice_.sampleRate = item.sampleRate;
        audioChoice_.channels = item.channels;
        audioChoice_.sampleFormat = "s16";
    }
}

// The size asked for (or else delivered) when it is not what is written: the library keeps
// frame widths even, and 4:2:0 pictures need even heights too.
void Recorder::WarnAboutSize(const MediaItem& item) {
    const AVCodecContext* encoder = video_.context();
    const bool asked = setup_.askedWidth > 0 && setup_.askedHeight > 0;
    const int width = asked ? setup_.askedWidth : item.width;
    const int height = asked ? setup_.askedHeight : item.height;
    if (width == encoder->width && height == encoder->height) {
        return;
    }
    std::string why;
    if (item.width != width) {
        why = "the library keeps frame widths even";
    }
    if (item.width != encoder->width || item.height != encoder->height) {
        why += (why.empty() ? "" : ", and ") + videoChoice_.pixelFormat + " needs even sides";
    }
    Warn("the video is written at " + std::to_string(encoder->width) + "x" +
         std::to_string(encoder->height) + ", not " + std::to_string(width) + "x" +
         std::to_string(height) + ": " + why);
}

void Recorder::Warn(const std::string& message) {
    LogWarning(message);
    warnings_.push_back(SourceWarning{"", message});
}

bool Recorder::OpenEncoderFor(const MediaItem& item) {
    const bool globalHeader = (setup_.plan.muxer->flags & AVFMT_GLOBALHEADER) != 0;
    std::string error;
    if (item.kind == MediaItem::Kind::kVideo && !video_.opened()) {
        if (!item.picture) {
            Fail(kUnconverted);
            return false;
        }
        // The encoder's own worker threads (libx264 makes several) carry this name.
        const NameForNewThreads workers("fc-video-codec");
        const OutputColour colour =
            ColourFor(static_cast<AVPixelFormat>(item.picture->format), item.picture->height);
        if (!video_.Open(setup_.plan.videoEncoder, item.picture->width, item.picture->height,
                         setup_.frameRate, colour, setup_.quality, globalHeader, &error)) {
            Fail(error);
            return false;
        }
        const AVCodecContext* encoder = video_.context();
        videoChoice_.encoder = encoder->codec->name;
        videoChoice_.width = encoder->width;
        videoChoice_.height = encoder->height;
        videoChoice_.pixelFormat = av_get_pix_fmt_name(encoder->pix_fmt);
        WarnAboutSize(item);
    } else if (item.kind == MediaItem::Kind::kAudio && !audio_.opened()) {
        const NameForNewThreads workers("fc-audio-codec");
        if (!audio_.Open(setup_.plan.audioEncoder, item.sampleRate, item.channels, setup_.quality,
                         globalHeader, &error)) {
            Fail(error);
            return false;
        }
        const AVCodecContext* encoder = audio_.context();
        audioChoice_.encoder = encoder->codec->name;
        audioChoice_.sampleRate = encoder->sample_rate;
        audioChoice_.channels = encoder->ch_layout.nb_channels;
        audioChoice_.sampleFormat = av_get_sample_fmt_name(encoder->sample_fmt);
    }
    return true;
}

bool Recorder::WriteHeader() {
    if (video_.opened()) {
        videoIndex_ = output_.AddStream(video_.context());
    }
    if (audio_.opened()) {
        audioIndex_ = output_.AddStream(audio_.context());
    }
    std::string error;
    if ((video_.opened() && videoIndex_ < 0) || (audio_.opened() && audioIndex_ < 0)) {
        Fail("cannot add a stream to '" + setup_.path + "'");
        return false;
    }
    if (!output_.WriteHeader(setup_.plan.indexFirst, &error)) {
        Fail(error);
        return false;
    }
    std::vector<MediaItem> held = std::move(pending_);
    pending_.clear();
    for (MediaItem& item : held) {
        if (!Encode(item)) {
            return false;
        }
    }
    return true;
}

bool Recorder::Encode(MediaItem& item) {
    const bool video = item.kind == MediaItem::Kind::kVideo;
    if ((video && videoIndex_ < 0) || (!video && audioIndex_ < 0)) {
        // This stream's first item came after the header was written without it.
        if (!lateStreamDropped_) {
            LogWarning(std::string("the library delivered no ") + (video ? "video" : "audio") +
                       " before the file was started: '" + setup_.path + "' holds none");
            lateStreamDropped_ = true;
        }
        return true;
    }
    return video ? EncodeVideo(item) : EncodeAudio(item);
}

bool Recorder::EncodeVideo(MediaItem& item) {
    const std::int64_t expected = static_cast<std::int64_t>(
        std::llround(item.positionMs * av_q2d(setup_.frameRate) / 1000.0));
    const std::int64_t index = std::max(expected, lastVideoIndex_ + 1);
    lastVideoIndex_ = index;
    const AVCodecContext* encoder = video_.context();
    if (!item.picture || item.picture->width != encoder->width ||
        item.picture->height != encoder->height) {
        Fail(item.picture ? "the library delivered a frame of unexpected size" : kUnconverted);
        return false;
    }
    const PacketSink sink = [this](AVPacket* packet) {
        return output_.WritePacket(packet, video_.context()->time_base, videoIndex_);
    };
    if (!video_.Encode(item.picture.get(), index, sink)) {
        Fail(!output_.failure().empty() ? output_.failure() : video_.failure());
        return false;
    }
    pool_->Give(std::move(item.picture));
    videoFrames_.fetch_add(1, std::memory_order_relaxed);
    return true;
}

bool Recorder::EncodeAudio(const MediaItem& item) {
    const std::int32_t sampleFrames =
        static_cast<std::int32_t>(item.data.size() / (2 * static_cast<std::size_t>(item.channels)));
    if (!audioStarted_) {
        audio_.SetStartMs(item.positionMs);
        audioStarted_ = true;
    }
    const PacketSink sink = [this](AVPacket* packet) {
        return output_.WritePacket(packet, audio_.context()->time_base, audioIndex_);
    };
    if (!audio_.Add(item.data.data(), sampleFrames, item.sampleRate, item.channels, sink)) {
        Fail(!output_.failure().empty() ? output_.failure() : audio_.failure());
        return false;
    }
    audioSamples_.fetch_add(sampleFrames, std::memory_order_relaxed);
    return true;
}

bool Recorder::Finish(std::string* error) {
    Join();
    if (setup_.plan.discard) {
        return !failed();
    }
    // A run that ended before every stream came still writes the streams that did.
    if (!failed() && !output_.headerWritten() && !pending_.empty()) {
        WriteHeader();
    }
    const bool delivered = videoFrames() > 0 || audioSamples() > 0;
    bool ok = !failed();
    if (ok && delivered) {
        if (videoIndex_ >= 0) {
            ok = video_.Flush([this](AVPacket* packet) {
                return output_.WritePacket(packet, video_.context()->time_base, videoIndex_);
            });
        }
        if (ok && audioIndex_ >= 0) {
            ok = audio_.Flush([this](AVPacket* packet) {
                return output_.WritePacket(packet, audio_.context()->time_base, audioIndex_);
            });
        }
        if (!ok) {
            Fail(!output_.failure().empty() ? output_.failure() : "writing the output failed");
        }
    }
    // What was written before a failure is still finished into a playable file.
    std::string finishError;
    if (!output_.Finish(delivered, &finishError)) {
        Fail(finishError);
    }
    if (failed()) {
        *error = failure();
        return false;
    }
    return true;
}

std::int64_t Recorder::VideoMs() const {
    return static_cast<std::int64_t>(
        std::llround(videoFrames() * 1000.0 / av_q2d(setup_.frameRate)));
}

std::int64_t Recorder::AudioMs() const {
    const std::int32_t rate = audioRate_.load(std::memory_order_relaxed);
    return rate > 0 ? audioSamples() * 1000 / rate : 0;
}

std::int64_t Recorder::EncodedMs() const {
    if (setup_.plan.wantsVideo && setup_.plan.wantsAudio) {
        return std::min(VideoMs(), AudioMs());
    }
    return std::max(VideoMs(), AudioMs());
}

std::int64_t Recorder::LengthMs() const {
    return std::max(VideoMs(), AudioMs());
}

void Recorder::Fail(const std::string& message) {
    std::lock_guard<std::mutex> lock(failureMutex_);
    if (failure_.empty()) {
        failure_ = message.empty() ? "encoding or writing failed" : message;
    }
    failed_.store(true, std::memory_order_release);
}

std::string Recorder::failure() const {
    std::lock_guard<std::mutex> lock(failureMutex_);
    return failure_;
}

}  // namespace feedcat
