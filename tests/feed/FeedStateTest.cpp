// The life of a feed as the host drives it: start, pause, resume and stop, what each call
// returns and reports, and how the worker thread is joined.
#include "tests/feed/FeedTestSupport.h"

using ::testing::Contains;
using ::testing::ElementsAre;

namespace {

using FeedStateTest = FeedFixture;

TEST_F(FeedStateTest, NewFeedIsIdleWithNothingReportedAndTimesHidden) {
    EXPECT_EQ(FeedGetState(feed), FEED_STATE_IDLE);
    EXPECT_EQ(FeedGetErrorCode(feed), 0);
    EXPECT_EQ(ErrorText(), "");
    EXPECT_EQ(FeedGetDuration(feed), -1);
    std::int32_t video = 7;
    std::int32_t audio = 7;
    FeedGetPosition(feed, &video, &audio);
    EXPECT_EQ(video, -1);
    EXPECT_EQ(audio, -1);
    FeedGetPosition(feed, nullptr, nullptr);  // null outputs are not written
}

TEST_F(FeedStateTest, IdleFeedRefusesStartWithoutSourcesAndPauseButNotStop) {
    EXPECT_EQ(FeedStart(feed), 0);
    EXPECT_EQ(ErrorText(), "No inut file");
    EXPECT_EQ(FeedGetErrorCode(feed), -1);
    EXPECT_EQ(FeedGetState(feed), FEED_STATE_IDLE);

    EXPECT_EQ(FeedPause(feed), 0);
    EXPECT_EQ(ErrorText(), kWrongState);
    EXPECT_EQ(FeedGetState(feed), FEED_STATE_IDLE);

    // Stop reports nothing: the pause's refusal stays readable.
    EXPECT_EQ(FeedStop(feed), 0);
    EXPECT_EQ(ErrorText(), kWrongState);
    EXPECT_EQ(FeedGetErrorCode(feed), -1);
    EXPECT_TRUE(fake::engine().calls().empty());
}

TEST_F(FeedStateTest, StartPauseResumeStopFollowTheStateTable) {
    FeedPause(feed);  // leaves a refusal that a successful start clears
    StartEndlessSession();
    EXPECT_EQ(FeedGetState(feed), FEED_STATE_RUNNING);
    EXPECT_EQ(FeedGetErrorCode(feed), 0);
    EXPECT_EQ(ErrorText(), "");

    EXPECT_EQ(FeedStart(feed), 1);  // already running: one worker only
    EXPECT_EQ(FeedPause(feed), 1);
    EXPECT_EQ(FeedPause(feed), 1);
    EXPECT_EQ(FeedGetState(feed), FEED_STATE_PAUSED);
    EXPECT_EQ(FeedStart(feed), 1);  // resume
    EXPECT_EQ(FeedGetState(feed), FEED_STATE_RUNNING);

    EXPECT_EQ(FeedStop(feed), 1);
    EXPECT_EQ(FeedGetState(feed), FEED_STATE_IDLE);
    // The worker has been joined, so its teardown is complete when Stop returns.
    EXPECT_EQ(CountCalls("CreateSimpleCompositeSource"), 1u);
    EXPECT_THAT(fake::engine().calls(), Contains("C1.Stop"));
    EXPECT_THAT(fake::engine().faults(), ::testing::IsEmpty());
    EXPECT_EQ(FeedStop(feed), 0);
}

TEST_F(FeedStateTest, DurationAndPositionsAreReportedOnlyWhileASessionIsActive) {
    fake::engine().setVideoSeries({4,
                                   2,
                                   {{0, 400000, std::vector<std::uint8_t>(32)},
                                    {400000, 400000, std::vector<std::uint8_t>(32)}}});
    StartEndlessSession();
    ASSERT_TRUE(fake::engine().waitForDeliveries(2, 0, std::chrono::seconds(10)));
    FeedPause(feed);  // leaves a success; make the next query's report visible with a failure
    FeedClearSources(feed);
    ASSERT_EQ(FeedGetErrorCode(feed), -1);

    EXPECT_EQ(FeedGetDuration(feed), 1000);
    EXPECT_EQ(FeedGetErrorCode(feed), 0);
    FeedClearSources(feed);
    std::int32_t video = -5;
    std::int32_t audio = -5;
    FeedGetPosition(feed, &video, &audio);
    EXPECT_EQ(FeedGetErrorCode(feed), 0);
    EXPECT_EQ(video, 40);
    EXPECT_EQ(audio, 0);  // no audio timeline: the position the session started with

    FeedStop(feed);
    // The values are kept but hidden once idle, and the queries report nothing then.
    FeedClearSources(feed);
    FeedRemoveSource(feed, 99);
    EXPECT_EQ(FeedGetDuration(feed), -1);
    FeedGetPosition(feed, &video, &audio);
    EXPECT_EQ(video, -1);
    EXPECT_EQ(ErrorText(), "Source index invalid");
    EXPECT_EQ(Shared().durationMs.load(), 1000);
    EXPECT_EQ(Shared().videoPositionMs.load(), 40);
}

TEST_F(FeedStateTest, SessionThatEndsByItselfReturnsToIdleAndCanRunAgain) {
    fake::engine().addFile("clip.mp4", true, false);
    ASSERT_EQ(FeedAddVideoSource(feed, "clip.mp4", 0, 1000), 1);
    ASSERT_EQ(FeedStart(feed), 1);
    ASSERT_TRUE(WaitUntilIdle(feed));
    EXPECT_EQ(FeedStop(feed), 0);  // nothing left to stop

    ASSERT_EQ(FeedStart(feed), 1);  // joins the last worker, starts a new one
    ASSERT_TRUE(WaitUntilIdle(feed));
    EXPECT_EQ(CountCalls("CreateSimpleCompositeSource"), 2u);
    EXPECT_EQ(CountCalls("C1.Stop"), 1u);
    EXPECT_EQ(CountCalls("C2.Stop"), 1u);
}

TEST_F(FeedStateTest, ARefusalRightAfterStartKeepsItsCodeWhileTheSessionStarts) {
    fake::engine().addFile("clip.mp4", true, false);
    fake::engine().setHoldEnd(true);
    ASSERT_EQ(FeedAddVideoSource(feed, "clip.mp4", 0, 1000), 1);
    for (int round = 1; round <= 20; ++round) {
        ASSERT_EQ(FeedStart(feed), 1);
        EXPECT_EQ(FeedAddVideoSource(feed, "clip.mp4", 0, 1000), -1);  // busy
        ASSERT_TRUE(
            Eventually([&] { return CountCalls("C" + std::to_string(round) + ".Run") == 1; }));
        EXPECT_EQ(FeedGetErrorCode(feed), -1);  // the worker's start does not clear it
        EXPECT_EQ(ErrorText(), kWrongState);
        FeedStop(feed);
    }
}

TEST_F(FeedStateTest, ADurationBeyondTheRangeOfMillisecondsIsClampedNotWrapped) {
    fake::engine().addFile("long.mp4", true, false);
    fake::engine().setHoldEnd(true);
    FeedAddVideoSource(feed, "long.mp4", 0, INT32_MAX);
    FeedAddVideoSource(feed, "long.mp4", 0, INT32_MAX);
    ASSERT_EQ(FeedStart(feed), 1);
    ASSERT_TRUE(Eventually([&] { return FeedGetDuration(feed) != -1; }));
    EXPECT_EQ(FeedGetDuration(feed), INT32_MAX);
}

TEST_F(FeedStateTest, DestroyingARunningFeedStopsAndReleasesTheSessionFirst) {
    StartEndlessSession();
    FeedPause(feed);
    FeedDestroy(feed);
    feed = nullptr;  // FeedDestroy(nullptr) in TearDown does nothing
    const std::vector<std::string> calls = fake::engine().calls();
    EXPECT_THAT(calls, Contains("C1.Stop"));
    EXPECT_THAT(fake::engine().faults(), ::testing::IsEmpty());
}

TEST_F(FeedStateTest, PauseRacingTheNaturalEndNeverStrandsTheFeed) {
    // A session that ends within a poll or two, paused and resumed while it ends: whatever
    // the interleaving, once resumed the feed comes back to Idle by itself, with no Stop, and
    // no worker is left to stop.
    fake::engine().addFile("clip.mp4", true, false);
    ASSERT_EQ(FeedAddVideoSource(feed, "clip.mp4", 0, 1000), 1);
    for (int round = 0; round < 5; ++round) {
        ASSERT_EQ(FeedStart(feed), 1);
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(250);
        while (std::chrono::steady_clock::now() < until && FeedGetState(feed) != FEED_STATE_IDLE) {
            FeedPause(feed);
            FeedStart(feed);
        }
        // The race may leave it Paused (the last pause won) or Running: resume, then wait.
        // Should the session end between the two calls, FeedStart begins another one, which
        // ends by itself as well.
        if (FeedGetState(feed) == FEED_STATE_PAUSED) {
            FeedStart(feed);
        }
        ASSERT_TRUE(WaitUntilIdle(feed))
            << "round " << round << ": the feed stays "
            << (FeedGetState(feed) == FEED_STATE_PAUSED ? "Paused" : "Running");
        EXPECT_EQ(FeedStop(feed), 0) << "round " << round;  // nothing left to stop
    }
}

TEST(FeedLifetimeTest, DestroyIgnoresNullAndErrorTextOfUnknownCodesIsEmpty) {
    FeedDestroy(nullptr);
    EXPECT_STREQ(feed::FeedErrorText(10), "");
    EXPECT_STREQ(feed::FeedErrorText(-1), "");
    EXPECT_STREQ(feed::FeedErrorText(0), "");
    EXPECT_STREQ(feed::FeedErrorText(9), "No inut file");
    EXPECT_STREQ(feed::FeedErrorText(2), "The media has problem");
}

}  // namespace
