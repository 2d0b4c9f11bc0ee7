#include "Recorder.h"

#include <cmath>
#include <vector>

#include "StreamInterleaver.h"

namespace feedcat {

Recorder::~Recorder() {
    Join();
}

bool Recorder::Open(const RecorderSetup& setup, std::string* error) {
    setup_ = setup;
    if (setup.plan.discard) {
        return true;
    }
    if (!output_.Open(setup.plan.muxer, setup.path, error)) {
        return false;
    }
    const bool globalHeader = (setup.plan.muxer->flags & AVFMT_GLOBALHEADER) != 0;
    if (setup.plan.wantsVideo) {
        if (!video_.Open(setup.plan.videoEncoder, setup.width, setup.height, setup.frameRate,
                         globalHeader, error)) {
            return false;
        }
        videoIndex_ = output_.AddStream(video_.context());
    }
    if (setup.plan.wantsAudio) {
        if (!audio_.Open(setup.plan.audioEncoder, setup.sampleRate, setup.channels, globalHeader,
                         error)) {
            return false;
        }
        audioIndex_ = output_.AddStream(audio_.context());
    }
    if ((setup.plan.wantsVideo && videoIndex_ < 0) || (setup.plan.wantsAudio && audioIndex_ < 0)) {
        *error = "cannot add a stream to '" + setup.path + "'";
        return false;
    }
    return output_.WriteHeader(error);
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
    StreamInterleaver interleaver(setup_.bothStreams, 1000.0 / av_q2d(setup_.frameRate));
    std::vector<MediaItem> ready;
    auto handleReady = [&] {
        for (const MediaItem& item : ready) {
            if (!Handle(item)) {
                return false;
            }
        }
        ready.clear();
        return true;
    };
    MediaItem item;
    while (queue->Pop(&item)) {
        interleaver.Add(std::move(item), &ready);
        if (!handleReady()) {
            // Producers must never wait on a consumer that has stopped.
            queue->Abandon();
            return;
        }
    }
    interleaver.Finish(interrupted_.load(std::memory_order_relaxed), &ready);
    handleReady();
}

bool Recorder::Handle(const MediaItem& item) {
    if (item.kind == MediaItem::Kind::kVideo) {
        if (!setup_.plan.wantsVideo) {
            return true;
        }
        const std::int64_t expected = static_cast<std::int64_t>(
            std::llround(item.positionMs * av_q2d(setup_.frameRate) / 1000.0));
        const std::int64_t index = std::max(expected, lastVideoIndex_ + 1);
        lastVideoIndex_ = index;
        if (!setup_.plan.discard) {
            const std::size_t needed =
                static_cast<std::size_t>(item.width) * static_cast<std::size_t>(item.height) * 4;
            if (item.width <= 0 || item.height <= 0 || item.data.size() < needed) {
                Fail("the library delivered a frame of unexpected size");
                return false;
            }
            const PacketSink sink = [this](AVPacket* packet) {
                return output_.WritePacket(packet, video_.context()->time_base, videoIndex_);
            };
            if (!video_.Encode(item.data.data(), item.width, item.height, index, sink)) {
                Fail("encoding or writing video failed");
                return false;
            }
        }
        videoFrames_.fetch_add(1, std::memory_order_relaxed);
        return true;
    }
    if (!setup_.plan.wantsAudio || item.channels <= 0 || item.sampleRate <= 0) {
        return true;
    }
    const std::int32_t sampleFrames =
        static_cast<std::int32_t>(item.data.size() / (2 * static_cast<std::size_t>(item.channels)));
    if (!setup_.plan.discard) {
        if (!audioStarted_) {
            audio_.SetStart(
                std::llround(static_cast<double>(item.positionMs) * setup_.sampleRate / 1000.0));
            audioStarted_ = true;
        }
        const PacketSink sink = [this](AVPacket* packet) {
            return output_.WritePacket(packet, audio_.context()->time_base, audioIndex_);
        };
        if (!audio_.Add(item.data.data(), sampleFrames, item.sampleRate, item.channels, sink)) {
            Fail("encoding or writing audio failed");
            return false;
        }
    }
    audioSamples_.fetch_add(sampleFrames, std::memory_order_relaxed);
    return true;
}

bool Recorder::Finish(std::string* error) {
    Join();
    if (setup_.plan.discard) {
        return !failed();
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
            Fail("writing the output failed");
        }
    }
    // What was written before a failure is still finished into a playable file.
    std::string finishError;
    const bool finished = output_.Finish(delivered, &finishError);
    if (!finished) {
        Fail(finishError);
    }
    if (failed()) {
        *error = failure();
        return false;
    }
    return true;
}

void Recorder::Fail(const std::string& message) {
    std::lock_guard<std::mutex> lock(failureMutex_);
    if (failure_.empty()) {
        failure_ = message;
    }
    failed_.store(true, std::memory_order_release);
}

std::string Recorder::failure() const {
    std::lock_guard<std::mutex> lock(failureMutex_);
    return failure_;
}

}  // namespace feedcat
