// Shared by the feed's tests: a fixture that gives each test a new feed on a fresh fake
// engine and checks, when the test ends, that every engine reference was released once.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include <feed/feed.h>

#include "feed/Feed.h"
#include "tests/fake_engine/FakeEngine.h"
#include "tests/support/Waiting.h"

namespace feed {

// Reaches into a feed where the public calls cannot get in reasonable time, and shows the
// settings and the list as the worker sees them.
struct FeedTestAccess {
    static Feed& Of(FeedHandle handle) { return *reinterpret_cast<Feed*>(handle); }
    static void SetNextId(FeedHandle handle, std::int32_t id) { Of(handle).nextId_ = id; }
    // How many host threads wait for the feed's worker in FeedStop.
    static int WaitingStops(FeedHandle handle) {
        const std::lock_guard<std::mutex> lock(Of(handle).lifeMutex_);
        return Of(handle).waitingStops_;
    }
    static const session::SharedFeedState& Shared(FeedHandle handle) { return Of(handle).shared_; }
};

}  // namespace feed

using support::Eventually;
using support::WaitUntilIdle;

class FeedFixture : public ::testing::Test {
  protected:
    static constexpr const char* kWrongState =
        "Can not perform the operation when the object in current context";

    void SetUp() override {
        fake::engine().reset();
        feed = FeedCreate();
        ASSERT_NE(feed, nullptr);
    }

    void TearDown() override {
        FeedDestroy(feed);
        EXPECT_THAT(fake::engine().faults(), ::testing::IsEmpty());
        fake::engine().reset();
    }

    // A session on one video file that keeps running until the host stops it.
    void StartEndlessSession() {
        fake::engine().addFile("clip.mp4", true, true);
        fake::engine().setHoldEnd(true);
        ASSERT_GT(FeedAddVideoSource(feed, "clip.mp4", 0, 1000), 0);
        ASSERT_EQ(FeedStart(feed), 1);
    }

    // How many logged engine calls start with prefix.
    static std::size_t CountCalls(const std::string& prefix) {
        std::size_t count = 0;
        for (const std::string& call : fake::engine().calls()) {
            count += call.rfind(prefix, 0) == 0 ? 1 : 0;
        }
        return count;
    }

    std::string ErrorText() const { return FeedGetErrorText(feed); }

    const session::SharedFeedState& Shared() const { return feed::FeedTestAccess::Shared(feed); }

    FeedHandle feed = nullptr;
};
