// The source list: ids, times and their conversions, the order of checks and the messages.
#include <cmath>
#include <cstring>

#include "tests/feed/FeedTestSupport.h"

namespace {

using SourceListTest = FeedFixture;

std::int32_t StartOf(FeedHandle feed, std::int32_t id) {
    std::int32_t start = 0;
    std::int32_t stop = 0;
    EXPECT_EQ(FeedGetSourceTimes(feed, id, &start, &stop), 1);
    return start;
}

TEST_F(SourceListTest, IdsCountUpAcrossKindsAndEachAddReportsSuccess) {
    FeedPause(feed);  // a refusal, so that the success of each add is visible
    EXPECT_EQ(FeedAddVideoSource(feed, "video.mp4", 0, 5000), 1);
    EXPECT_EQ(FeedGetErrorCode(feed), 0);
    EXPECT_EQ(ErrorText(), "");
    FeedPause(feed);
    EXPECT_EQ(FeedAddAudioSource(feed, "music.mp3", 1000, 4000), 2);
    EXPECT_EQ(FeedGetErrorCode(feed), 0);
    EXPECT_EQ(FeedAddVideoSourceEx(feed, "", nullptr, 0, 2000, 2000), 3);  // empty, equal

    const session::SourceList& sources = Shared().sources;
    ASSERT_EQ(sources.size(), 3u);
    EXPECT_EQ(sources.at(1).kind, session::SourceKind::Video);
    EXPECT_EQ(sources.at(2).kind, session::SourceKind::Audio);
    EXPECT_EQ(sources.at(2).name, "music.mp3");
    EXPECT_EQ(sources.at(3).name, "");
    EXPECT_EQ(sources.at(1).cropRect, session::SourceEntry::kNoCrop);
    EXPECT_EQ(sources.at(1).clipParam, 0);
}

TEST_F(SourceListTest, RemovedIdsAreNotHandedOutAgainButClearRestartsThem) {
    for (int i = 0; i < 3; ++i) {
        FeedAddVideoSource(feed, "v.mp4", 0, 1000);
    }
    EXPECT_EQ(FeedRemoveSource(feed, 2), 1);
    EXPECT_EQ(FeedRemoveSource(feed, 2), 0);
    EXPECT_EQ(ErrorText(), "Source index invalid");
    EXPECT_EQ(FeedAddAudioSource(feed, "a.mp3", 0, 1000), 4);

    EXPECT_EQ(FeedClearSources(feed), 1);
    EXPECT_TRUE(Shared().sources.empty());
    EXPECT_EQ(FeedAddVideoSource(feed, "v.mp4", 0, 1000), 1);
    FeedClearSources(feed);
    FeedPause(feed);
    EXPECT_EQ(FeedClearSources(feed), 1);  // an empty list clears the same way
    EXPECT_EQ(FeedGetErrorCode(feed), 0);
}

TEST_F(SourceListTest, AddWithStopBeforeStartIsRefusedSilentlyAndTakesNoId) {
    EXPECT_EQ(FeedAddVideoSource(feed, "v.mp4", 0, 1000), 1);
    EXPECT_EQ(FeedRemoveSource(feed, 99), 0);
    EXPECT_EQ(FeedAddVideoSource(feed, "v.mp4", 5000, 1000), -1);
    EXPECT_EQ(FeedAddAudioSource(feed, "a.mp3", 5000, 1000), -1);
    EXPECT_EQ(FeedAddVideoSourceEx(feed, "v.mp4", nullptr, 0, 1, 0), -1);
    EXPECT_EQ(ErrorText(), "Source index invalid");  // the refusal before stays readable
    EXPECT_EQ(FeedGetErrorCode(feed), -1);
    EXPECT_EQ(FeedAddVideoSource(feed, "v.mp4", 0, 1000), 2);
}

TEST_F(SourceListTest, SetAndGetTimesCheckIdThenOrderAndKeepTimesOnRefusal) {
    ASSERT_EQ(FeedAddVideoSource(feed, "v.mp4", 0, 5000), 1);
    EXPECT_EQ(FeedSetSourceTimes(feed, 1, 1000, 3000), 1);
    std::int32_t start = 0;
    std::int32_t stop = 0;
    EXPECT_EQ(FeedGetSourceTimes(feed, 1, &start, &stop), 1);
    EXPECT_EQ(start, 1000);
    EXPECT_EQ(stop, 3000);

    EXPECT_EQ(FeedSetSourceTimes(feed, 1, 3000, 1000), 0);
    EXPECT_EQ(ErrorText(), "Start time or Stop time invalid");
    FeedGetSourceTimes(feed, 1, &start, &stop);
    EXPECT_EQ(start, 1000);
    EXPECT_EQ(stop, 3000);
    EXPECT_EQ(FeedSetSourceTimes(feed, 1, 2500, 2500), 1);

    // A missing id wins over times out of order.
    EXPECT_EQ(FeedSetSourceTimes(feed, 5, 3000, 1000), 0);
    EXPECT_EQ(ErrorText(), "Source index invalid");
    start = stop = 77;
    EXPECT_EQ(FeedGetSourceTimes(feed, 5, &start, &stop), 0);
    EXPECT_EQ(ErrorText(), "Source index invalid");
    EXPECT_EQ(start, 77);  // outputs are written only on success
    EXPECT_EQ(stop, 77);
    // Null outputs are not written, and the call still succeeds.
    EXPECT_EQ(FeedGetSourceTimes(feed, 1, nullptr, &stop), 1);
    EXPECT_EQ(stop, 2500);
    EXPECT_EQ(FeedGetSourceTimes(feed, 1, &start, nullptr), 1);
    EXPECT_EQ(start, 2500);
    // Setting times leaves the rest of the entry alone.
    EXPECT_EQ(Shared().sources.at(1).name, "v.mp4");
    EXPECT_EQ(Shared().sources.at(1).kind, session::SourceKind::Video);
}

TEST_F(SourceListTest, TimesReadBackAtMostOneMillisecondNearerToZero) {
    FeedAddVideoSource(feed, "v.mp4", 4007, 4007);
    EXPECT_EQ(StartOf(feed, 1), 4006);  // 4.007 x 1000.0 is 4006.9999999999995
    FeedAddVideoSource(feed, "v.mp4", 1001, 1001);
    EXPECT_EQ(StartOf(feed, 2), 1001);
    FeedAddVideoSource(feed, "v.mp4", -1000, 0);
    EXPECT_EQ(StartOf(feed, 3), -1000);

    // Never farther from zero, never more than one nearer, over a wide sweep of times.
    int lossy = 0;
    for (std::int32_t ms = -200000; ms <= 200000; ms += 7) {
        ASSERT_EQ(FeedSetSourceTimes(feed, 1, ms, ms), 1);
        const std::int32_t back = StartOf(feed, 1);
        ASSERT_LE(std::abs(back), std::abs(ms)) << ms;
        ASSERT_LE(std::abs(ms) - std::abs(back), 1) << ms;
        lossy += back != ms ? 1 : 0;
    }
    EXPECT_GT(lossy, 0);
    // The extremes convert without overflow, and come back at most one nearer to zero.
    ASSERT_EQ(FeedSetSourceTimes(feed, 1, INT32_MIN, INT32_MAX), 1);
    std::int32_t start = 0;
    std::int32_t stop = 0;
    ASSERT_EQ(FeedGetSourceTimes(feed, 1, &start, &stop), 1);
    EXPECT_LE(start, INT32_MIN + 1);
    EXPECT_GE(stop, INT32_MAX - 1);
}

TEST_F(SourceListTest, ExtendedAddCopiesCropAndClipParameterAndNullRectMeansNone) {
    std::int32_t rect[4] = {0, 0, 320, 240};
    ASSERT_EQ(FeedAddVideoSourceEx(feed, "v.mp4", rect, 5, 0, 1000), 1);
    rect[2] = 999;  // the host's array is not kept
    const session::SourceEntry& entry = Shared().sources.at(1);
    EXPECT_EQ(entry.cropRect, (session::SourceEntry::Rect{0, 0, 320, 240}));
    EXPECT_EQ(entry.clipParam, 5);
    EXPECT_EQ(entry.kind, session::SourceKind::Video);

    ASSERT_EQ(FeedAddVideoSourceEx(feed, "v.mp4", nullptr, 9, 0, 1000), 2);
    EXPECT_EQ(Shared().sources.at(2).cropRect, session::SourceEntry::kNoCrop);
    EXPECT_EQ(Shared().sources.at(2).clipParam, 9);

    // The host's name is copied too.
    char name[] = "copied.mp4";
    FeedAddAudioSource(feed, name, 0, 1);
    std::strcpy(name, "changed!!!");
    EXPECT_EQ(Shared().sources.at(3).name, "copied.mp4");
}

TEST_F(SourceListTest, NullNameAndExhaustedIdsAreRefusedWithoutTakingAnId) {
    EXPECT_EQ(FeedAddVideoSource(feed, nullptr, 0, 1000), -1);
    EXPECT_EQ(ErrorText(), "No inut file");
    EXPECT_EQ(FeedAddAudioSource(feed, nullptr, 0, 1000), -1);
    EXPECT_EQ(FeedAddVideoSource(feed, "v.mp4", 0, 1000), 1);

    feed::FeedTestAccess::SetNextId(feed, INT32_MAX - 1);
    EXPECT_EQ(FeedAddVideoSource(feed, "v.mp4", 0, 1000), INT32_MAX);
    EXPECT_EQ(FeedAddVideoSource(feed, "v.mp4", 0, 1000), -1);
    EXPECT_EQ(ErrorText(), "Source index invalid");
    EXPECT_EQ(Shared().sources.size(), 2u);
    EXPECT_EQ(Shared().sources.begin()->first, 1);  // nothing wrapped around or overwritten
    FeedClearSources(feed);
    EXPECT_EQ(FeedAddVideoSource(feed, "v.mp4", 0, 1000), 1);
}

TEST_F(SourceListTest, EveryListOperationIsRefusedWhileRunningOrPaused) {
    StartEndlessSession();
    for (const FeedState state : {FEED_STATE_RUNNING, FEED_STATE_PAUSED}) {
        if (state == FEED_STATE_PAUSED) {
            FeedPause(feed);
        }
        std::int32_t start = 55;
        const std::int32_t rect[4] = {1, 2, 3, 4};
        EXPECT_EQ(FeedAddVideoSource(feed, "v.mp4", 0, 1000), -1);
        EXPECT_EQ(FeedAddAudioSource(feed, "a.mp3", 0, 1000), -1);
        EXPECT_EQ(FeedAddVideoSourceEx(feed, "v.mp4", rect, 0, 0, 1000), -1);
        // Busy wins over a stop before the start (which alone is refused without a report,
        // so a success is reported first to tell the two apart) and over a missing id.
        FeedGetDuration(feed);  // a success while a session is active
        ASSERT_EQ(FeedGetErrorCode(feed), 0);
        EXPECT_EQ(FeedAddVideoSource(feed, "v.mp4", 1000, 0), -1);
        EXPECT_EQ(ErrorText(), kWrongState);
        FeedGetDuration(feed);
        ASSERT_EQ(FeedGetErrorCode(feed), 0);
        EXPECT_EQ(FeedRemoveSource(feed, 42), 0);
        EXPECT_EQ(ErrorText(), kWrongState);
        EXPECT_EQ(FeedClearSources(feed), 0);
        EXPECT_EQ(FeedSetSourceTimes(feed, 1, 3000, 1000), 0);
        EXPECT_EQ(ErrorText(), kWrongState);
        EXPECT_EQ(FeedGetSourceTimes(feed, 1, &start, nullptr), 0);
        EXPECT_EQ(ErrorText(), kWrongState);
        EXPECT_EQ(FeedGetErrorCode(feed), -1);
        EXPECT_EQ(start, 55);
        EXPECT_EQ(Shared().sources.size(), 1u);
    }
    FeedStop(feed);
    EXPECT_EQ(FeedAddVideoSource(feed, "v.mp4", 0, 1000), 2);
}

}  // namespace
