// The engine's composite as the feed library drives it through the five functions: interfaces
// and references, the formats Prepare refuses, and the exact grid of frames and buffers that
// a timeline delivers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "engine/EngineRef.h"
#include "tests/support/Waiting.h"
#include "tests/support/media/TestMedia.h"

namespace {

using namespace std::chrono_literals;

struct Seen {
    std::mutex mutex;
    std::vector<std::int64_t> starts;
    std::vector<std::int64_t> durations;
    std::vector<std::int32_t> lengths;
    std::int64_t totalBytes = 0;
    bool allZero = true;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> firstFrame;
    std::int32_t channels = 0;
    std::uint32_t rate = 0;
};

template <bool kVideo>
std::intptr_t TARN_CALL Record(void* context, const void* format, std::uint8_t* data,
                               std::int32_t length, std::int64_t start, std::int64_t duration) {
    auto& seen = *static_cast<Seen*>(context);
    std::lock_guard<std::mutex> lock(seen.mutex);
    seen.starts.push_back(start);
    seen.durations.push_back(duration);
    seen.lengths.push_back(length);
    seen.totalBytes += length;
    for (std::int32_t i = 0; i < length; ++i) {
        seen.allZero = seen.allZero && data[i] == 0;
    }
    if (kVideo) {
        const auto* record = static_cast<const BITMAPINFOHEADER*>(format);
        seen.width = record->biWidth;
        seen.height = record->biHeight;
        if (seen.firstFrame.empty()) {
            seen.firstFrame.assign(data, data + length);
        }
    } else {
        const auto* record = static_cast<const WAVEFORMATEX*>(format);
        seen.channels = record->nChannels;
        seen.rate = record->nSamplesPerSec;
    }
    return 0;
}

// A composite with its editor and a recording acceptor, built the way the feed builds one.
struct Timeline {
    EngineRef<IMediaSource> composite;
    EngineRef<ICompositeEdit> editor;
    EngineRef<IMediaAcceptor> acceptor;
    Seen seen;

    explicit Timeline(bool video) {
        EXPECT_GE(CreateSimpleCompositeSource(nullptr, composite.put()), 0);
        editor = QueryEngineInterface<ICompositeEdit>(composite.get(), IID_ICompositeEdit);
        EXPECT_GE(CreateCallBackMediaAcceptor(nullptr, video ? Record<true> : Record<false>, &seen,
                                              acceptor.put()),
                  0);
    }

    void Connect() {
        auto connection =
            QueryEngineInterface<IAcceptorConnection>(editor.get(), IID_IAcceptorConnection);
        ASSERT_TRUE(connection);
        EXPECT_GE(connection->ConnectAcceptor(acceptor.get()), 0);
    }

    void AddEmptyClip(std::int64_t timelineStart, std::int64_t timelineStop) {
        EngineRef<IMediaSource> empty;
        ASSERT_GE(CreateEmptySource(nullptr, empty.put()), 0);
        const std::int32_t noCrop[4] = {-1, -1, -1, -1};
        EXPECT_GE(editor->AddClip(empty.get(), noCrop, 0, 0, 0, timelineStop - timelineStart,
                                  timelineStart, timelineStop),
                  0);
    }

    // The file's video stream from sourceStart to sourceStop (100-ns units, the timeline's too).
    void AddFileClip(const std::string& file, const std::array<std::int32_t, 4>& crop,
                     std::int64_t start, std::int64_t stop) {
        EngineRef<IMediaSource> video;
        EngineRef<IMediaSource> audio;
        ASSERT_GE(SelectSources(file.c_str(), video.put(), nullptr, audio.put(), nullptr), 0)
            << file;
        ASSERT_TRUE(video) << file;
        EXPECT_GE(editor->AddClip(video.get(), crop.data(), 0, 0, 0, stop - start, start, stop), 0);
    }

    bool PlayToEnd() {
        if (composite->Run() < 0) {
            return false;
        }
        const bool ended = support::Eventually(
            [&] {
                std::int32_t value = 0;
                composite->IsEnded(&value);
                return value != 0;
            },
            30s);
        composite->Stop();
        return ended;
    }
};

TEST(CompositeTest, InterfacesAreSharedByOneCountedObject) {
    EngineRef<IMediaSource> composite;
    ASSERT_GE(CreateSimpleCompositeSource(nullptr, composite.put()), 0);
    auto editor = QueryEngineInterface<ICompositeEdit>(composite.get(), IID_ICompositeEdit);
    auto connection =
        QueryEngineInterface<IAcceptorConnection>(editor.get(), IID_IAcceptorConnection);
    ASSERT_TRUE(editor);
    ASSERT_TRUE(connection);
    EXPECT_EQ(composite->AddRef(), 4u);
    EXPECT_EQ(composite->Release(), 3u);

    void* other = reinterpret_cast<void*>(1);
    const IID unknownIid = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    EXPECT_LT(composite->QueryInterface(unknownIid, &other), 0);
    EXPECT_EQ(other, nullptr);

    EngineRef<IMediaSource> empty;
    ASSERT_GE(CreateEmptySource(nullptr, empty.put()), 0);
    EXPECT_LT(empty->QueryInterface(IID_ICompositeEdit, &other), 0);

    IMediaSource* video = reinterpret_cast<IMediaSource*>(1);
    IMediaSource* audio = reinterpret_cast<IMediaSource*>(1);
    EXPECT_LT(SelectSources(nullptr, &video, nullptr, &audio, nullptr), 0);
    EXPECT_EQ(video, nullptr);
    EXPECT_EQ(audio, nullptr);
}

TEST(CompositeTest, PrepareRefusesWhatCannotBePlayed) {
    {
        Timeline noAcceptor(true);
        noAcceptor.editor->SetVideoFormat(320, 240, 25.0);
        EXPECT_LT(noAcceptor.composite->Prepare(nullptr, kStreamVideo), 0);
    }
    struct VideoCase {
        std::int32_t width, height;
        double fps;
    };
    for (const VideoCase& bad :
         {VideoCase{16385, 240, 25.0}, VideoCase{320, 20000, 25.0}, VideoCase{-2, 240, 25.0},
          VideoCase{320, 240, 1000.5}, VideoCase{320, 240, -1.0}}) {
        Timeline timeline(true);
        timeline.editor->SetVideoFormat(bad.width, bad.height, bad.fps);
        timeline.Connect();
        EXPECT_LT(timeline.composite->Prepare(nullptr, kStreamVideo), 0)
            << bad.width << "x" << bad.height << "@" << bad.fps;
    }
    for (const auto& [rate, channels] : {std::pair{-1, 2}, {768001, 2}, {44100, 0}, {44100, 9}}) {
        Timeline timeline(false);
        timeline.editor->SetAudioFormat(rate, channels);
        timeline.Connect();
        EXPECT_LT(timeline.composite->Prepare(nullptr, kStreamAudio), 0) << rate << " " << channels;
    }
    // A kind that does not match the format set on the editor.
    Timeline mismatch(true);
    mismatch.editor->SetVideoFormat(320, 240, 25.0);
    mismatch.Connect();
    EXPECT_LT(mismatch.composite->Prepare(nullptr, kStreamAudio), 0);
    EXPECT_GE(mismatch.composite->Prepare(nullptr, kStreamVideo), 0);
    EXPECT_GE(mismatch.composite->Stop(), 0);
}

TEST(CompositeTest, VideoTimelineDeliversEveryFrameOfTheGridInOrder) {
    Timeline timeline(true);
    timeline.editor->SetVideoFormat(64, 36, 25.0);
    timeline.AddEmptyClip(0, 20'000'000);
    timeline.AddEmptyClip(20'000'000, 50'000'000);
    timeline.Connect();
    ASSERT_GE(timeline.composite->Prepare(nullptr, kStreamVideo), 0);
    ASSERT_TRUE(timeline.PlayToEnd());

    ASSERT_EQ(timeline.seen.starts.size(), 125u);
    for (std::size_t k = 0; k < 125; ++k) {
        ASSERT_EQ(timeline.seen.starts[k], static_cast<std::int64_t>(k) * 400'000);
        ASSERT_EQ(timeline.seen.durations[k], 400'000);
        ASSERT_EQ(timeline.seen.lengths[k], 64 * 36 * 4);
    }
    EXPECT_TRUE(timeline.seen.allZero);  // empty sources are black, fourth byte included
    EXPECT_EQ(timeline.seen.width, 64);
    EXPECT_EQ(timeline.seen.height, 36);
}

TEST(CompositeTest, AudioTimelineHoldsExactlyTheSamplesOfItsLengthInTenMillisecondBuffers) {
    Timeline timeline(false);
    timeline.editor->SetAudioFormat(22050, 1);
    timeline.AddEmptyClip(0, 3'000'000);
    timeline.AddEmptyClip(3'000'000, 10'000'000);  // 1 s in all
    timeline.Connect();
    ASSERT_GE(timeline.composite->Prepare(nullptr, kStreamAudio), 0);
    ASSERT_TRUE(timeline.PlayToEnd());

    EXPECT_EQ(timeline.seen.totalBytes, 22050 * 2);
    ASSERT_EQ(timeline.seen.lengths.size(), 101u);  // 100 buffers of 220 frames, then 50
    EXPECT_EQ(timeline.seen.lengths.front(), 440);
    EXPECT_EQ(timeline.seen.lengths.back(), 100);
    std::int64_t expectedStart = 0;
    for (std::size_t i = 0; i < timeline.seen.starts.size(); ++i) {
        ASSERT_EQ(timeline.seen.starts[i], expectedStart);  // buffers meet with no gap
        expectedStart += timeline.seen.durations[i];
    }
    EXPECT_EQ(expectedStart, 10'000'000);
    EXPECT_TRUE(timeline.seen.allZero);
    EXPECT_EQ(timeline.seen.channels, 1);
    EXPECT_EQ(timeline.seen.rate, 22050u);
}

TEST(CompositeTest, AnEmptyCompositeEndsAtOnceAndZeroFormatsFallBack) {
    Timeline timeline(true);
    timeline.editor->SetVideoFormat(0, 0, 0.0);
    timeline.AddEmptyClip(0, 1'000'000);
    timeline.Connect();
    ASSERT_GE(timeline.composite->Prepare(nullptr, kStreamVideo), 0);
    ASSERT_TRUE(timeline.PlayToEnd());
    EXPECT_EQ(timeline.seen.width, 320);  // no clip has video: 320x240 at 25 fps
    EXPECT_EQ(timeline.seen.height, 240);
    EXPECT_EQ(timeline.seen.starts.size(), 3u);

    Timeline nothing(false);
    nothing.Connect();
    ASSERT_GE(nothing.composite->Prepare(nullptr, kStreamAudio), 0);
    EXPECT_TRUE(nothing.PlayToEnd());
    EXPECT_TRUE(nothing.seen.starts.empty());
}

// A frame size of 0 is the first video clip's picture as it is shown: its crop taken out (in
// stored pixels, clamped), its pixel aspect ratio applied and its rotation turned upright. The
// picture is not stretched back: the crop's centre is the frame's centre.
TEST(CompositeTest, ZeroSizeIsTheFirstClipsPictureAsShownAfterCropAndRotation) {
    const testmedia::Files& media = testmedia::Media();
    struct Case {
        std::string file;
        std::array<std::int32_t, 4> crop;
        std::int32_t width, height;
        char centre;  // the colour at the frame's centre: r, g, b or w
    };
    const std::array<std::int32_t, 4> none = {-1, -1, -1, -1};
    for (const Case& c : {Case{media.pattern, none, 160, 120, 'w'},
                          Case{media.pattern, {80, 60, 160, 120}, 80, 60, 'w'},
                          Case{media.pattern, {0, 0, 80, 60}, 80, 60, 'r'},
                          Case{media.pattern, {100, 0, 500, 100}, 60, 100, 'g'},
                          Case{media.rotated, none, 120, 160, 'g'},
                          Case{media.rotated, {0, 0, 80, 60}, 60, 80, 'r'},
                          Case{media.sar, {0, 60, 80, 120}, 160, 60, 'b'}}) {
        const std::string what = c.file + " cropped to " + std::to_string(c.crop[0]) + "," +
                                 std::to_string(c.crop[1]) + "," + std::to_string(c.crop[2]) + "," +
                                 std::to_string(c.crop[3]);
        Timeline timeline(true);
        timeline.editor->SetVideoFormat(0, 0, 25.0);
        timeline.AddFileClip(c.file, c.crop, 0, 400'000);
        // A later clip of another shape changes nothing.
        timeline.AddFileClip(media.pattern, none, 400'000, 800'000);
        timeline.Connect();
        ASSERT_GE(timeline.composite->Prepare(nullptr, kStreamVideo), 0) << what;
        ASSERT_TRUE(timeline.PlayToEnd()) << what;
        EXPECT_EQ(timeline.seen.width, c.width) << what;
        EXPECT_EQ(timeline.seen.height, c.height) << what;
        ASSERT_EQ(timeline.seen.firstFrame.size(), static_cast<std::size_t>(c.width) * c.height * 4)
            << what;
        const testmedia::Pixel centre =
            testmedia::PixelAt(timeline.seen.firstFrame, c.width, c.width / 2, c.height / 2);
        const bool high[3] = {centre.r > 180, centre.g > 180, centre.b > 180};
        const bool low[3] = {centre.r < 70, centre.g < 70, centre.b < 70};
        const bool matches = c.centre == 'w'   ? high[0] && high[1] && high[2]
                             : c.centre == 'r' ? high[0] && low[1] && low[2]
                             : c.centre == 'g' ? low[0] && high[1] && low[2]
                                               : low[0] && low[1] && high[2];
        EXPECT_TRUE(matches) << what << ": centre " << centre.r << "," << centre.g << ","
                             << centre.b << ", expected " << c.centre;
    }
}

}  // namespace
