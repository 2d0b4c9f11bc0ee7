// When memory runs out, a call fails cleanly: it reports the refusal, stores nothing, takes no
// id and leaks nothing, and the feed goes on working. This executable replaces the global
// operator new so that a test can make the n-th allocation from now fail.
#include <cstdlib>
#include <new>
#include <string>

#include "tests/feed/FeedTestSupport.h"

namespace {

std::atomic<long> gAllocationsUntilFailure{-1};  // -1: never fail
std::atomic<long> gLiveAllocations{0};

void* Allocate(std::size_t size) {
    if (gAllocationsUntilFailure.load() >= 0 && gAllocationsUntilFailure.fetch_sub(1) == 0) {
        throw std::bad_alloc();
    }
    void* memory = std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    ++gLiveAllocations;
    return memory;
}

void Free(void* memory) {
    if (memory != nullptr) {
        --gLiveAllocations;
        std::free(memory);
    }
}

// Makes the allocation `skip` allocations from now fail (0: the very next one).
void FailAllocationAfter(long skip) {
    gAllocationsUntilFailure = skip;
}
void StopFailing() {
    gAllocationsUntilFailure = -1;
}

}  // namespace

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* memory) noexcept {
    Free(memory);
}
void operator delete[](void* memory) noexcept {
    Free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    Free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    Free(memory);
}

namespace {

using AllocationFailureTest = FeedFixture;

TEST_F(AllocationFailureTest, AnAddThatRunsOutOfMemoryStoresNothingAndTakesNoId) {
    const std::string longName(300, 'n');  // too long to be stored without allocating
    ASSERT_EQ(FeedAddVideoSource(feed, "first.mp4", 0, 1000), 1);
    const long liveBefore = gLiveAllocations.load();

    int failures = 0;
    std::int32_t id = -1;
    for (long skip = 0; id == -1; ++skip) {
        ASSERT_LT(skip, 20) << "the add never got through";
        FailAllocationAfter(skip);
        id = FeedAddVideoSourceEx(feed, longName.c_str(), nullptr, 0, 0, 1000);
        StopFailing();
        if (id == -1) {
            ++failures;
            EXPECT_EQ(FeedGetErrorCode(feed), -1);
            EXPECT_EQ(ErrorText(), kWrongState);
            EXPECT_EQ(Shared().sources.size(), 1u);
            EXPECT_EQ(gLiveAllocations.load(), liveBefore);  // nothing half-made is left
        }
    }
    EXPECT_GE(failures, 2);  // both the name and the list entry were made to fail
    EXPECT_EQ(id, 2);        // the failed adds took no id
    EXPECT_EQ(ErrorText(), "");
    EXPECT_EQ(Shared().sources.at(2).name, longName);
}

TEST_F(AllocationFailureTest, AStartWhoseWorkerCannotBeStartedLeavesTheFeedIdle) {
    fake::engine().addFile("clip.mp4", true, false);
    ASSERT_EQ(FeedAddVideoSource(feed, "clip.mp4", 0, 1000), 1);
    FailAllocationAfter(0);  // the thread's own state is the first thing Start allocates
    EXPECT_EQ(FeedStart(feed), 0);
    StopFailing();
    EXPECT_EQ(FeedGetState(feed), FEED_STATE_IDLE);
    EXPECT_EQ(FeedGetErrorCode(feed), -1);
    EXPECT_EQ(ErrorText(), kWrongState);
    EXPECT_EQ(FeedStop(feed), 0);
    EXPECT_TRUE(fake::engine().calls().empty());

    ASSERT_EQ(FeedStart(feed), 1);  // the feed still works
    ASSERT_TRUE(WaitUntilIdle(feed));
    EXPECT_EQ(CountCalls("C1.Stop"), 1u);
}

TEST_F(AllocationFailureTest, CreateGivesNullWhenTheFeedCannotBeAllocated) {
    FailAllocationAfter(0);
    FeedHandle none = FeedCreate();
    StopFailing();
    EXPECT_EQ(none, nullptr);
}

}  // namespace
