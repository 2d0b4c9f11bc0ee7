// The session worker against the scripted engine: the whole sequence of engine calls of a
// session, padding, failures while building, and how pause, resume and stop reach the engine.
#include <algorithm>
#include <string>
#include <tuple>

#include "tests/feed/FeedTestSupport.h"

using ::testing::Contains;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ::testing::Not;

namespace {

using Calls = std::vector<std::string>;

class SessionWorkerTest : public FeedFixture {
  protected:
    // Runs the session to its natural end (the scripted engine's series are empty, so both
    // timelines end at once) and returns the engine calls it made.
    Calls RunToEnd() {
        EXPECT_EQ(FeedStart(feed), 1);
        EXPECT_TRUE(WaitUntilIdle(feed));
        FeedStop(feed);  // joins the finished worker
        return fake::engine().calls();
    }

    // Starts a one-clip video session that never ends by itself and holds it while it selects
    // its sources, still building.
    void StartHeldWhileBuilding() {
        fake::engine().addFile("v.mp4", true, false);
        fake::engine().setHoldEnd(true);
        FeedAddVideoSource(feed, "v.mp4", 0, 1000);
        fake::engine().blockAt(fake::Step::SelectSources);
        ASSERT_EQ(FeedStart(feed), 1);
        fake::engine().waitUntilBlocked();
    }

    // True when `expected` occurs in the log in this order (other calls may come between).
    static bool InOrder(const Calls& expected) {
        const Calls calls = fake::engine().calls();
        auto at = calls.begin();
        for (const std::string& call : expected) {
            at = std::find(at, calls.end(), call);
            if (at == calls.end()) {
                return false;
            }
            ++at;
        }
        return true;
    }

    static bool WaitForCall(const std::string& call, std::size_t times = 1) {
        return Eventually([&] { return CountCalls(call) >= times; });
    }
};

TEST_F(SessionWorkerTest, TypicalSessionBuildsPadsRunsAndReleasesInOrder) {
    fake::engine().addFile("video.mp4", true, true);
    fake::engine().addFile("music.mp3", false, true);
    ASSERT_EQ(FeedAddVideoSource(feed, "video.mp4", 0, 5000), 1);
    ASSERT_EQ(FeedAddAudioSource(feed, "music.mp3", 1000, 4000), 2);
    FeedSetVideoSize(feed, 320, 240);
    FeedSetFrameRate(feed, 25.0);

    EXPECT_THAT(RunToEnd(), ElementsAreArray(Calls{
                                // the video timeline: one clip
                                "CreateSimpleCompositeSource -> C1",
                                "C1.QueryInterface(ICompositeEdit) -> C1/edit",
                                "C1/edit.SetVideoFormat(320, 240, 25)",
                                "SelectSources(\"video.mp4\") -> S1, S2",
                                "S2.Release",
                                "C1/edit.AddClip(S1, {-1, -1, -1, -1}, 0, 0, 0, 50000000, 0, "
                                "50000000)",
                                "S1.Release",
                                // the audio timeline: one clip, then 2 s of padding
                                "CreateSimpleCompositeSource -> C2",
                                "C2.QueryInterface(ICompositeEdit) -> C2/edit",
                                "C2/edit.SetAudioFormat(44100, 2)",
                                "SelectSources(\"music.mp3\") -> none, S3",
                                "C2/edit.AddClip(S3, {-1, -1, -1, -1}, 0, 0, 10000000, 40000000, "
                                "0, 30000000)",
                                "S3.Release",
                                "CreateEmptySource -> X1",
                                "X1.Prepare(1)",
                                "C2/edit.AddClip(X1, {-1, -1, -1, -1}, 0, 0, 0, 20000000, "
                                "30000000, 50000000)",
                                "X1.Release",
                                // outputs, video first
                                "CreateCallBackMediaAcceptor -> A1",
                                "C1/edit.QueryInterface(IAcceptorConnection) -> C1/conn",
                                "C1/conn.ConnectAcceptor(A1)",
                                "C1.Prepare(0)",
                                "C1/conn.Release",
                                "CreateCallBackMediaAcceptor -> A2",
                                "C2/edit.QueryInterface(IAcceptorConnection) -> C2/conn",
                                "C2/conn.ConnectAcceptor(A2)",
                                "C2.Prepare(1)",
                                "C2/conn.Release",
                                // sync in place before anything runs; video starts first
                                "CreateAudioVideoSync -> Y1",
                                "Y1.AttachAcceptors(A1, A2)",
                                "C1.Run",
                                "C2.Run",
                                // teardown
                                "C1.Stop",
                                "C2.Stop",
                                "Y1.Release",
                                "A2.Release",
                                "A1.Release",
                                "C2.Release",
                                "C2/edit.Release",
                                "C1.Release",
                                "C1/edit.Release",
                            }));
    EXPECT_EQ(Shared().durationMs.load(), 5000);
    EXPECT_EQ(Shared().syncObject.load(), nullptr);
    EXPECT_FALSE(Shared().fadeBuffer.allocated());
    EXPECT_THAT(fake::engine().faults(), IsEmpty());
}

TEST_F(SessionWorkerTest, OneKindOnlyMakesOneTimelineAndNoSyncObject) {
    fake::engine().addFile("v.mp4", true, false);
    FeedAddVideoSource(feed, "v.mp4", 0, 2000);
    FeedAddVideoSource(feed, "v.mp4", 500, 3500);
    Calls calls = RunToEnd();
    EXPECT_THAT(calls, Contains("C1/edit.AddClip(S1, {-1, -1, -1, -1}, 0, 0, 0, 20000000, 0, "
                                "20000000)"));
    EXPECT_THAT(calls, Contains("C1/edit.AddClip(S2, {-1, -1, -1, -1}, 0, 0, 5000000, 35000000, "
                                "20000000, 50000000)"));
    EXPECT_EQ(CountCalls("CreateSimpleCompositeSource"), 1u);
    EXPECT_EQ(CountCalls("CreateAudioVideoSync"), 0u);
    EXPECT_EQ(CountCalls("CreateEmptySource"), 0u);
    EXPECT_EQ(Shared().durationMs.load(), 5000);

    fake::engine().reset();
    fake::engine().addFile("a.mp3", false, true);
    FeedClearSources(feed);
    FeedAddAudioSource(feed, "a.mp3", 0, 1234);
    calls = RunToEnd();
    EXPECT_THAT(calls, Contains("C1/edit.SetAudioFormat(44100, 2)"));
    EXPECT_THAT(calls, Contains("C1.Prepare(1)"));
    EXPECT_EQ(CountCalls("CreateSimpleCompositeSource"), 1u);
    EXPECT_EQ(CountCalls("CreateCallBackMediaAcceptor"), 1u);
    EXPECT_EQ(CountCalls("CreateAudioVideoSync"), 0u);
    EXPECT_EQ(Shared().durationMs.load(), 1234);
}

TEST_F(SessionWorkerTest, OnlyTheShorterTimelineIsPaddedAndOnlyAtItsEnd) {
    fake::engine().addFile("v.mp4", true, false);
    fake::engine().addFile("a.mp3", false, true);
    // Equal lengths: no padding.
    FeedAddVideoSource(feed, "v.mp4", 0, 3000);
    FeedAddAudioSource(feed, "a.mp3", 1000, 4000);
    RunToEnd();
    EXPECT_EQ(CountCalls("CreateEmptySource"), 0u);

    // Video shorter than audio: an empty video source fills the gap.
    fake::engine().reset();
    fake::engine().addFile("v.mp4", true, false);
    fake::engine().addFile("a.mp3", false, true);
    FeedSetSourceTimes(feed, 1, 0, 1000);
    FeedSetClipMode(feed, 2);
    const Calls calls = RunToEnd();
    EXPECT_TRUE(InOrder({"CreateEmptySource -> X1", "X1.Prepare(0)",
                         "C1/edit.AddClip(X1, {-1, -1, -1, -1}, 2, 0, 0, 20000000, 10000000, "
                         "30000000)",
                         "X1.Release"}));
    EXPECT_EQ(Shared().durationMs.load(), 3000);
}

TEST_F(SessionWorkerTest, FileWithoutTheWantedStreamGetsAnEmptySourceAndVideoLosesItsCrop) {
    fake::engine().addFile("audio-only.mp3", false, true);
    const std::int32_t crop[4] = {1, 2, 3, 4};
    FeedAddVideoSourceEx(feed, "missing.mp4", crop, 9, 0, 1000);
    FeedAddVideoSourceEx(feed, "audio-only.mp3", crop, 8, 0, 1000);
    FeedAddVideoSourceEx(feed, "", crop, 7, 0, 1000);
    FeedAddAudioSource(feed, "missing.mp3", 0, 3000);
    RunToEnd();
    EXPECT_TRUE(InOrder({
        "SelectSources(\"missing.mp4\") -> fail",
        "CreateEmptySource -> X1",
        "X1.Prepare(0)",
        "C1/edit.AddClip(X1, {-1, -1, -1, -1}, 0, 9, 0, 10000000, 0, 10000000)",
        "SelectSources(\"audio-only.mp3\") -> none, S1",
        "S1.Release",
        "CreateEmptySource -> X2",
        "X2.Prepare(0)",
        "C1/edit.AddClip(X2, {-1, -1, -1, -1}, 0, 8, 0, 10000000, 10000000, 20000000)",
        "SelectSources(\"\") -> fail",  // an empty name goes to the engine like any other
        "C1/edit.AddClip(X3, {-1, -1, -1, -1}, 0, 7, 0, 10000000, 20000000, 30000000)",
        "SelectSources(\"missing.mp3\") -> fail",
        "X4.Prepare(1)",
        "C2/edit.AddClip(X4, {-1, -1, -1, -1}, 0, 0, 0, 30000000, 0, 30000000)",
    }));
    // The reset crop outlives the session; the clip parameter is kept.
    EXPECT_EQ(Shared().sources.at(1).cropRect, session::SourceEntry::kNoCrop);
    EXPECT_EQ(Shared().sources.at(1).clipParam, 9);
    EXPECT_EQ(Shared().sources.at(2).cropRect, session::SourceEntry::kNoCrop);
}

TEST_F(SessionWorkerTest, CropClipModeAndClipParameterReachTheEngineAsStored) {
    fake::engine().addFile("v.mp4", true, true);
    const std::int32_t crop[4] = {10, 20, 330, 260};
    FeedAddVideoSourceEx(feed, "v.mp4", crop, 0x00FF00, 0, 1000);
    FeedAddAudioSource(feed, "v.mp4", 0, 500);
    FeedSetClipMode(feed, 1);
    FeedSetAudioSampleRate(feed, 48000);
    FeedSetAudioChannels(feed, 1);
    const Calls calls = RunToEnd();
    EXPECT_THAT(calls, Contains("C1/edit.AddClip(S1, {10, 20, 330, 260}, 1, 65280, 0, 10000000, 0, "
                                "10000000)"));
    EXPECT_THAT(calls, Contains("C1/edit.SetVideoFormat(0, 0, 0)"));  // unset: the engine's choice
    EXPECT_THAT(calls, Contains("C2/edit.SetAudioFormat(48000, 1)"));
    EXPECT_THAT(calls, Contains("C2/edit.AddClip(X1, {-1, -1, -1, -1}, 1, 0, 0, 5000000, 5000000, "
                                "10000000)"));
    EXPECT_EQ(Shared().sources.at(1).cropRect, (session::SourceEntry::Rect{10, 20, 330, 260}));
}

TEST_F(SessionWorkerTest, SyncCanBeSwitchedOffForTheNextSession) {
    fake::engine().addFile("v.mp4", true, true);
    FeedAddVideoSource(feed, "v.mp4", 0, 1000);
    FeedAddAudioSource(feed, "v.mp4", 0, 1000);
    EXPECT_EQ(FeedSetSyncEnabled(feed, 0), 0);
    RunToEnd();
    EXPECT_EQ(CountCalls("CreateAudioVideoSync"), 0u);
    EXPECT_TRUE(InOrder({"C1.Run", "C2.Run", "C1.Stop", "C2.Stop"}));
}

TEST_F(SessionWorkerTest, FailureBeforeAnythingIsPreparedReleasesWhatWasMadeAndRunsNothing) {
    fake::engine().addFile("v.mp4", true, true);
    FeedAddVideoSource(feed, "v.mp4", 0, 1000);
    FeedAddAudioSource(feed, "v.mp4", 0, 1000);
    const std::int32_t crop[4] = {1, 1, 2, 2};
    FeedAddVideoSourceEx(feed, "gone.mp4", crop, 0, 0, 1000);
    // The video composite is made and filled; then the audio composite cannot be made.
    fake::engine().blockAt(fake::Step::SelectSources);
    ASSERT_EQ(FeedStart(feed), 1);
    fake::engine().waitUntilBlocked();
    fake::engine().failNext(fake::Step::CreateComposite);
    fake::engine().release();
    ASSERT_TRUE(WaitUntilIdle(feed));
    FeedStop(feed);
    const Calls calls = fake::engine().calls();
    const Calls tail(calls.end() - 3, calls.end());
    EXPECT_THAT(tail, ElementsAreArray(Calls{"CreateSimpleCompositeSource -> fail", "C1.Release",
                                             "C1/edit.Release"}));
    EXPECT_THAT(calls, Not(Contains("C1.Run")));
    EXPECT_EQ(Shared().durationMs.load(), -1);
    EXPECT_EQ(FeedGetErrorCode(feed), 0);  // not reported
    EXPECT_EQ(Shared().sources.at(3).cropRect,
              session::SourceEntry::kNoCrop);  // reset before failing
    EXPECT_THAT(fake::engine().faults(), IsEmpty());

    // A composite without an editor fails the same way.
    fake::engine().reset();
    fake::engine().addFile("v.mp4", true, true);
    fake::engine().failNext(fake::Step::QueryCompositeEdit);
    const Calls noEditor = RunToEnd();
    EXPECT_THAT(noEditor,
                ElementsAreArray(Calls{"CreateSimpleCompositeSource -> C1",
                                       "C1.QueryInterface(ICompositeEdit) -> fail", "C1.Release"}));
}

TEST_F(SessionWorkerTest, AFrameSizeWhoseByteLengthExceedsInt32RunsNothing) {
    fake::engine().addFile("v.mp4", true, true);
    FeedAddVideoSource(feed, "v.mp4", 0, 1000);
    FeedAddAudioSource(feed, "v.mp4", 0, 1000);
    // 23170 x 23170 x 4 = 2,147,395,600 bytes still fits; 30000 x 30000 x 4 (3.6 GB) and
    // 65536 x 16384 x 4 (4 GiB, 0 in 32 bits) do not.
    ASSERT_EQ(FeedSetVideoSize(feed, 23170, 23170), 1);
    EXPECT_THAT(RunToEnd(), Contains("C1/edit.SetVideoFormat(23170, 23170, 0)"));
    for (const auto& [width, height, bytes] :
         {std::tuple{30000, 30000, "3600000000"}, {65536, 16384, "4294967296"}}) {
        fake::engine().reset();
        fake::engine().addFile("v.mp4", true, true);
        ASSERT_EQ(FeedSetVideoSize(feed, width, height), 1);  // the setter keeps its results
        EXPECT_THAT(RunToEnd(), IsEmpty()) << width << "x" << height;
        EXPECT_EQ(Shared().durationMs.load(), -1);
        char message[200];
        EXPECT_EQ(FeedGetEndReason(feed, message, sizeof message), FEED_END_NOT_BUILT);
        EXPECT_EQ(std::string(message), "a video frame of " + std::to_string(width) + "x" +
                                            std::to_string(height) + " pixels takes " + bytes +
                                            " bytes, more than a frame's int32 length can carry");
    }
}

TEST_F(SessionWorkerTest, FailedPrepareReleasesTheConnectionThenEverythingInOrder) {
    fake::engine().addFile("v.mp4", true, true);
    FeedAddVideoSource(feed, "v.mp4", 0, 1000);
    FeedAddAudioSource(feed, "v.mp4", 0, 1000);
    fake::engine().failNext(fake::Step::PrepareAudio);
    const Calls calls = RunToEnd();
    const Calls tail(std::find(calls.begin(), calls.end(), "C2.Prepare(1) -> fail"), calls.end());
    EXPECT_THAT(tail, ElementsAreArray(Calls{"C2.Prepare(1) -> fail", "C2/conn.Release",
                                             "A2.Release", "A1.Release", "C2.Release",
                                             "C2/edit.Release", "C1.Release", "C1/edit.Release"}));
    EXPECT_THAT(calls, Not(Contains("C1.Run")));
    EXPECT_EQ(CountCalls("CreateAudioVideoSync"), 0u);
    EXPECT_EQ(Shared().durationMs.load(), -1);
    EXPECT_EQ(FeedGetState(feed), FEED_STATE_IDLE);

    // No acceptor, or no connection: the same way out, without using the missing object.
    for (const fake::Step step :
         {fake::Step::CreateAcceptor, fake::Step::QueryAcceptorConnection}) {
        fake::engine().reset();
        fake::engine().addFile("v.mp4", true, true);
        fake::engine().failNext(step);
        RunToEnd();
        EXPECT_EQ(CountCalls("C1.Run"), 0u);
        EXPECT_EQ(CountCalls("C1.Prepare"), 0u);
        EXPECT_THAT(fake::engine().faults(), IsEmpty());
    }
}

TEST_F(SessionWorkerTest, PauseResumeAndStopReachBothCompositesVideoFirst) {
    fake::engine().addFile("v.mp4", true, true);
    fake::engine().setHoldEnd(true);
    FeedAddVideoSource(feed, "v.mp4", 0, 1000);
    FeedAddAudioSource(feed, "v.mp4", 0, 1000);
    ASSERT_EQ(FeedStart(feed), 1);
    ASSERT_TRUE(WaitForCall("C2.Run"));
    FeedPause(feed);
    ASSERT_TRUE(WaitForCall("C2.Pause"));
    FeedStart(feed);
    ASSERT_TRUE(WaitForCall("C2.Run", 2));
    FeedPause(feed);
    ASSERT_TRUE(WaitForCall("C2.Pause", 2));
    EXPECT_EQ(FeedStop(feed), 1);  // leaves the paused wait without running again
    EXPECT_TRUE(InOrder({"C1.Run", "C2.Run", "C1.Pause", "C2.Pause", "C1.Run", "C2.Run", "C1.Pause",
                         "C2.Pause", "C1.Stop", "C2.Stop", "Y1.Release"}));
    EXPECT_EQ(CountCalls("C1.Run"), 2u);
}

TEST_F(SessionWorkerTest, StopWhileBuildingStartsAndAtOnceStopsTheEngine) {
    ASSERT_NO_FATAL_FAILURE(StartHeldWhileBuilding());

    std::int32_t stopResult = -1;
    std::thread host([&] { stopResult = FeedStop(feed); });
    ASSERT_TRUE(WaitUntilIdle(feed));
    fake::engine().release();
    host.join();  // Stop returns only after the teardown
    EXPECT_EQ(stopResult, 1);
    EXPECT_TRUE(InOrder({"C1.Run", "C1.Stop", "A1.Release", "C1.Release", "C1/edit.Release"}));
    EXPECT_EQ(fake::engine().isEndedCalls(), 0);  // no poll: Idle is seen before the first sleep
    EXPECT_THAT(fake::engine().faults(), IsEmpty());
}

TEST_F(SessionWorkerTest, PauseWhileBuildingPausesTheEngineAfterItStarts) {
    ASSERT_NO_FATAL_FAILURE(StartHeldWhileBuilding());
    EXPECT_EQ(FeedPause(feed), 1);
    fake::engine().release();
    ASSERT_TRUE(WaitForCall("C1.Pause"));
    EXPECT_EQ(FeedStop(feed), 1);
    EXPECT_TRUE(InOrder({"C1.Run", "C1.Pause", "C1.Stop"}));
}

// --- Frames and buffers through the whole chain ---------------------------------------------

struct HostLog {
    FeedHandle feed = nullptr;
    std::atomic<int> frames{0};
    std::atomic<int> buffers{0};
    std::atomic<std::int32_t> lastVideoMs{-1};
    std::atomic<std::int32_t> stopResult{-1};
    std::atomic<std::int32_t> restartResult{-1};
    std::atomic<const uint8_t*> firstFrame{nullptr};  // as the first callback got it
    bool stopOnFirstFrame = false;
};

std::intptr_t FEED_CALL CountFrame(void* user, const uint8_t* frame, int32_t, int32_t positionMs,
                                   int32_t, int32_t) {
    auto& log = *static_cast<HostLog*>(user);
    log.lastVideoMs = positionMs;
    if (log.frames == 0) {
        log.firstFrame = frame;
    }
    if (log.frames++ == 0 && log.stopOnFirstFrame) {
        log.stopResult = FeedStop(log.feed);      // must not wait for its own teardown
        log.restartResult = FeedStart(log.feed);  // cannot join from here: refused
    }
    return reinterpret_cast<std::intptr_t>(frame) + 1;  // the engine gets what the host returns
}

int32_t FEED_CALL CountBuffer(void* user, const uint8_t*, int32_t, int32_t, int32_t, int32_t,
                              int32_t) {
    ++static_cast<HostLog*>(user)->buffers;
    return 77;
}

fake::Delivery Frame(std::int64_t startMs) {
    return {startMs * 10000, 400000, std::vector<std::uint8_t>(4 * 2 * 4, 0x40)};
}

TEST_F(SessionWorkerTest, FramesAndBuffersReachTheHostAndTheSyncObjectUntilTheEnd) {
    fake::engine().addFile("v.mp4", true, true);
    fake::engine().setVideoSeries({4, 2, {Frame(0), Frame(40), Frame(80)}});
    fake::engine().setAudioSeries(
        {2, 44100, 16, {{0, 100000, std::vector<std::uint8_t>(1764)}, {100000, 100000, {}}}});
    FeedAddVideoSource(feed, "v.mp4", 0, 120);
    FeedAddAudioSource(feed, "v.mp4", 0, 120);
    HostLog log;
    FeedSetVideoCallback(feed, CountFrame, &log);
    FeedSetAudioCallback(feed, CountBuffer, &log);
    RunToEnd();

    EXPECT_EQ(log.frames.load(), 3);
    EXPECT_EQ(log.buffers.load(), 2);
    EXPECT_EQ(log.lastVideoMs.load(), 80);
    EXPECT_EQ(Shared().videoPositionMs.load(), 80);
    EXPECT_EQ(Shared().audioPositionMs.load(), 10);
    const std::vector<fake::Received> frames = fake::engine().videoReceived();
    ASSERT_EQ(frames.size(), 3u);
    // What the host returned, the frame's address plus one, not the frame's address itself.
    EXPECT_EQ(frames[0].result, reinterpret_cast<std::intptr_t>(log.firstFrame.load()) + 1);
    EXPECT_EQ(fake::engine().audioReceived().at(1).result, 77);
    const std::vector<std::string> notes = fake::engine().syncNotifications();
    EXPECT_THAT(notes, Contains("Y1 video 800000"));
    EXPECT_THAT(notes, Contains("Y1 audio 100000"));
    EXPECT_EQ(notes.size(), 5u);
}

TEST_F(SessionWorkerTest, StopFromInsideACallbackEndsTheSessionWithoutDeadlock) {
    fake::engine().addFile("v.mp4", true, false);
    fake::engine().setHoldEnd(true);
    fake::engine().setPace(std::chrono::milliseconds(5));
    std::vector<fake::Delivery> frames;
    for (int i = 0; i < 50; ++i) {
        frames.push_back(Frame(40 * i));
    }
    fake::engine().setVideoSeries({4, 2, frames});
    FeedAddVideoSource(feed, "v.mp4", 0, 2000);
    HostLog log;
    log.feed = feed;
    log.stopOnFirstFrame = true;
    FeedSetVideoCallback(feed, CountFrame, &log);
    ASSERT_EQ(FeedStart(feed), 1);
    ASSERT_TRUE(Eventually([&] { return log.restartResult.load() != -1; }));
    EXPECT_EQ(log.stopResult.load(), 1);
    EXPECT_EQ(log.restartResult.load(), 0);
    EXPECT_EQ(FeedGetState(feed), FEED_STATE_IDLE);
    EXPECT_EQ(ErrorText(), kWrongState);
    ASSERT_TRUE(Eventually([] { return CountCalls("C1.Stop") == 1; }));
    EXPECT_EQ(log.frames.load(), 1);  // nothing reached the host after the stop

    // The host's own thread can start the next session: it joins the last one first.
    log.stopOnFirstFrame = false;
    ASSERT_EQ(FeedStart(feed), 1);
    EXPECT_EQ(CountCalls("C1.Stop"), 1u);
    EXPECT_EQ(FeedStop(feed), 1);
    EXPECT_EQ(CountCalls("C2.Stop"), 1u);
}

// Position and fourth byte of the first pixel of each frame the host got.
std::intptr_t FEED_CALL KeepFourthByte(void* user, const uint8_t* frame, int32_t,
                                       int32_t positionMs, int32_t, int32_t) {
    static_cast<std::vector<std::pair<int, int>>*>(user)->emplace_back(positionMs, frame[3]);
    return reinterpret_cast<std::intptr_t>(frame);
}

// A fade blends the fourth byte of each pixel like the other three: frames whose fourth byte is
// 200 fade in from a colour whose high byte is 0x40.
TEST_F(SessionWorkerTest, AFadeBlendsTheFourthByteWithTheColoursHighByte) {
    fake::engine().addFile("v.mp4", true, false);
    std::vector<fake::Delivery> frames;
    for (const std::int64_t ms : {0, 500, 999, 1000}) {
        std::vector<std::uint8_t> pixels(4 * 2 * 4);
        for (std::size_t i = 0; i < pixels.size(); ++i) {
            pixels[i] = static_cast<std::uint8_t>(i % 4 == 3 ? 200 : 10 * (i % 4 + 1));
        }
        frames.push_back({ms * 10000, 400000, pixels});
    }
    fake::engine().setVideoSeries({4, 2, frames});
    FeedAddVideoSource(feed, "v.mp4", 0, 2000);
    FeedSetVideoFade(feed, 1, 1000, 0x40112233u, 0, 0, FEED_KEEP_COLOUR);
    std::vector<std::pair<int, int>> seen;  // written by the video thread, read after the join
    FeedSetVideoCallback(feed, KeepFourthByte, &seen);
    RunToEnd();
    // Levels 0, 128 and 255: 64; floor(128 * 200 / 255) + floor(127 * 64 / 255) = 100 + 31;
    // and the frame's own 200, as past the fade.
    EXPECT_THAT(seen, ElementsAreArray(std::vector<std::pair<int, int>>{
                          {0, 64}, {500, 131}, {999, 200}, {1000, 200}}));
}

}  // namespace
