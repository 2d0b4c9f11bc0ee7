#include "feed/Feed.h"

#include "session/Delivery.h"
#include "session/SessionWorker.h"

namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
}

Feed::~Feed() {
    Stop();
    JoinWorker();
    if (IAudioVideoSync* sync = session_.syncObject.exchange(nullptr, kRelaxed)) {
        sync->Release();
    }
}

std::int32_t Feed::Refuse(FeedError code, std::int32_t result) {
    session_.report.Fail(FeedErrorText(code));
    return result;
}

std::int32_t Feed::Succeed(std::int32_t result) {
    session_.report.Succeed();
    return result;
}

void Feed::ReportOutOfResources() {
    session_.report.Fail(FeedErrorText(kFeedWrongState));
}

void Feed::JoinWorker() {
    if (workerThread_.joinable()) {
        workerThread_.join();
    }
}

std::int32_t Feed::Start() {
    // Compare-and-swap, so that a worker setting Idle as it ends is never overwritten.
    FeedState state = session_.state.load();
    while (state != FEED_STATE_IDLE) {
        if (state == FEED_STATE_RUNNING) {
            return 1;
        }
        if (session_.state.compare_exchange_weak(state, FEED_STATE_RUNNING)) {
            return 1;  // resumed; the worker runs the engine again at its next poll
        }
    }
    if (session_.sources.empty()) {
        return Refuse(kFeedNoInputFile, 0);
    }
    // Idle inside one of the session's own callbacks: the session was stopped and is about
    // to be torn down, which cannot be waited for from here.
    if (IsInsideDelivery(session_)) {
        return Refuse(kFeedWrongState, 0);
    }
    JoinWorker();  // the last session's worker, finished or finishing
    // Running before the thread starts, so that the worker never sees Idle at its start.
    session_.state.store(FEED_STATE_RUNNING);
    try {
        workerThread_ = std::thread(SessionThreadProc, &session_);
    } catch (...) {
        session_.state.store(FEED_STATE_IDLE);
        return Refuse(kFeedWrongState, 0);
    }
    return Succeed(1);
}

std::int32_t Feed::Pause() {
    FeedState state = session_.state.load();
    while (state != FEED_STATE_PAUSED) {
        if (state == FEED_STATE_IDLE) {
            return Refuse(kFeedWrongState, 0);
        }
        if (session_.state.compare_exchange_weak(state, FEED_STATE_PAUSED)) {
            break;
        }
    }
    return Succeed(1);
}

std::int32_t Feed::Stop() {
    const FeedState previous = session_.state.exchange(FEED_STATE_IDLE);
    // From inside a callback the teardown (which waits for that callback) cannot be waited
    // for: the worker notices Idle at its next poll, and the next Start or Stop or the
    // destructor joins it.
    if (!IsInsideDelivery(session_)) {
        JoinWorker();
    }
    return previous != FEED_STATE_IDLE ? 1 : 0;
}

FeedState Feed::GetState() const {
    return session_.state.load();
}

std::int32_t Feed::GetDuration() {
    if (!busy()) {
        return -1;
    }
    return Succeed(session_.durationMs.load(kRelaxed));
}

void Feed::GetPosition(std::int32_t* videoMs, std::int32_t* audioMs) {
    std::int32_t video = -1;
    std::int32_t audio = -1;
    if (busy()) {
        session_.report.Succeed();
        video = session_.videoPositionMs.load(kRelaxed);
        audio = session_.audioPositionMs.load(kRelaxed);
    }
    if (videoMs != nullptr) {
        *videoMs = video;
    }
    if (audioMs != nullptr) {
        *audioMs = audio;
    }
}

std::int32_t Feed::GetErrorCode() const {
    return session_.report.code();
}

const char* Feed::GetErrorText() const {
    return session_.report.message();
}
