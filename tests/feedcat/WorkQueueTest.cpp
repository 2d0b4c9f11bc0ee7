// The queue between the callbacks and the encoder thread holds at most its bound of each kind:
// a producer of pictures waits at the bound while audio still passes, and goes on as soon as
// the consumer takes one; closing and abandoning release every waiter.
#include "pipeline/WorkQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace feedcat {
namespace {

using namespace std::chrono_literals;

MediaItem Item(MediaItem::Kind kind, std::int32_t positionMs) {
    MediaItem item;
    item.kind = kind;
    item.positionMs = positionMs;
    return item;
}

TEST(WorkQueueTest, EachKindWaitsAtItsOwnBound) {
    WorkQueue queue(2, 3);
    ASSERT_TRUE(queue.Push(Item(MediaItem::Kind::kVideo, 0)));
    ASSERT_TRUE(queue.Push(Item(MediaItem::Kind::kVideo, 40)));
    std::atomic<bool> thirdIn{false};
    std::thread producer([&] {
        queue.Push(Item(MediaItem::Kind::kVideo, 80));
        thirdIn = true;
    });
    // Audio is not held up by the pictures at their bound.
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(queue.Push(Item(MediaItem::Kind::kAudio, i * 10)));
    }
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(thirdIn) << "a third picture was queued past the bound of 2";
    MediaItem taken;
    ASSERT_TRUE(queue.Pop(&taken));
    EXPECT_EQ(taken.kind, MediaItem::Kind::kVideo);
    EXPECT_EQ(taken.positionMs, 0);
    producer.join();
    EXPECT_TRUE(thirdIn);
    // Items come out in the order they went in.
    const std::int32_t expected[] = {40, 0, 10, 20, 80};
    for (std::int32_t position : expected) {
        ASSERT_TRUE(queue.Pop(&taken));
        EXPECT_EQ(taken.positionMs, position);
    }
}

TEST(WorkQueueTest, CloseDrainsAndAbandonReleasesWaiters) {
    WorkQueue queue(1, 1);
    ASSERT_TRUE(queue.Push(Item(MediaItem::Kind::kAudio, 0)));
    std::thread producer([&] { EXPECT_FALSE(queue.Push(Item(MediaItem::Kind::kAudio, 10))); });
    std::this_thread::sleep_for(20ms);
    queue.Abandon();
    producer.join();
    MediaItem taken;
    EXPECT_FALSE(queue.Pop(&taken));

    WorkQueue closing(1, 1);
    ASSERT_TRUE(closing.Push(Item(MediaItem::Kind::kVideo, 0)));
    closing.Close();
    EXPECT_TRUE(closing.Pop(&taken)) << "what was queued is still handed out";
    EXPECT_FALSE(closing.Pop(&taken));
    EXPECT_FALSE(closing.Push(Item(MediaItem::Kind::kVideo, 40)));
}

}  // namespace
}  // namespace feedcat
