#include "feed/Feed.h"

#include "session/Delivery.h"
#include "session/SessionWorker.h"

namespace feed {

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
}

Feed::~Feed() {
    // Not Stop(): the destructor may run on the worker's thread, or from Stop itself.
    shared_.state.Exchange(FEED_STATE_IDLE);
    JoinWorker();
}

std::int32_t Feed::Refuse(FeedError code, std::int32_t result) {
    report_.Fail(FeedErrorText(code));
    return result;
}

std::int32_t Feed::Succeed(std::int32_t result) {
    report_.Succeed();
    return result;
}

void Feed::ReportOutOfResources() {
    report_.Fail(FeedErrorText(kFeedWrongState));
}

void Feed::Destroy(Feed* feed) {
    if (feed == nullptr) {
        return;
    }
    if (session::IsInsideDelivery(feed->shared_)) {
        {
            const std::lock_guard<std::mutex> lock(feed->lifeMutex_);
            feed->destroyRequested_ = true;
        }
        feed->Stop();
        return;
    }
    delete feed;
}

void Feed::JoinWorker() {
    const std::lock_guard<std::mutex> lock(workerMutex_);
    if (workerThread_.joinable()) {
        workerThread_.join();
    }
}

bool Feed::WaitForWorker() {
    JoinWorker();
    const std::lock_guard<std::mutex> lock(lifeMutex_);
    return --waitingStops_ == 0 && lastStopDeletes_;
}

void Feed::RunWorker() {
    session::SessionThreadProc(&shared_);
    {
        const std::lock_guard<std::mutex> lock(lifeMutex_);
        if (!destroyRequested_) {
            return;
        }
        if (waitingStops_ > 0) {
            // They are joining this thread; the last of them to leave Stop deletes the feed.
            lastStopDeletes_ = true;
            return;
        }
    }
    {
        // This very thread, and nobody waits for it: it cannot be joined. The lock waits until
        // Start has stored the thread.
        const std::lock_guard<std::mutex> lock(workerMutex_);
        workerThread_.detach();
    }
    delete this;
}

std::int32_t Feed::Start() {
    // Compare-and-swap, so that a worker setting Idle as it ends is never overwritten.
    FeedState state = shared_.state.Load();
    while (state != FEED_STATE_IDLE) {
        if (state == FEED_STATE_RUNNING) {
            return 1;
        }
        if (shared_.state.CompareExchange(state, FEED_STATE_RUNNING)) {
            return 1;  // resumed; the worker, woken by the change, runs the engine again
        }
    }
    if (shared_.sources.empty()) {
        return Refuse(kFeedNoInputFile, 0);
    }
    // Idle inside one of the session's own callbacks: the session was stopped and is about
    // to be torn down, which cannot be waited for from here.
    if (session::IsInsideDelivery(shared_)) {
        return Refuse(kFeedWrongState, 0);
    }
    const std::lock_guard<std::mutex> lock(workerMutex_);
    if (workerThread_.joinable()) {
        workerThread_.join();  // the last session's worker, finished or finishing
    }
    shared_.outcome.Begin(shared_.sources);
    // Running before the thread starts, so that the worker never sees Idle at its start.
    shared_.state.Store(FEED_STATE_RUNNING);
    try {
        workerThread_ = std::thread(&Feed::RunWorker, this);
    } catch (...) {
        shared_.state.Store(FEED_STATE_IDLE);
        return Refuse(kFeedWrongState, 0);
    }
    return Succeed(1);
}

std::int32_t Feed::Pause() {
    // Deliveries see the change at once and hold before they reach the host; the worker,
    // woken by it, pauses the engine.
    FeedState state = shared_.state.Load();
    while (state != FEED_STATE_PAUSED) {
        if (state == FEED_STATE_IDLE) {
            return Refuse(kFeedWrongState, 0);
        }
        if (shared_.state.CompareExchange(state, FEED_STATE_PAUSED)) {
            break;
        }
    }
    return Succeed(1);
}

std::int32_t Feed::Stop() {
    // From inside a callback the teardown (which waits for that callback) cannot be waited
    // for: the worker, woken by the change, tears the session down, and the next Start or
    // Stop or the destructor joins it.
    const bool waits = !session::IsInsideDelivery(shared_);
    if (waits) {
        // Counted before the state changes: a worker whose feed was destroyed from a callback
        // then leaves the deletion to this thread rather than free the feed under it.
        const std::lock_guard<std::mutex> lock(lifeMutex_);
        ++waitingStops_;
    }
    // From the moment the state is Idle no delivery reaches the host.
    const std::int32_t stopped = shared_.state.Exchange(FEED_STATE_IDLE) != FEED_STATE_IDLE;
    if (waits && WaitForWorker()) {
        delete this;  // destroyed from a callback while this thread waited; nothing after this
    }
    return stopped;
}

FeedState Feed::GetState() const {
    return shared_.state.Load();
}

std::int32_t Feed::GetDuration() {
    if (!busy()) {
        return -1;
    }
    return Succeed(shared_.durationMs.load(kRelaxed));
}

void Feed::GetPosition(std::int32_t* videoMs, std::int32_t* audioMs) {
    std::int32_t video = -1;
    std::int32_t audio = -1;
    if (busy()) {
        report_.Succeed();
        video = shared_.videoPositionMs.load(kRelaxed);
        audio = shared_.audioPositionMs.load(kRelaxed);
    }
    if (videoMs != nullptr) {
        *videoMs = video;
    }
    if (audioMs != nullptr) {
        *audioMs = audio;
    }
}

std::int32_t Feed::GetErrorCode() const {
    return report_.code();
}

const char* Feed::GetErrorText() const {
    return report_.message();
}

FeedEndReason Feed::GetEndReason(char* message, std::int32_t messageSize) const {
    return shared_.outcome.CopyReason(message, messageSize);
}

std::int32_t Feed::GetSourceOutcome(std::int32_t id, FeedSourceOutcome* outcome) const {
    if (outcome == nullptr ||
        outcome->size < static_cast<std::int32_t>(sizeof(FeedSourceOutcome))) {
        return 0;
    }
    return shared_.outcome.CopySource(id, outcome) ? 1 : 0;
}

}  // namespace feed
