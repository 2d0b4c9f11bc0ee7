// ResultReport: what FeedGetErrorCode and FeedGetErrorText give back.
#pragma once

#include <atomic>
#include <cstdint>

namespace feed {

// The outcome of the last reporting call: 0 and "" after success, -1 and a message after a
// refusal. Messages are static texts, so a pointer handed out stays valid for good. Written
// by the host's calls only.
class ResultReport {
  public:
    void Succeed() {
        lastResult_.store(0, std::memory_order_relaxed);
        lastMessage_.store("", std::memory_order_relaxed);
    }
    void Fail(const char* staticMessage) {
        lastResult_.store(-1, std::memory_order_relaxed);
        lastMessage_.store(staticMessage, std::memory_order_relaxed);
    }

    std::int32_t code() const { return lastResult_.load(std::memory_order_relaxed); }
    const char* message() const { return lastMessage_.load(std::memory_order_relaxed); }

  private:
    std::atomic<std::int32_t> lastResult_{0};
    std::atomic<const char*> lastMessage_{""};
};

}  // namespace feed
