// The ten setters: defaults, checks, messages, the values that keep a setting, what each
// returns, which ones report, and which ones a running session refuses.
#include <limits>

#include "tests/feed/FeedTestSupport.h"

namespace {

using SettersTest = FeedFixture;

std::intptr_t FEED_CALL IgnoreFrame(void*, const uint8_t*, int32_t, int32_t, int32_t, int32_t) {
    return 0;
}
int32_t FEED_CALL IgnoreBuffer(void*, const uint8_t*, int32_t, int32_t, int32_t, int32_t, int32_t) {
    return 0;
}

// Leaves a refusal in the feed, so that a setter that does not report can be told apart.
void LeaveARefusal(FeedHandle feed) {
    FeedRemoveSource(feed, 12345);
}

TEST_F(SettersTest, NewFeedHasTheDefaultSettings) {
    const session::SharedFeedState& s = Shared();
    EXPECT_EQ(s.format.sampleRate, 44100);
    EXPECT_EQ(s.format.channels, 2);
    EXPECT_EQ(s.format.videoWidth, 0);
    EXPECT_EQ(s.format.videoHeight, 0);
    EXPECT_EQ(s.format.frameRate, 0.0);
    EXPECT_EQ(s.fades.audioFadeIn.load(), 0);
    EXPECT_EQ(s.fades.audioFadeOut.load(), 0);
    EXPECT_EQ(s.fades.audioFadeInMs.load(), 3000);
    EXPECT_EQ(s.fades.audioFadeOutMs.load(), 3000);
    EXPECT_EQ(s.fades.videoFadeIn.load(), 0);
    EXPECT_EQ(s.fades.videoFadeOut.load(), 0);
    EXPECT_EQ(s.fades.videoFadeInMs.load(), 1000);
    EXPECT_EQ(s.fades.videoFadeOutMs.load(), 1000);
    EXPECT_EQ(s.fades.fadeInColour.load(), 0u);
    EXPECT_EQ(s.fades.fadeOutColour.load(), 0u);
    EXPECT_EQ(s.callbacks.videoCallback.load(), nullptr);
    EXPECT_EQ(s.callbacks.audioCallback.load(), nullptr);
    EXPECT_EQ(s.callbacks.videoUser.load(), nullptr);
    EXPECT_EQ(s.clipMode.load(), 0);
    EXPECT_EQ(s.syncEnabled.load(), 1);
    EXPECT_EQ(s.syncObject.load(), nullptr);
    EXPECT_FALSE(s.fadeBuffer.allocated());
}

TEST_F(SettersTest, VideoSizeRoundsWidthUpToEvenAndChecksWidthBeforeHeight) {
    const session::OutputFormat& format = Shared().format;
    EXPECT_EQ(FeedSetVideoSize(feed, 321, 241), 1);
    EXPECT_EQ(format.videoWidth, 322);
    EXPECT_EQ(format.videoHeight, 241);  // an odd height stays odd
    EXPECT_EQ(FeedSetVideoSize(feed, 320, 240), 1);
    EXPECT_EQ(format.videoWidth, 320);

    for (const auto& [width, height] : {std::pair{0, 240}, {-4, -4}, {INT32_MAX, 240}}) {
        EXPECT_EQ(FeedSetVideoSize(feed, width, height), 0);
        EXPECT_EQ(ErrorText(), "Bad video width");
        EXPECT_EQ(FeedGetErrorCode(feed), -1);
        EXPECT_EQ(format.videoWidth, 320);  // nothing stored
        EXPECT_EQ(format.videoHeight, 240);
    }
    // A bad height is found after the width has been stored.
    EXPECT_EQ(FeedSetVideoSize(feed, 321, 0), 0);
    EXPECT_EQ(ErrorText(), "Bad video height");
    EXPECT_EQ(format.videoWidth, 322);
    EXPECT_EQ(format.videoHeight, 240);

    EXPECT_EQ(FeedSetVideoSize(feed, INT32_MAX - 1, 1), 1);
    EXPECT_EQ(format.videoWidth, INT32_MAX - 1);
    EXPECT_EQ(ErrorText(), "");
}

TEST_F(SettersTest, FrameRateTakesZeroOrMoreAndNeverReports) {
    LeaveARefusal(feed);
    for (const double bad : {-1.0, -0.001, std::numeric_limits<double>::quiet_NaN()}) {
        EXPECT_EQ(FeedSetFrameRate(feed, bad), 0);
    }
    EXPECT_EQ(Shared().format.frameRate, 0.0);
    EXPECT_EQ(FeedSetFrameRate(feed, 29.97), 1);
    EXPECT_EQ(Shared().format.frameRate, 29.97);
    EXPECT_EQ(FeedSetFrameRate(feed, 0.0), 1);
    EXPECT_EQ(Shared().format.frameRate, 0.0);
    EXPECT_EQ(ErrorText(), "Source index invalid");
    EXPECT_EQ(FeedGetErrorCode(feed), -1);
}

TEST_F(SettersTest, ChannelsAreOneOrTwoAndSampleRateTakesAnyValue) {
    EXPECT_EQ(FeedSetAudioChannels(feed, 1), 1);
    EXPECT_EQ(Shared().format.channels, 1);
    EXPECT_EQ(FeedSetAudioChannels(feed, 2), 1);
    for (const int bad : {0, -1}) {
        EXPECT_EQ(FeedSetAudioChannels(feed, bad), 0);
        EXPECT_EQ(ErrorText(), "Bad audio channel");
    }
    for (const int bad : {3, 6}) {
        EXPECT_EQ(FeedSetAudioChannels(feed, bad), 0);
        EXPECT_EQ(ErrorText(), "Audio channels exeed 3 not supported yet");
        EXPECT_EQ(FeedGetErrorCode(feed), -1);
    }
    EXPECT_EQ(Shared().format.channels, 2);

    EXPECT_EQ(FeedSetAudioSampleRate(feed, 0), 1);
    EXPECT_EQ(Shared().format.sampleRate, 0);
    EXPECT_EQ(FeedGetErrorCode(feed), 0);
    EXPECT_EQ(FeedSetAudioSampleRate(feed, -8000), 1);
    EXPECT_EQ(Shared().format.sampleRate, -8000);
}

TEST_F(SettersTest, FadesKeepLengthsOfZeroOrLessAndColoursOfMinusOneWithoutReporting) {
    const session::FadeSettings& fades = Shared().fades;
    LeaveARefusal(feed);
    EXPECT_EQ(FeedSetAudioFade(feed, 1, 0, 0, -5), 1);
    EXPECT_EQ(fades.audioFadeIn.load(), 1);
    EXPECT_EQ(fades.audioFadeOut.load(), 0);
    EXPECT_EQ(fades.audioFadeInMs.load(), 3000);
    EXPECT_EQ(fades.audioFadeOutMs.load(), 3000);
    EXPECT_EQ(FeedSetAudioFade(feed, 7, 250, -1, 4000), 1);
    EXPECT_EQ(fades.audioFadeIn.load(), 7);  // any non-zero switch is stored as given
    EXPECT_EQ(fades.audioFadeOut.load(), -1);
    EXPECT_EQ(fades.audioFadeInMs.load(), 250);
    EXPECT_EQ(fades.audioFadeOutMs.load(), 4000);

    EXPECT_EQ(FeedSetVideoFade(feed, 1, 0, 0x00112233, 0, 0, 0x00445566), 1);
    EXPECT_EQ(FeedSetVideoFade(feed, 1, 500, FEED_KEEP_COLOUR, 1, 0, 0x00FF0000), 1);
    EXPECT_EQ(fades.videoFadeIn.load(), 1);
    EXPECT_EQ(fades.videoFadeInMs.load(), 500);
    EXPECT_EQ(fades.fadeInColour.load(), 0x00112233u);
    EXPECT_EQ(fades.videoFadeOut.load(), 1);
    EXPECT_EQ(fades.videoFadeOutMs.load(), 1000);
    EXPECT_EQ(fades.fadeOutColour.load(), 0x00FF0000u);
    EXPECT_EQ(FeedSetVideoFade(feed, 0, -3, FEED_KEEP_COLOUR, 0, 20, FEED_KEEP_COLOUR), 1);
    EXPECT_EQ(fades.videoFadeInMs.load(), 500);
    EXPECT_EQ(fades.videoFadeOutMs.load(), 20);
    EXPECT_EQ(fades.fadeOutColour.load(), 0x00FF0000u);

    EXPECT_EQ(ErrorText(), "Source index invalid");
}

TEST_F(SettersTest, CallbackClipModeAndSyncSettersHandBackWhatTheyGetWithoutReporting) {
    LeaveARefusal(feed);
    int user = 0;
    EXPECT_EQ(FeedSetVideoCallback(feed, IgnoreFrame, &user), IgnoreFrame);
    EXPECT_EQ(Shared().callbacks.videoCallback.load(), IgnoreFrame);
    EXPECT_EQ(Shared().callbacks.videoUser.load(), &user);
    EXPECT_EQ(FeedSetAudioCallback(feed, IgnoreBuffer, &user), IgnoreBuffer);
    EXPECT_EQ(Shared().callbacks.audioCallback.load(), IgnoreBuffer);
    EXPECT_EQ(FeedSetVideoCallback(feed, nullptr, nullptr), nullptr);
    EXPECT_EQ(Shared().callbacks.videoCallback.load(), nullptr);
    EXPECT_EQ(FeedSetClipMode(feed, 7), 7);
    EXPECT_EQ(Shared().clipMode.load(), 7);
    EXPECT_EQ(FeedSetSyncEnabled(feed, 0), 0);
    EXPECT_EQ(Shared().syncEnabled.load(), 0);
    EXPECT_EQ(ErrorText(), "Source index invalid");
}

TEST_F(SettersTest, ARunningSessionRefusesFormatChangesButTakesTheOthers) {
    StartEndlessSession();
    for (const FeedState state : {FEED_STATE_RUNNING, FEED_STATE_PAUSED}) {
        if (state == FEED_STATE_PAUSED) {
            FeedPause(feed);
        }
        EXPECT_EQ(FeedSetAudioSampleRate(feed, 8000), 0);
        EXPECT_EQ(ErrorText(), kWrongState);
        EXPECT_EQ(FeedSetVideoSize(feed, 0, 0), 0);  // busy is checked first
        EXPECT_EQ(ErrorText(), kWrongState);
        FeedGetDuration(feed);  // a success, to see the next refusal
        EXPECT_EQ(FeedSetFrameRate(feed, -5.0), 0);
        EXPECT_EQ(ErrorText(), kWrongState);
        EXPECT_EQ(FeedSetAudioChannels(feed, 1), 0);
        EXPECT_EQ(FeedGetErrorCode(feed), -1);
        EXPECT_EQ(Shared().format.sampleRate, 44100);
        EXPECT_EQ(Shared().format.channels, 2);

        EXPECT_EQ(FeedSetAudioFade(feed, 1, 100, 1, 200), 1);
        EXPECT_EQ(FeedSetVideoFade(feed, 1, 300, 0x10, 1, 400, 0x20), 1);
        EXPECT_EQ(FeedSetVideoCallback(feed, IgnoreFrame, nullptr), IgnoreFrame);
        EXPECT_EQ(FeedSetAudioCallback(feed, IgnoreBuffer, nullptr), IgnoreBuffer);
        EXPECT_EQ(FeedSetClipMode(feed, 2), 2);
        EXPECT_EQ(FeedSetSyncEnabled(feed, 0), 0);
        EXPECT_EQ(Shared().fades.audioFadeOutMs.load(), 200);
        EXPECT_EQ(Shared().fades.fadeOutColour.load(), 0x20u);
        EXPECT_EQ(Shared().clipMode.load(), 2);
        EXPECT_EQ(ErrorText(), kWrongState);  // none of them reported
    }
}

}  // namespace
