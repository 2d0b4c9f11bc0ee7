// SessionState: a feed's FeedState, with a wake-up for the threads that wait on it. The host's
// calls write Running, Paused and Idle; the worker writes Idle as its last act. Every change
// wakes the worker (which then pauses, resumes or stops the engine at once) and the deliveries
// held while the feed is paused.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include <feed/feed.h>

namespace session {

class SessionState {
  public:
    // Sequentially consistent: the state is the one channel from the host to the worker.
    FeedState Load() const { return value_.load(); }
    void Store(FeedState state) {
        value_.store(state);
        Wake();
    }
    FeedState Exchange(FeedState state) {
        const FeedState previous = value_.exchange(state);
        Wake();
        return previous;
    }
    // As std::atomic's compare_exchange_weak; wakes the waiters when it stored.
    bool CompareExchange(FeedState& expected, FeedState desired) {
        if (!value_.compare_exchange_weak(expected, desired)) {
            return false;
        }
        Wake();
        return true;
    }

    // Waits until the state is no longer `from`, or `timeout` has passed; returns the state.
    FeedState WaitForChange(FeedState from, std::chrono::milliseconds timeout) const {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, timeout, [&] { return value_.load() != from; });
        return value_.load();
    }

    // Waits while the state is Paused; returns the state then, Running or Idle.
    FeedState WaitWhilePaused() const {
        FeedState state = value_.load();
        if (state != FEED_STATE_PAUSED) {
            return state;  // the common case takes no lock
        }
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return value_.load() != FEED_STATE_PAUSED; });
        return value_.load();
    }

  private:
    // Taking the lock between the store and the notification means that a waiter has either
    // seen the new value or is already waiting: no wake-up is lost.
    void Wake() {
        { const std::lock_guard<std::mutex> lock(mutex_); }
        changed_.notify_all();
    }

    std::atomic<FeedState> value_{FEED_STATE_IDLE};
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
};

}  // namespace session
