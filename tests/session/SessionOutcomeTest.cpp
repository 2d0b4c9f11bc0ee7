// Why a session ended and what became of each source, as the scripted engine makes it happen:
// the end reason of each way a session ends, each source's outcome, and that none of these
// calls touches the result the contract's own calls report.
#include <cstring>
#include <optional>
#include <string>

#include "tests/feed/FeedTestSupport.h"

namespace {

class SessionOutcomeTest : public FeedFixture {
  protected:
    std::pair<FeedEndReason, std::string> End() const {
        char message[300];
        std::memset(message, 'x', sizeof message);
        const FeedEndReason reason = FeedGetEndReason(feed, message, sizeof message);
        return {reason, message};
    }

    FeedSourceOutcome Outcome(std::int32_t id, std::int32_t* result = nullptr) const {
        FeedSourceOutcome outcome{};
        outcome.size = sizeof outcome;
        const std::int32_t found = FeedGetSourceOutcome(feed, id, &outcome);
        if (result != nullptr) {
            *result = found;
        }
        return outcome;
    }

    void RunToEnd() {
        ASSERT_EQ(FeedStart(feed), 1);
        ASSERT_TRUE(WaitUntilIdle(feed));
        FeedStop(feed);  // joins the worker, which has set the end reason by then
    }
};

TEST_F(SessionOutcomeTest, EachWayASessionEndsHasItsReason) {
    fake::engine().addFile("v.mp4", true, true);
    ASSERT_EQ(FeedAddVideoSource(feed, "v.mp4", 0, 1000), 1);
    EXPECT_EQ(End(), std::make_pair(FeedEndReason{FEED_END_NONE}, std::string()));

    // Each run ends by itself, as the engine lets it or fails it; the video size shows in what
    // the engine refuses.
    ASSERT_EQ(FeedSetVideoSize(feed, 640, 360), 1);
    const struct {
        std::optional<fake::Step> failure;
        FeedEndReason reason;
        const char* message;
    } endings[] = {
        {std::nullopt, FEED_END_FINISHED, ""},
        {fake::Step::EndByFailure, FEED_END_ENGINE_FAILED,
         "the engine failed while playing the video timeline (status 0x8007000E: out of memory or "
         "threads)"},
        {fake::Step::PrepareVideo, FEED_END_NOT_BUILT,
         "the engine refused the video output format (640x360 pixels at 0 fps; status "
         "0x80004005)"},
        {fake::Step::CreateComposite, FEED_END_NOT_BUILT,
         "the engine could not create the video timeline (status 0x80004005)"},
    };
    for (const auto& ending : endings) {
        if (ending.failure) {
            fake::engine().failNext(*ending.failure);
        }
        RunToEnd();
        EXPECT_EQ(End(), std::make_pair(ending.reason, std::string(ending.message)));
    }

    fake::engine().setHoldEnd(true);
    ASSERT_EQ(FeedStart(feed), 1);
    EXPECT_EQ(End().first, FEED_END_NONE);  // the last reason is gone once a session starts
    ASSERT_EQ(FeedStop(feed), 1);
    EXPECT_EQ(End().first, FEED_END_STOPPED);
}

TEST_F(SessionOutcomeTest, EachSourceSaysWhetherItPlayedAndWhyNot) {
    fake::engine().addFile("v.mp4", true, true);
    fake::engine().addFile("a.wav", false, true);
    ASSERT_EQ(FeedAddVideoSource(feed, "v.mp4", 0, 1000), 1);
    ASSERT_EQ(FeedAddVideoSource(feed, "gone.mp4", 0, 1000), 2);
    ASSERT_EQ(FeedAddVideoSource(feed, "a.wav", 0, 1000), 3);
    ASSERT_EQ(FeedAddAudioSource(feed, "v.mp4", 0, 1000), 4);
    RunToEnd();

    struct Expected {
        std::int32_t outcome;
        const char* message;
    };
    const Expected expected[] = {
        {FEED_OUTCOME_PLAYED, ""},
        {FEED_OUTCOME_NOT_OPENED,
         "source 2 ('gone.mp4') could not be opened: no such file; it played as black"},
        {FEED_OUTCOME_NO_STREAM, "source 3 ('a.wav') has no video stream; it played as black"},
        {FEED_OUTCOME_PLAYED, ""},
    };
    for (std::int32_t id = 1; id <= 4; ++id) {
        std::int32_t found = 0;
        const FeedSourceOutcome outcome = Outcome(id, &found);
        EXPECT_EQ(found, 1) << id;
        EXPECT_EQ(outcome.outcome, expected[id - 1].outcome) << id;
        EXPECT_STREQ(outcome.message, expected[id - 1].message) << id;
        EXPECT_EQ(outcome.streamLengthMs, -1) << id;  // the scripted engine gives no lengths
    }
    EXPECT_EQ(End().second,
              std::string(expected[1].message) + " (and 1 more source that did not play as asked)");

    // Ids the last session did not have, a record too small and none at all: 0, nothing written.
    std::int32_t found = -1;
    Outcome(5, &found);
    EXPECT_EQ(found, 0);
    FeedSourceOutcome small{};
    small.size = sizeof small - 1;
    small.outcome = 77;
    EXPECT_EQ(FeedGetSourceOutcome(feed, 1, &small), 0);
    EXPECT_EQ(small.outcome, 77);
    EXPECT_EQ(FeedGetSourceOutcome(feed, 1, nullptr), 0);
    ASSERT_EQ(FeedRemoveSource(feed, 2), 1);
    Outcome(2, &found);
    EXPECT_EQ(found, 0);
    ASSERT_EQ(FeedClearSources(feed), 1);
    Outcome(1, &found);
    EXPECT_EQ(found, 0);
}

TEST_F(SessionOutcomeTest, SourcesASessionDidNotReachAndMessagesCutToTheBuffer) {
    fake::engine().addFile("v.mp4", true, true);
    ASSERT_EQ(FeedAddVideoSource(feed, "v.mp4", 0, 1000), 1);
    fake::engine().failNext(fake::Step::SelectSources);  // a failure the engine gives no reason for
    RunToEnd();
    EXPECT_EQ(Outcome(1).outcome, FEED_OUTCOME_NOT_OPENED);
    EXPECT_STREQ(Outcome(1).message,
                 "source 1 ('v.mp4') could not be opened: the engine gave status 0x80004005; it "
                 "played as black");

    fake::engine().failNext(fake::Step::CreateComposite);  // built no further than its timeline
    RunToEnd();
    EXPECT_EQ(End().first, FEED_END_NOT_BUILT);
    EXPECT_EQ(Outcome(1).outcome, FEED_OUTCOME_NOT_REACHED);

    char cut[8];
    EXPECT_EQ(FeedGetEndReason(feed, cut, sizeof cut), FEED_END_NOT_BUILT);
    EXPECT_STREQ(cut, "the eng");
    EXPECT_EQ(FeedGetEndReason(feed, nullptr, 100), FEED_END_NOT_BUILT);
    EXPECT_EQ(FeedGetEndReason(feed, cut, 0), FEED_END_NOT_BUILT);
}

TEST_F(SessionOutcomeTest, TheNewCallsLeaveTheReportedResultAsItWas) {
    fake::engine().addFile("v.mp4", true, true);
    ASSERT_EQ(FeedAddVideoSource(feed, "v.mp4", 0, 1000), 1);
    RunToEnd();
    EXPECT_EQ(FeedRemoveSource(feed, 99), 0);
    End();
    Outcome(1);
    EXPECT_EQ(FeedGetVersion(), FEED_VERSION_NUMBER);
    EXPECT_EQ(FeedGetErrorCode(feed), -1);
    EXPECT_EQ(ErrorText(), "Source index invalid");
}

}  // namespace
