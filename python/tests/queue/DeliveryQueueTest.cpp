#include "DeliveryQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

namespace feedpy {
namespace {

using namespace std::chrono_literals;
using Wait = DeliveryQueue::Wait;

std::vector<std::uint8_t> FrameBytes(std::int32_t width, std::int32_t height, std::uint8_t fill) {
    return std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height * 4, fill);
}

void PushFrame(DeliveryQueue& queue, std::int32_t positionMs, std::uint8_t fill) {
    const auto bytes = FrameBytes(4, 2, fill);
    queue.PushFrame(bytes.data(), static_cast<std::int32_t>(bytes.size()), positionMs, 4, 2);
}

void PushBuffer(DeliveryQueue& queue, std::int32_t positionMs) {
    const std::vector<std::uint8_t> bytes(40, 1);
    queue.PushBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()), positionMs, 16, 44100,
                     2);
}

TEST(DeliveryQueue, HandsOutCopiesInArrivalOrderWithTheirFormat) {
    DeliveryQueue queue;
    const std::uint64_t generation = queue.Open(4, 4);
    auto frame = FrameBytes(4, 2, 9);
    queue.PushFrame(frame.data(), static_cast<std::int32_t>(frame.size()), 40, 4, 2);
    frame.assign(frame.size(), 0);  // the library's frame is valid during the call only
    PushBuffer(queue, 10);

    DeliveredItem item;
    ASSERT_EQ(queue.Pop(generation, &item, 0ms), Wait::Item);
    EXPECT_EQ(item.kind, DeliveredItem::Kind::Frame);
    EXPECT_EQ(item.positionMs, 40);
    EXPECT_EQ(item.width, 4);
    EXPECT_EQ(item.height, 2);
    ASSERT_EQ(item.data.size(), 32u);
    EXPECT_EQ(item.data.data()[0], 9);
    EXPECT_EQ(item.data.data()[31], 9);

    ASSERT_EQ(queue.Pop(generation, &item, 0ms), Wait::Item);
    EXPECT_EQ(item.kind, DeliveredItem::Kind::Buffer);
    EXPECT_EQ(item.positionMs, 10);
    EXPECT_EQ(item.bitsPerSample, 16);
    EXPECT_EQ(item.sampleRate, 44100);
    EXPECT_EQ(item.channels, 2);
    EXPECT_EQ(item.data.size(), 40u);

    EXPECT_EQ(queue.Pop(generation, &item, 0ms), Wait::TimedOut);
    EXPECT_EQ(queue.delivered(), 2);
}

TEST(DeliveryQueue, NothingIsQueuedBeforeOpen) {
    DeliveryQueue queue;
    PushFrame(queue, 0, 1);  // closed: returns at once
    const std::uint64_t generation = queue.Open(1, 1);
    DeliveredItem item;
    EXPECT_EQ(queue.Pop(generation, &item, 0ms), Wait::TimedOut);
}

TEST(DeliveryQueue, ACallbackWaitsForRoomAndNothingIsDropped) {
    DeliveryQueue queue;
    const std::uint64_t generation = queue.Open(2, 2);
    std::atomic<int> pushed{0};
    std::thread engine([&] {
        for (int i = 0; i < 10; ++i) {
            PushFrame(queue, i * 40, static_cast<std::uint8_t>(i));
            pushed.fetch_add(1);
        }
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(pushed.load(), 2);  // the third waits for room
    for (int i = 0; i < 10; ++i) {
        DeliveredItem item;
        ASSERT_EQ(queue.Pop(generation, &item, 5s), Wait::Item);
        EXPECT_EQ(item.positionMs, i * 40);
        EXPECT_EQ(item.data.data()[0], i);
    }
    engine.join();
    EXPECT_EQ(pushed.load(), 10);
}

TEST(DeliveryQueue, AFullKindDoesNotHoldTheOtherBack) {
    DeliveryQueue queue;
    const std::uint64_t generation = queue.Open(1, 3);
    PushFrame(queue, 0, 1);
    std::thread video([&] { PushFrame(queue, 40, 2); });  // waits: frames are full
    for (int i = 0; i < 3; ++i) {
        PushBuffer(queue, 10 * i);  // returns at once
    }
    DeliveredItem item;
    ASSERT_EQ(queue.Pop(generation, &item, 1s), Wait::Item);
    EXPECT_EQ(item.kind, DeliveredItem::Kind::Frame);
    video.join();
    int frames = 0;
    int buffers = 0;
    while (queue.Pop(generation, &item, 0ms) == Wait::Item) {
        (item.kind == DeliveredItem::Kind::Frame ? frames : buffers) += 1;
    }
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(buffers, 3);
}

TEST(DeliveryQueue, CloseReleasesAWaitingCallbackAndTheConsumer) {
    DeliveryQueue queue;
    const std::uint64_t generation = queue.Open(1, 1);
    PushFrame(queue, 0, 1);
    std::atomic<bool> returned{false};
    std::thread engine([&] {
        PushFrame(queue, 40, 2);  // waits for room until the close
        returned = true;
    });
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(returned.load());
    queue.Close();
    engine.join();
    EXPECT_TRUE(returned.load());
    DeliveredItem item;
    EXPECT_EQ(queue.Pop(generation, &item, 1s), Wait::Closed);  // the queued frame is dropped
    PushFrame(queue, 80, 3);                                    // after the close: not queued
    EXPECT_EQ(queue.Pop(generation, &item, 0ms), Wait::Closed);
}

TEST(DeliveryQueue, CloseWakesAConsumerWaiting) {
    DeliveryQueue queue;
    const std::uint64_t generation = queue.Open(1, 1);
    std::thread stopper([&] {
        std::this_thread::sleep_for(50ms);
        queue.Close();
    });
    DeliveredItem item;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(queue.Pop(generation, &item, 10s), Wait::Closed);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
    stopper.join();
}

TEST(DeliveryQueue, AConsumerOfAnOlderSessionGetsNothingOfTheNewOne) {
    DeliveryQueue queue;
    const std::uint64_t old = queue.Open(2, 2);
    PushFrame(queue, 0, 1);
    const std::uint64_t current = queue.Open(2, 2);
    EXPECT_NE(old, current);
    PushFrame(queue, 0, 2);
    DeliveredItem item;
    EXPECT_EQ(queue.Pop(old, &item, 0ms), Wait::Closed);
    ASSERT_EQ(queue.Pop(current, &item, 0ms), Wait::Item);
    EXPECT_EQ(item.data.data()[0], 2);  // the old session's frame was dropped by Open
    EXPECT_EQ(queue.delivered(), 1);
}

TEST(DeliveryQueue, NullOrNegativeDeliveriesQueueEmptyItems) {
    DeliveryQueue queue;
    const std::uint64_t generation = queue.Open(2, 2);
    queue.PushFrame(nullptr, 32, 0, 4, 2);
    queue.PushBuffer(nullptr, -5, 0, 16, 44100, 2);
    DeliveredItem item;
    ASSERT_EQ(queue.Pop(generation, &item, 0ms), Wait::Item);
    EXPECT_EQ(item.data.size(), 0u);  // the module reports the size mismatch to Python
    ASSERT_EQ(queue.Pop(generation, &item, 0ms), Wait::Item);
    EXPECT_EQ(item.data.size(), 0u);
}

// Both kinds delivered from their own threads while a consumer takes them, as in a session;
// each kind arrives complete and in order. Run under ThreadSanitizer by make test-tsan.
TEST(DeliveryQueue, TwoDeliveryThreadsAndAConsumer) {
    DeliveryQueue queue;
    const std::uint64_t generation = queue.Open(3, 5);
    constexpr int kEach = 2000;
    std::thread video([&] {
        for (int i = 0; i < kEach; ++i) {
            PushFrame(queue, i, static_cast<std::uint8_t>(i));
        }
    });
    std::thread audio([&] {
        for (int i = 0; i < kEach; ++i) {
            PushBuffer(queue, i);
        }
    });
    int nextFrame = 0;
    int nextBuffer = 0;
    while (nextFrame < kEach || nextBuffer < kEach) {
        DeliveredItem item;
        ASSERT_EQ(queue.Pop(generation, &item, 5s), Wait::Item);
        if (item.kind == DeliveredItem::Kind::Frame) {
            ASSERT_EQ(item.positionMs, nextFrame);
            ASSERT_EQ(item.data.data()[0], static_cast<std::uint8_t>(nextFrame));
            ++nextFrame;
        } else {
            ASSERT_EQ(item.positionMs, nextBuffer);
            ++nextBuffer;
        }
    }
    video.join();
    audio.join();
    EXPECT_EQ(queue.delivered(), 2 * kEach);
}

// A stop while both delivery threads wait for room: Close lets both go at once.
TEST(DeliveryQueue, CloseWhileBothKindsWait) {
    DeliveryQueue queue;
    queue.Open(1, 1);
    PushFrame(queue, 0, 0);
    PushBuffer(queue, 0);
    std::thread video([&] {
        for (int i = 1; i < 100; ++i) {
            PushFrame(queue, i, 0);
        }
    });
    std::thread audio([&] {
        for (int i = 1; i < 100; ++i) {
            PushBuffer(queue, i);
        }
    });
    std::this_thread::sleep_for(20ms);
    queue.Close();
    video.join();
    audio.join();
}

}  // namespace
}  // namespace feedpy
