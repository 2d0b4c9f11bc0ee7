// feedcat --play as a user meets it: the real program in an X server of the test's own, its
// sound written to a file by SDL's disk audio driver (what would be heard, silence included),
// keys pressed with xdotool and pictures taken with ImageMagick's import. Positions and counts
// are compared, not times, so a loaded machine only makes the runs slower.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "FeedcatProcess.h"
#include "TestDisplay.h"
#include "tests/support/Sanitizers.h"

namespace feedcat_test {
namespace {

#if FEEDCAT_PLAYBACK

constexpr auto kPatience = std::chrono::seconds(support::kUnderSanitizer ? 90 : 30);
constexpr int kRate = 44100;
constexpr double kIntervalMs = 40.0;  // 25 fps
// The device's chunk at 44100 Hz (1024 sample frames): what it is handed ahead of what is heard.
constexpr double kDeviceChunkMs = 1024 * 1000.0 / kRate;

std::string Colour(const std::string& name) {
    return "v:lavfi:color=c=" + name + ":size=320x240:rate=25";
}

// A tone around a level well above silence, so that every sample frame of the feed's sound
// tells itself apart from the device's silence (a sine through zero would not).
std::string Tone(int hertz) {
    return "a:lavfi:aevalsrc=0.2+0.1*sin(2*PI*" + std::to_string(hertz) + "*t):s=44100";
}

const std::string kPattern = "v:lavfi:testsrc2=size=320x240:rate=25";

// The position in a title "feedcat M:SS.d / M:SS.d ...", in ms; -1 when there is none.
int TitlePositionMs(const std::string& title) {
    int minutes = 0;
    int seconds = 0;
    int tenths = 0;
    if (std::sscanf(title.c_str(), "feedcat %d:%d.%d", &minutes, &seconds, &tenths) != 3) {
        return -1;
    }
    return (minutes * 60 + seconds) * 1000 + tenths * 100;
}

// A number (or true/false as 1/0) of the summary object; -1e9 when the key is not there.
double JsonValue(const std::string& json, const std::string& key) {
    const std::size_t at = json.find("\"" + key + "\":");
    if (at == std::string::npos) {
        return -1e9;
    }
    const std::string value = json.substr(at + key.size() + 3);
    if (value.rfind("true", 0) == 0 || value.rfind("false", 0) == 0) {
        return value[0] == 't' ? 1.0 : 0.0;
    }
    return std::strtod(value.c_str(), nullptr);
}

bool Near(std::uint32_t pixel, std::uint32_t wanted) {
    for (int shift : {0, 8, 16}) {
        if (std::abs(static_cast<int>((pixel >> shift) & 0xFF) -
                     static_cast<int>((wanted >> shift) & 0xFF)) > 40) {
            return false;
        }
    }
    return true;
}

// What the disk driver wrote, as the feed's sound and the silence the device played around
// and within it (before the feed's sound came, while it was late, paused, after it ended).
struct Heard {
    std::vector<std::int16_t> feed;       // the first channel of the feed's frames, in order
    std::size_t longestInnerSilence = 0;  // frames, between the feed's first and last frame
    std::size_t longestSilenceAt = 0;     // the feed's frames before it
};

Heard ReadHeard(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    Heard heard;
    std::size_t run = 0;  // silent frames since the last frame of the feed
    std::int16_t frame[2];
    while (in.read(reinterpret_cast<char*>(frame), sizeof(frame))) {
        if (frame[0] == 0 && frame[1] == 0) {
            ++run;
            continue;
        }
        if (!heard.feed.empty() && run > heard.longestInnerSilence) {
            heard.longestInnerSilence = run;
            heard.longestSilenceAt = heard.feed.size();
        }
        run = 0;
        heard.feed.push_back(frame[0]);
    }
    return heard;
}

// Where a tone gives way to one of more than half again its pitch: the first 10 ms window with
// that many more rising crossings of its own mean; -1 when it never does.
long PitchRiseAt(const std::vector<std::int16_t>& sound, int lowHertz) {
    constexpr std::size_t kWindow = kRate / 100;
    const double threshold = lowHertz / 100.0 * 1.5;
    for (std::size_t start = 0; start + kWindow < sound.size(); start += kWindow / 2) {
        double mean = 0.0;
        for (std::size_t i = start; i < start + kWindow; ++i) {
            mean += sound[i];
        }
        mean /= kWindow;
        int rising = 0;
        for (std::size_t i = start + 1; i < start + kWindow; ++i) {
            rising += sound[i - 1] < mean && sound[i] >= mean ? 1 : 0;
        }
        if (rising > threshold) {
            return static_cast<long>(start);
        }
    }
    return -1;
}

// A run that played to its end, every frame shown or dropped and all of the sound handed to
// the device, as its summary says.
void ExpectPlayedWhole(const ProcessResult& result, double frames, double sampleFrames) {
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(JsonValue(result.out, "played_to_end"), 1.0) << result.out;
    EXPECT_EQ(JsonValue(result.out, "frames_shown") + JsonValue(result.out, "frames_dropped"),
              frames)
        << result.out;
    EXPECT_EQ(JsonValue(result.out, "sample_frames"), sampleFrames) << result.out;
}

// Each test plays in an X server of its own, with its sound written to heard.raw.
class FeedcatPlay : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!display_.ok()) {
            GTEST_SKIP() << "no X server could be started for the --play tests: "
                         << display_.failure();
        }
        setenv("DISPLAY", display_.name().c_str(), 1);
        setenv("SDL_VIDEODRIVER", "x11", 1);
        // SDL's own renderer, drawing straight into the window: without a GPU, OpenGL would be
        // Mesa's software one, whose allocations LeakSanitizer sees lost once SDL unloads it.
        setenv("SDL_RENDER_DRIVER", "software", 1);
        setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 1);
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", heardPath_.c_str(), 1);
    }

    void TearDown() override {
        for (const char* name :
             {"DISPLAY", "SDL_VIDEODRIVER", "SDL_RENDER_DRIVER", "SDL_FRAMEBUFFER_ACCELERATION",
              "SDL_AUDIODRIVER", "SDL_DISKAUDIOFILE"}) {
            unsetenv(name);
        }
    }

    // Waits until the window's title shows at least positionMs; returns what it shows, or -1
    // when it never did (the window went first, or the patience ran out).
    int WaitForPosition(unsigned long window, int positionMs) const {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (std::chrono::steady_clock::now() < deadline) {
            const std::string title = display_.Title(window);
            if (title.empty()) {
                return -1;
            }
            const int shown = TitlePositionMs(title);
            if (shown >= positionMs) {
                return shown;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return -1;
    }

    // The window's picture once its title shows at least positionMs; false when it never did
    // or the picture could not be taken.
    bool ShotAt(unsigned long window, int positionMs, Screenshot* shot) const {
        return WaitForPosition(window, positionMs) >= 0 && display_.Capture(window, shot);
    }

    bool WaitForTitleWith(unsigned long window, const std::string& part) const {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (std::chrono::steady_clock::now() < deadline) {
            if (display_.Title(window).find(part) != std::string::npos) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    ScratchFolder folder_;
    const std::string heardPath_ = folder_.File("heard.raw");
    TestDisplay display_;
};

TEST_F(FeedcatPlay, ShowsEachClipsPictureAndPlaysItsSound) {
    // At 50 fps the last frame is due within the device's last chunk: it is shown as that
    // chunk plays out, after the feed's sound has all been taken.
    FeedcatProcess play({"--play", "--json", "--fps", "50", Colour("red") + "@0-3s",
                         Colour("blue") + "@0-3s", Tone(440) + "@0-3s", Tone(880) + "@0-3s"},
                        folder_);
    const unsigned long window = display_.FindWindow("feedcat", kPatience);
    ASSERT_NE(window, 0u) << "no window";

    Screenshot first;
    ASSERT_TRUE(ShotAt(window, 500, &first));
    EXPECT_TRUE(Near(first.At(first.width / 2, first.height / 2), 0xFF0000))
        << std::hex << first.At(first.width / 2, first.height / 2);

    // In the second clip, in a window twice as wide as the picture's shape: bars either side.
    ASSERT_GE(WaitForPosition(window, 3300), 0);
    ASSERT_TRUE(display_.Resize(window, 640, 240));
    Screenshot second;
    ASSERT_TRUE(ShotAt(window, 3800, &second));
    ASSERT_EQ(second.width, 640);
    EXPECT_TRUE(Near(second.At(320, 120), 0x0000FF)) << std::hex << second.At(320, 120);
    EXPECT_TRUE(Near(second.At(40, 120), 0x000000)) << std::hex << second.At(40, 120);
    EXPECT_TRUE(Near(second.At(600, 120), 0x000000)) << std::hex << second.At(600, 120);

    const ProcessResult result = play.WaitAtMost(kPatience);
    ExpectPlayedWhole(result, 300, 6.0 * kRate);
    EXPECT_NE(result.err.find("frames shown"), std::string::npos) << result.err;

    const Heard heard = ReadHeard(heardPath_);
    EXPECT_EQ(heard.feed.size(), 6u * kRate);
    EXPECT_NEAR(static_cast<double>(PitchRiseAt(heard.feed, 440)), 3.0 * kRate, kRate / 100.0);
}

TEST_F(FeedcatPlay, SpacePausesPictureAndSoundAndBothGoOnWhereTheyWere) {
    FeedcatProcess play({"--play", "--json", kPattern + "@0-4s", Tone(440) + "@0-4s"}, folder_);
    const unsigned long window = display_.FindWindow("feedcat", kPatience);
    ASSERT_NE(window, 0u) << "no window";
    ASSERT_GE(WaitForPosition(window, 1000), 0);

    ASSERT_TRUE(display_.PressKey(window, "space"));
    ASSERT_TRUE(WaitForTitleWith(window, "(paused)"));
    const std::string pausedAt = display_.Title(window);
    Screenshot before;
    ASSERT_TRUE(display_.Capture(window, &before));
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    Screenshot after;
    ASSERT_TRUE(display_.Capture(window, &after));
    EXPECT_EQ(display_.Title(window), pausedAt) << "the clock moved while paused";
    EXPECT_TRUE(before.rgb == after.rgb) << "a new picture while paused";
    ASSERT_TRUE(display_.PressKey(window, "space"));

    ExpectPlayedWhole(play.WaitAtMost(kPatience), 100, 4.0 * kRate);
    // Nothing of the feed's sound lost or played twice, and silence from where it was paused
    // (the title's tenths, plus what the device held; the device plays silence in real time
    // while held, and a loaded machine may write less of it).
    const Heard heard = ReadHeard(heardPath_);
    EXPECT_EQ(heard.feed.size(), 4u * kRate);
    EXPECT_GE(heard.longestInnerSilence, kRate / 2u);
    const double silenceAtMs = heard.longestSilenceAt * 1000.0 / kRate;
    const int pausedMs = TitlePositionMs(pausedAt);
    EXPECT_GE(silenceAtMs, pausedMs - kDeviceChunkMs) << pausedAt;
    EXPECT_LE(silenceAtMs, pausedMs + 100 + 2 * kDeviceChunkMs) << pausedAt;
}

TEST_F(FeedcatPlay, QEscapeOrClosingTheWindowStopsAtOnce) {
    for (const std::string how : {"q", "Escape", "close"}) {
        SCOPED_TRACE(how);
        FeedcatProcess play({"--play", "--json", kPattern + "@0-10s", Tone(440) + "@0-10s"},
                            folder_);
        const unsigned long window = display_.FindWindow("feedcat", kPatience);
        ASSERT_NE(window, 0u) << "no window";
        const int seen = WaitForPosition(window, 1000);
        ASSERT_GE(seen, 0);
        if (how == "close") {
            ASSERT_TRUE(display_.Close(window));
        } else {
            // Unchecked: the window may be gone before xdotool sends the key's release.
            display_.PressKey(window, how);
        }

        const ProcessResult result = play.WaitAtMost(kPatience);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(JsonValue(result.out, "played_to_end"), 0.0) << result.out;
        const double stoppedAt = JsonValue(result.out, "position_ms");
        EXPECT_GE(stoppedAt, seen) << result.out;
        EXPECT_LT(stoppedAt, 9000) << result.out;
        EXPECT_NE(result.err.find("stopped at"), std::string::npos) << result.err;
        // The sound ends where the picture stopped: what was queued behind it is not played.
        const double heardMs = ReadHeard(heardPath_).feed.size() * 1000.0 / kRate;
        EXPECT_LE(heardMs, stoppedAt + kIntervalMs + 2 * kDeviceChunkMs) << result.out;
        EXPECT_GE(heardMs, seen - kDeviceChunkMs);
    }
}

TEST_F(FeedcatPlay, AMissingFirstFileIsAnErrorOrBlackWithAllowMissing) {
    const ProcessResult refused =
        RunFeedcat({"--play", "av:missing.mp4", Colour("red") + "@0-2s"}, folder_);
    EXPECT_EQ(refused.status, 1) << refused.err;
    EXPECT_NE(refused.err.find("cannot open source 'missing.mp4'"), std::string::npos)
        << refused.err;
    EXPECT_EQ(display_.FindWindow("feedcat", std::chrono::milliseconds(0)), 0u);

    FeedcatProcess play({"--play", "--json", "--allow-missing", "--size", "320x240",
                         "v:missing.mp4@0-2s", Colour("red") + "@0-2s"},
                        folder_);
    const unsigned long window = display_.FindWindow("feedcat", kPatience);
    ASSERT_NE(window, 0u) << "no window";
    Screenshot black;
    ASSERT_TRUE(ShotAt(window, 500, &black));
    EXPECT_TRUE(Near(black.At(160, 120), 0x000000)) << std::hex << black.At(160, 120);
    Screenshot red;
    ASSERT_TRUE(ShotAt(window, 2500, &red));
    EXPECT_TRUE(Near(red.At(160, 120), 0xFF0000)) << std::hex << red.At(160, 120);
    display_.PressKey(window, "q");  // the window may be gone before the key's release
    const ProcessResult result = play.WaitAtMost(kPatience);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(JsonValue(result.out, "played_to_end"), 0.0) << result.out;
    EXPECT_EQ(JsonValue(result.out, "warnings"), 1.0) << result.out;
}

#else

TEST(FeedcatPlay, SaysItWasBuiltWithoutPlayback) {
    ScratchFolder folder;
    const ProcessResult result = RunFeedcat({"--play", "v:lavfi:testsrc2@0-1s"}, folder);
    EXPECT_EQ(result.status, 2);
    EXPECT_NE(result.err.find("built without playback"), std::string::npos) << result.err;
}

#endif

}  // namespace
}  // namespace feedcat_test
