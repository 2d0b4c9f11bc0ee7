#include "pipeline/Pipeline.h"

#include <utility>

#include "output/VideoEncoder.h"

namespace feedcat {
namespace {

// What the encoder needs to be kept busy (see WorkQueue.h): a few pictures, and audio for the
// library's sync window (200 ms) with room to spare.
constexpr std::size_t kQueuedFrames = 3;
constexpr std::size_t kQueuedBuffers = 50;
// Pictures on their way (queued, held by the interleaver, in the encoder) come back for reuse.
constexpr std::size_t kSparePictures = 8;

}  // namespace

Pipeline::Pipeline()
    : pool_(kSparePictures), queue_(kQueuedFrames, kQueuedBuffers), recorder_(&pool_) {}

Pipeline::~Pipeline() {
    TearDown();
}

bool Pipeline::Open(const RecorderSetup& setup, std::string* error) {
    feed_.reset(FeedCreate());
    if (!feed_) {
        *error = "out of memory";
        return false;
    }
    if (!setup.plan.discard && setup.plan.videoEncoder != nullptr) {
        converter_ =
            std::make_unique<PictureConverter>(EncoderPixelFormat(setup.plan.videoEncoder), &pool_);
    }
    return recorder_.Open(setup, error);
}

bool Pipeline::Start(std::string* error) {
    FeedSetVideoCallback(feed_.get(), OnFrame, this);
    FeedSetAudioCallback(feed_.get(), OnBuffer, this);
    recorder_.Start(&queue_);
    started_ = true;
    if (!FeedStart(feed_.get())) {
        *error = std::string("the session did not start: ") + FeedGetErrorText(feed_.get());
        return false;
    }
    return true;
}

void Pipeline::TearDown() {
    // Destroying the feed joins the session: no callback runs after this.
    feed_.reset();
    queue_.Close();
    recorder_.Join();
}

bool Pipeline::Finish(bool interrupted, std::string* error) {
    if (interrupted) {
        recorder_.MarkInterrupted();
    }
    TearDown();
    return recorder_.Finish(error);
}

intptr_t FEED_CALL Pipeline::OnFrame(void* user, const uint8_t* frame, int32_t length,
                                     int32_t positionMs, int32_t width, int32_t height) {
    auto* pipeline = static_cast<Pipeline*>(user);
    if (frame == nullptr || length <= 0) {
        return reinterpret_cast<intptr_t>(frame);
    }
    MediaItem item;
    item.kind = MediaItem::Kind::kVideo;
    item.positionMs = positionMs;
    item.width = width;
    item.height = height;
    // A null picture for a real output tells the encoder thread that this frame could not be
    // converted.
    const std::int64_t needed = static_cast<std::int64_t>(width) * height * 4;
    if (pipeline->converter_ && width > 0 && height > 0 && length >= needed) {
        item.picture = pipeline->converter_->Convert(frame, width, height);
    }
    pipeline->queue_.Push(std::move(item));
    return reinterpret_cast<intptr_t>(frame);
}

int32_t FEED_CALL Pipeline::OnBuffer(void* user, const uint8_t* buffer, int32_t length,
                                     int32_t positionMs, int32_t bitsPerSample, int32_t sampleRate,
                                     int32_t channels) {
    auto* pipeline = static_cast<Pipeline*>(user);
    if (buffer != nullptr && length > 0 && bitsPerSample == 16) {
        MediaItem item;
        item.kind = MediaItem::Kind::kAudio;
        item.positionMs = positionMs;
        item.sampleRate = sampleRate;
        item.channels = channels;
        item.data.assign(buffer, buffer + length);
        pipeline->queue_.Push(std::move(item));
    }
    return length;
}

}  // namespace feedcat
