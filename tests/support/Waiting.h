// Waiting with a deadline, for tests that watch other threads: poll a condition until it holds
// or the patience runs out. Header only and portable (the feed's tests also run on Windows).
#pragma once

#include <chrono>
#include <thread>

#include <feed/feed.h>

namespace support {

// Asks condition() every `poll` until it holds or `patience` has passed, and returns its last
// answer (asked once more at the deadline).
template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds patience = std::chrono::seconds(10),
                std::chrono::milliseconds poll = std::chrono::milliseconds(2)) {
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return condition();
        }
        std::this_thread::sleep_for(poll);
    }
    return true;
}

// Waits for feed's session to end (the feed Idle again); whileWaiting() runs at every look
// that finds it still busy. True once Idle, false when the patience ran out first.
template <typename WhileWaiting>
bool WaitUntilIdle(FeedHandle feed, std::chrono::milliseconds patience,
                   std::chrono::milliseconds poll, WhileWaiting whileWaiting) {
    return Eventually(
        [&] {
            if (FeedGetState(feed) == FEED_STATE_IDLE) {
                return true;
            }
            whileWaiting();
            return false;
        },
        patience, poll);
}

inline bool WaitUntilIdle(FeedHandle feed,
                          std::chrono::milliseconds patience = std::chrono::seconds(10),
                          std::chrono::milliseconds poll = std::chrono::milliseconds(2)) {
    return WaitUntilIdle(feed, patience, poll, [] {});
}

}  // namespace support
