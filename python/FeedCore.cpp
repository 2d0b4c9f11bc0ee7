#include "FeedCore.h"

#include <pybind11/numpy.h>

#include <chrono>
#include <new>
#include <string>

namespace py = pybind11;

namespace feedpy {
namespace {

// How long Next waits for an item before it looks at the session's state and runs Python's
// signal handlers: the delay of a Ctrl-C, and the most added to noticing a session's end.
constexpr std::chrono::milliseconds kWaitSlice{20};

// The callbacks: engine threads, no GIL. `user` is the FeedCore's queue, which outlives the
// feed handle, and FeedStop/FeedDestroy return only once no callback can run.
intptr_t FEED_CALL OnFrame(void* user, const uint8_t* frame, int32_t length, int32_t positionMs,
                           int32_t width, int32_t height) {
    static_cast<DeliveryQueue*>(user)->PushFrame(frame, length, positionMs, width, height);
    return reinterpret_cast<intptr_t>(frame);
}

int32_t FEED_CALL OnBuffer(void* user, const uint8_t* buffer, int32_t length, int32_t positionMs,
                           int32_t bitsPerSample, int32_t sampleRate, int32_t channels) {
    static_cast<DeliveryQueue*>(user)->PushBuffer(buffer, length, positionMs, bitsPerSample,
                                                  sampleRate, channels);
    return 0;
}

// A numpy array that owns `data` (no copy): the array's base is a capsule holding the block,
// which goes back to its pool when numpy frees the array.
py::array WrapBlock(Buffer&& data, const py::dtype& type, std::vector<py::ssize_t> shape,
                    std::vector<py::ssize_t> strides) {
    auto* owned = new Buffer(std::move(data));
    // The capsule frees `owned` even when making it or the array fails.
    py::capsule base(owned, [](void* block) { delete static_cast<Buffer*>(block); });
    return py::array(type, std::move(shape), std::move(strides), owned->data(), base);
}

}  // namespace

class FeedCore::HandleUse {
  public:
    explicit HandleUse(FeedCore& core) : core_(core) {
        const std::lock_guard<std::mutex> lock(core_.usesMutex_);
        ++core_.uses_;
    }
    ~HandleUse() {
        const std::lock_guard<std::mutex> lock(core_.usesMutex_);
        if (--core_.uses_ == 0) {
            core_.usesDone_.notify_all();
        }
    }
    HandleUse(const HandleUse&) = delete;
    HandleUse& operator=(const HandleUse&) = delete;

  private:
    FeedCore& core_;
};

FeedCore::FeedCore() : handle_(FeedCreate()) {
    if (handle_ == nullptr) {
        throw std::bad_alloc();
    }
}

FeedCore::~FeedCore() {
    if (handle_ != nullptr) {
        // No other thread can be inside a method: each holds a reference to the object.
        queue_.Close();  // a callback waiting for room returns, so the stop is not held up
        FeedDestroy(std::exchange(handle_, nullptr));
    }
}

FeedHandle FeedCore::handle() const {
    if (handle_ == nullptr) {
        throw py::value_error("the feed is closed");
    }
    return handle_;
}

void FeedCore::RaiseRefusal(const char* fallback) const {
    // The text is static in the library and read right after the refused call, under the GIL,
    // so no other call of this module can have changed it meanwhile.
    const char* text = FeedGetErrorCode(handle_) != 0 ? FeedGetErrorText(handle_) : "";
    throw FeedFailure(text != nullptr && text[0] != '\0' ? text : fallback);
}

// ---- Sources and format ------------------------------------------------------------------

std::int32_t FeedCore::AddVideo(const std::string& name, std::int32_t startMs, std::int32_t stopMs,
                                const std::optional<std::array<std::int32_t, 4>>& crop,
                                std::uint32_t barsColour) {
    const FeedHandle feed = handle();
    const std::int32_t id =
        crop ? FeedAddVideoSourceEx(feed, name.c_str(), crop->data(),
                                    static_cast<std::int32_t>(barsColour), startMs, stopMs)
             : FeedAddVideoSourceEx(feed, name.c_str(), nullptr,
                                    static_cast<std::int32_t>(barsColour), startMs, stopMs);
    if (id < 0) {
        RaiseRefusal("the video source was refused");
    }
    return id;
}

std::int32_t FeedCore::AddAudio(const std::string& name, std::int32_t startMs,
                                std::int32_t stopMs) {
    const std::int32_t id = FeedAddAudioSource(handle(), name.c_str(), startMs, stopMs);
    if (id < 0) {
        RaiseRefusal("the audio source was refused");
    }
    return id;
}

void FeedCore::RemoveSource(std::int32_t id) {
    if (FeedRemoveSource(handle(), id) == 0) {
        RaiseRefusal("the source could not be removed");
    }
}

void FeedCore::ClearSources() {
    if (FeedClearSources(handle()) == 0) {
        RaiseRefusal("the sources could not be cleared");
    }
}

void FeedCore::SetSourceTimes(std::int32_t id, std::int32_t startMs, std::int32_t stopMs) {
    if (FeedSetSourceTimes(handle(), id, startMs, stopMs) == 0) {
        RaiseRefusal("the source's times were refused");
    }
}

std::pair<std::int32_t, std::int32_t> FeedCore::SourceTimes(std::int32_t id) {
    std::int32_t startMs = 0;
    std::int32_t stopMs = 0;
    if (FeedGetSourceTimes(handle(), id, &startMs, &stopMs) == 0) {
        RaiseRefusal("the source's times could not be read");
    }
    return {startMs, stopMs};
}

void FeedCore::SetVideoSize(std::int32_t width, std::int32_t height) {
    if (FeedSetVideoSize(handle(), width, height) == 0) {
        RaiseRefusal("the frame size was refused");
    }
}

void FeedCore::SetFrameRate(double framesPerSecond) {
    const FeedHandle feed = handle();
    if (!(framesPerSecond >= 0.0)) {
        // The library refuses this without a report; its last message would mislead.
        throw FeedFailure("the frame rate must be 0 or more");
    }
    if (FeedSetFrameRate(feed, framesPerSecond) == 0) {
        RaiseRefusal("the frame rate was refused");
    }
}

void FeedCore::SetSampleRate(std::int32_t rate) {
    if (FeedSetAudioSampleRate(handle(), rate) == 0) {
        RaiseRefusal("the sample rate was refused");
    }
}

void FeedCore::SetChannels(std::int32_t channels) {
    if (FeedSetAudioChannels(handle(), channels) == 0) {
        RaiseRefusal("the channel count was refused");
    }
}

void FeedCore::SetVideoFade(bool fadeIn, std::int32_t fadeInMs, std::uint32_t fadeInColour,
                            bool fadeOut, std::int32_t fadeOutMs, std::uint32_t fadeOutColour) {
    FeedSetVideoFade(handle(), fadeIn ? 1 : 0, fadeInMs, fadeInColour, fadeOut ? 1 : 0, fadeOutMs,
                     fadeOutColour);
}

void FeedCore::SetAudioFade(bool fadeIn, std::int32_t fadeInMs, bool fadeOut,
                            std::int32_t fadeOutMs) {
    FeedSetAudioFade(handle(), fadeIn ? 1 : 0, fadeInMs, fadeOut ? 1 : 0, fadeOutMs);
}

void FeedCore::SetClipMode(std::int32_t mode) {
    FeedSetClipMode(handle(), mode);
}

void FeedCore::SetSync(bool enabled) {
    FeedSetSyncEnabled(handle(), enabled ? 1 : 0);
}

// ---- Sessions ----------------------------------------------------------------------------

std::uint64_t FeedCore::Start(bool video, bool audio, std::size_t maxFrames,
                              std::size_t maxBuffers) {
    const FeedHandle feed = handle();
    if (FeedGetState(feed) != FEED_STATE_IDLE) {
        // FeedStart would take this for a resume and say nothing.
        throw FeedFailure("a session is already running: stop it or let it end first");
    }
    // Idle: the last session's callbacks have all returned, so the queue may be reset.
    const std::uint64_t session = queue_.Open(maxFrames, maxBuffers);
    FeedSetVideoCallback(feed, video ? OnFrame : nullptr, &queue_);
    FeedSetAudioCallback(feed, audio ? OnBuffer : nullptr, &queue_);
    if (FeedStart(feed) == 0) {
        queue_.Close();
        RaiseRefusal("the session could not be started");
    }
    session_ = session;
    active_ = true;
    return session;
}

py::object FeedCore::Next(std::uint64_t session) {
    for (;;) {
        if (handle_ == nullptr || session != session_) {
            return py::none();
        }
        DeliveredItem item;
        DeliveryQueue::Wait wait;
        {
            const py::gil_scoped_release release;
            wait = queue_.Pop(session, &item, kWaitSlice);
        }
        if (wait == DeliveryQueue::Wait::TimedOut && handle_ != nullptr &&
            FeedGetState(handle_) == FEED_STATE_IDLE) {
            // Idle without our stop: the session has ended by itself, which the library
            // signals only once every callback has returned; what it delivered is queued.
            const py::gil_scoped_release release;
            wait = queue_.Pop(session, &item, std::chrono::milliseconds(0));
            if (wait == DeliveryQueue::Wait::TimedOut) {
                wait = DeliveryQueue::Wait::Closed;
            }
        }
        switch (wait) {
            case DeliveryQueue::Wait::Item:
                return MakeItem(std::move(item));
            case DeliveryQueue::Wait::Closed:
                active_ = false;
                return py::none();
            case DeliveryQueue::Wait::Failed:
                Stop(session);
                throw std::bad_alloc();
            case DeliveryQueue::Wait::TimedOut:
                break;
        }
        if (PyErr_CheckSignals() != 0) {
            throw py::error_already_set();
        }
    }
}

py::object FeedCore::MakeItem(DeliveredItem&& item) const {
    if (item.kind == DeliveredItem::Kind::Frame) {
        const std::int64_t width = item.width;
        const std::int64_t height = item.height;
        if (width <= 0 || height <= 0 ||
            static_cast<std::uint64_t>(width * height * 4) != item.data.size()) {
            throw FeedFailure("the library delivered " + std::to_string(item.data.size()) +
                              " bytes for a frame of " + std::to_string(width) + "x" +
                              std::to_string(height) + " pixels");
        }
        VideoFrame frame;
        frame.positionMs = item.positionMs;
        frame.array = WrapBlock(std::move(item.data), py::dtype::of<std::uint8_t>(),
                                {height, width, 4}, {width * 4, 4, 1});
        return py::cast(std::move(frame));
    }
    const std::int64_t channels = item.channels;
    if (item.bitsPerSample != 16 || channels <= 0 || item.data.size() % (2 * channels) != 0) {
        throw FeedFailure("the library delivered a buffer of " + std::to_string(item.data.size()) +
                          " bytes, " + std::to_string(item.bitsPerSample) + "-bit, " +
                          std::to_string(channels) + " channels");
    }
    AudioBuffer buffer;
    buffer.positionMs = item.positionMs;
    buffer.sampleRate = item.sampleRate;
    const auto frames = static_cast<py::ssize_t>(item.data.size() / (2 * channels));
    // The library's samples are little-endian whatever the machine; "<i2" says so.
    buffer.array =
        WrapBlock(std::move(item.data), py::dtype("<i2"), {frames, channels}, {channels * 2, 2});
    return py::cast(std::move(buffer));
}

void FeedCore::Pause() {
    if (FeedPause(handle()) == 0) {
        RaiseRefusal("no session is running");
    }
}

void FeedCore::Resume() {
    const FeedHandle feed = handle();
    // FeedStart on an idle feed would start a new session. A paused session ends only by a
    // stop, and Stop clears active_ before it lets go of the GIL, so this test holds.
    if (!active_ || FeedGetState(feed) != FEED_STATE_PAUSED) {
        throw FeedFailure("no session is paused");
    }
    if (FeedStart(feed) == 0) {
        RaiseRefusal("the session could not be resumed");
    }
}

bool FeedCore::Stop(std::uint64_t session) {
    if (handle_ == nullptr || (session != 0 && session != session_)) {
        return false;
    }
    active_ = false;
    queue_.Close();  // wakes a callback waiting for room, which FeedStop waits for
    const FeedHandle feed = handle_;
    const HandleUse use(*this);
    const py::gil_scoped_release release;
    return FeedStop(feed) != 0;
}

FeedState FeedCore::State() {
    return FeedGetState(handle());
}

std::int32_t FeedCore::DurationMs() {
    return FeedGetDuration(handle());
}

std::pair<std::int32_t, std::int32_t> FeedCore::PositionMs() {
    std::int32_t videoMs = -1;
    std::int32_t audioMs = -1;
    FeedGetPosition(handle(), &videoMs, &audioMs);
    return {videoMs, audioMs};
}

std::pair<std::int32_t, std::string> FeedCore::EndReason() {
    char message[512] = "";
    const FeedEndReason reason = FeedGetEndReason(handle(), message, sizeof(message));
    return {reason, message};
}

py::object FeedCore::SourceOutcome(std::int32_t id) {
    FeedSourceOutcome outcome{};
    outcome.size = sizeof(outcome);
    if (FeedGetSourceOutcome(handle(), id, &outcome) == 0) {
        return py::none();
    }
    return py::make_tuple(outcome.outcome, outcome.streamLengthMs, std::string(outcome.message));
}

void FeedCore::Close() {
    const FeedHandle feed = std::exchange(handle_, nullptr);
    if (feed == nullptr) {
        return;
    }
    active_ = false;
    queue_.Close();
    const py::gil_scoped_release release;
    {
        std::unique_lock<std::mutex> lock(usesMutex_);
        usesDone_.wait(lock, [&] { return uses_ == 0; });
    }
    FeedDestroy(feed);
}

}  // namespace feedpy
