#include "BufferPool.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <thread>
#include <utility>
#include <vector>

namespace feedpy {
namespace {

TEST(BufferPool, GivesBackAReturnedBlockOfTheSameSize) {
    auto pool = BufferPool::Create(2);
    std::uint8_t* first;
    {
        Buffer buffer = pool->Take(1000);
        ASSERT_NE(buffer.data(), nullptr);
        EXPECT_EQ(buffer.size(), 1000u);
        first = buffer.data();
    }
    EXPECT_EQ(pool->spareCount(), 1u);
    Buffer again = pool->Take(1000);
    EXPECT_EQ(again.data(), first);
    EXPECT_EQ(pool->spareCount(), 0u);
}

TEST(BufferPool, KeepsNoMoreSparesThanItsLimit) {
    auto pool = BufferPool::Create(2);
    {
        std::vector<Buffer> out;
        for (int i = 0; i < 5; ++i) {
            out.push_back(pool->Take(64));
        }
    }
    EXPECT_EQ(pool->spareCount(), 2u);
}

TEST(BufferPool, ABlockOfAnotherSizeReplacesTheSpares) {
    auto pool = BufferPool::Create(4);
    { Buffer small = pool->Take(64); }
    EXPECT_EQ(pool->spareCount(), 1u);
    Buffer large = pool->Take(128);  // no spare of this size: a new block
    EXPECT_EQ(large.size(), 128u);
    large = Buffer();  // returned: the 64-byte spare goes
    EXPECT_EQ(pool->spareCount(), 1u);
    Buffer again = pool->Take(128);
    EXPECT_EQ(pool->spareCount(), 0u);
}

TEST(BufferPool, BlocksOutliveThePoolsLastOtherOwner) {
    Buffer kept;
    {
        auto pool = BufferPool::Create(1);
        kept = pool->Take(16);
    }
    kept.data()[15] = 7;  // the pool stays alive while a block is out
    EXPECT_EQ(kept.data()[15], 7);
}

TEST(BufferPool, MovedBufferGivesBackOnce) {
    auto pool = BufferPool::Create(4);
    {
        Buffer a = pool->Take(8);
        Buffer b = std::move(a);
        Buffer c;
        c = std::move(b);
        EXPECT_EQ(a.data(), nullptr);
        EXPECT_EQ(b.data(), nullptr);
    }
    EXPECT_EQ(pool->spareCount(), 1u);
}

TEST(BufferPool, TakesAndReturnsFromManyThreads) {
    auto pool = BufferPool::Create(8);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([pool, t] {
            for (int i = 0; i < 2000; ++i) {
                Buffer buffer = pool->Take(256);
                buffer.data()[i % 256] = static_cast<std::uint8_t>(t);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_LE(pool->spareCount(), 8u);
}

}  // namespace
}  // namespace feedpy
