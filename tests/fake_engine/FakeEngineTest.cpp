// Self-test of the scripted fake engine: the properties the library's session tests rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/EngineRef.h"
#include "engine/MediaEngine.h"
#include "tests/fake_engine/FakeEngine.h"
#include "tests/support/Waiting.h"

namespace {

using fake::engine;
using fake::Step;
using std::chrono::milliseconds;
using Lines = std::vector<std::string>;

constexpr milliseconds kPatience{5000};  // generous, for sanitizer builds on a busy machine

constexpr IID kOtherIid = {0x12345678, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};

// The callback's side of a test. The delivery thread fills it; the test thread reads it.
struct Probe {
    std::mutex mutex;
    std::condition_variable cv;
    int calls = 0;
    std::vector<BITMAPINFOHEADER> videoFormats;
    std::vector<WAVEFORMATEX> audioFormats;
    std::vector<std::int32_t> lengths;
    std::vector<std::int64_t> durations;
    bool video = true;  // which record the format pointer holds
    int holdAt = -1;    // the call with this index waits in the callback until open()
    bool holding = false;
    bool opened = false;
    int callsAfterStop = 0;
    std::atomic<bool> stopReturned{false};  // set by the test once its Stop returned
    // Runs on the delivery thread after the bookkeeping, without the probe's mutex.
    std::function<void(int index, std::int64_t start)> action;

    static std::intptr_t TARN_CALL callback(void* context, const void* format, std::uint8_t* data,
                                            std::int32_t length, std::int64_t start,
                                            std::int64_t duration) {
        auto& probe = *static_cast<Probe*>(context);
        std::unique_lock<std::mutex> lock(probe.mutex);
        const int index = probe.calls++;
        if (probe.stopReturned) {
            ++probe.callsAfterStop;
        }
        if (probe.video) {
            BITMAPINFOHEADER record;
            std::memcpy(&record, format, sizeof record);
            probe.videoFormats.push_back(record);
        } else {
            WAVEFORMATEX record;
            std::memcpy(&record, format, sizeof record);
            probe.audioFormats.push_back(record);
        }
        probe.lengths.push_back(length);
        probe.durations.push_back(duration);
        for (std::int32_t i = 0; i < length; ++i) {
            data[i] = static_cast<std::uint8_t>(data[i] ^ 0xFF);  // the data is writable
        }
        if (index == probe.holdAt) {
            probe.holding = true;
            probe.cv.notify_all();
            probe.cv.wait(lock, [&probe] { return probe.opened; });
        }
        const auto action = probe.action;
        lock.unlock();
        if (action) {
            action(index, start);
        }
        return static_cast<std::intptr_t>(start + 1);
    }

    bool waitHolding() {
        std::unique_lock<std::mutex> lock(mutex);
        return cv.wait_for(lock, kPatience, [this] { return holding; });
    }
    void open() {
        std::lock_guard<std::mutex> lock(mutex);
        opened = true;
        cv.notify_all();
    }
    int count() {
        std::lock_guard<std::mutex> lock(mutex);
        return calls;
    }
};

// One composite as the session worker builds it: editor, acceptor, connection, prepared.
struct Timeline {
    EngineRef<IMediaSource> composite;
    EngineRef<ICompositeEdit> edit;
    EngineRef<IMediaAcceptor> acceptor;
    EngineRef<IAcceptorConnection> connection;

    // Stops and releases in the worker's order.
    void close() {
        if (composite) {
            composite->Stop();
        }
        connection.reset();
        acceptor.reset();
        edit.reset();
        composite.reset();
    }
};

Timeline buildTimeline(std::int32_t kind, Probe* probe) {
    Timeline timeline;
    EXPECT_GE(CreateSimpleCompositeSource(nullptr, timeline.composite.put()), 0);
    timeline.edit =
        QueryEngineInterface<ICompositeEdit>(timeline.composite.get(), IID_ICompositeEdit);
    if (probe != nullptr) {
        probe->video = kind == kStreamVideo;
        EXPECT_GE(
            CreateCallBackMediaAcceptor(nullptr, &Probe::callback, probe, timeline.acceptor.put()),
            0);
        timeline.connection =
            QueryEngineInterface<IAcceptorConnection>(timeline.edit.get(), IID_IAcceptorConnection);
        EXPECT_GE(timeline.connection->ConnectAcceptor(timeline.acceptor.get()), 0);
    }
    EXPECT_GE(timeline.composite->Prepare(nullptr, kind), 0);
    return timeline;
}

std::int32_t ended(IMediaSource* source) {
    std::int32_t value = -1;
    EXPECT_GE(source->IsEnded(&value), 0);
    return value;
}

// Whether the composite reports its end within kPatience.
bool endsInTime(IMediaSource* composite) {
    return support::Eventually([&] { return ended(composite) == 1; }, kPatience);
}

fake::Delivery delivery(std::int64_t start, std::int64_t duration,
                        std::vector<std::uint8_t> bytes) {
    fake::Delivery result;
    result.start = start;
    result.duration = duration;
    result.bytes = std::move(bytes);
    return result;
}

// Frames at 0, 400000, 800000, ... each of one byte holding its index.
fake::VideoSeries videoFrames(int count) {
    fake::VideoSeries series;
    for (int i = 0; i < count; ++i) {
        series.frames.push_back(delivery(i * 400000, 400000, {static_cast<std::uint8_t>(i)}));
    }
    return series;
}

fake::AudioSeries audioBuffers(int count) {
    fake::AudioSeries series;
    for (int i = 0; i < count; ++i) {
        series.buffers.push_back(delivery(i * 100000, 100000, {static_cast<std::uint8_t>(i)}));
    }
    return series;
}

class FakeEngineFixture : public ::testing::Test {
  protected:
    void SetUp() override { engine().reset(); }
    void TearDown() override { engine().reset(); }
};

using FakeEngineLog = FakeEngineFixture;
using FakeEngineReferences = FakeEngineFixture;
using FakeEngineDelivery = FakeEngineFixture;
using FakeEngineScript = FakeEngineFixture;

// ---- The call log ----

TEST_F(FakeEngineLog, RecordsAWholeSessionInItsDocumentedFormat) {
    engine().addFile("v.mp4", true, false);
    engine().addFile("both.mp4", true, true);
    engine().addFile("a.wav", false, true);
    Probe probe;

    EngineRef<IMediaSource> composite;
    ASSERT_GE(CreateSimpleCompositeSource(nullptr, composite.put()), 0);
    auto edit = QueryEngineInterface<ICompositeEdit>(composite.get(), IID_ICompositeEdit);
    ASSERT_TRUE(edit);
    EXPECT_GE(edit->SetVideoFormat(320, 240, 25.0), 0);
    EXPECT_GE(edit->SetVideoFormat(640, 480, 29.97), 0);
    EXPECT_GE(edit->SetAudioFormat(44100, 2), 0);

    EngineRef<IMediaSource> v1, a1, v2, a2, v3, a3;
    std::int32_t videoMs = 0;
    std::int32_t audioMs = 0;
    ASSERT_GE(SelectSources("v.mp4", v1.put(), &videoMs, a1.put(), &audioMs), 0);
    EXPECT_TRUE(v1);
    EXPECT_FALSE(a1);
    EXPECT_EQ(videoMs, -1);
    EXPECT_EQ(audioMs, -1);
    ASSERT_GE(SelectSources("both.mp4", v2.put(), &videoMs, a2.put(), &audioMs), 0);
    EXPECT_TRUE(v2 && a2);
    ASSERT_GE(SelectSources("a.wav", v3.put(), nullptr, a3.put(), nullptr), 0);
    EXPECT_FALSE(v3);
    EXPECT_TRUE(a3);
    EngineRef<IMediaSource> missingVideo, missingAudio;
    EXPECT_LT(
        SelectSources("missing.mp4", missingVideo.put(), &videoMs, missingAudio.put(), &audioMs),
        0);
    EXPECT_LT(SelectSources(nullptr, missingVideo.put(), &videoMs, missingAudio.put(), &audioMs),
              0);
    EXPECT_FALSE(missingVideo || missingAudio);

    EngineRef<IMediaSource> empty;
    ASSERT_GE(CreateEmptySource(nullptr, empty.put()), 0);
    EXPECT_GE(empty->Prepare(nullptr, kStreamVideo), 0);

    std::int32_t crop[4] = {-1, -1, -1, -1};
    EXPECT_GE(edit->AddClip(v1.get(), crop, 0, 0, 0, 50000000, 0, 50000000), 0);
    crop[0] = 8;  // read during the call: the change below must not show in the log
    EXPECT_GE(edit->AddClip(empty.get(), nullptr, 1, 2, 3, 4, 50000000, 60000000), 0);
    crop[0] = 99;
    v1.reset();
    composite->AddRef();
    composite->Release();

    EngineRef<IMediaAcceptor> acceptor;
    ASSERT_GE(CreateCallBackMediaAcceptor(nullptr, &Probe::callback, &probe, acceptor.put()), 0);
    auto connection =
        QueryEngineInterface<IAcceptorConnection>(edit.get(), IID_IAcceptorConnection);
    ASSERT_TRUE(connection);
    EXPECT_GE(connection->ConnectAcceptor(acceptor.get()), 0);
    EXPECT_GE(composite->Prepare(nullptr, kStreamVideo), 0);

    EngineRef<IAudioVideoSync> sync;
    ASSERT_GE(CreateAudioVideoSync(nullptr, sync.put()), 0);
    EXPECT_GE(sync->AttachAcceptors(nullptr, nullptr, acceptor.get(), nullptr, nullptr, nullptr),
              0);

    EXPECT_GE(composite->Run(), 0);
    // No series set: the delivery thread has nothing to deliver and ends soon.
    EXPECT_TRUE(endsInTime(composite.get()));
    EXPECT_GE(composite->Pause(), 0);
    EXPECT_GE(composite->Stop(), 0);

    sync.reset();
    connection.reset();
    acceptor.reset();
    empty.reset();
    a2.reset();
    v2.reset();
    a3.reset();
    edit.reset();
    composite.reset();

    const Lines expected = {
        "CreateSimpleCompositeSource -> C1",
        "C1.QueryInterface(ICompositeEdit) -> C1/edit",
        "C1/edit.SetVideoFormat(320, 240, 25)",
        "C1/edit.SetVideoFormat(640, 480, 29.97)",
        "C1/edit.SetAudioFormat(44100, 2)",
        "SelectSources(\"v.mp4\") -> S1, none",
        "SelectSources(\"both.mp4\") -> S2, S3",
        "SelectSources(\"a.wav\") -> none, S4",
        "SelectSources(\"missing.mp4\") -> fail",
        "SelectSources(null) -> fail",
        "CreateEmptySource -> X1",
        "X1.Prepare(0)",
        "C1/edit.AddClip(S1, {-1, -1, -1, -1}, 0, 0, 0, 50000000, 0, 50000000)",
        "C1/edit.AddClip(X1, null, 1, 2, 3, 4, 50000000, 60000000)",
        "S1.Release",
        "C1.AddRef",
        "C1.Release",
        "CreateCallBackMediaAcceptor -> A1",
        "C1/edit.QueryInterface(IAcceptorConnection) -> C1/conn",
        "C1/conn.ConnectAcceptor(A1)",
        "C1.Prepare(0)",
        "CreateAudioVideoSync -> Y1",
        "Y1.AttachAcceptors(A1, none)",
        "C1.Run",
        "C1.Pause",
        "C1.Stop",
        "Y1.Release",
        "C1/conn.Release",
        "A1.Release",
        "X1.Release",
        "S3.Release",
        "S2.Release",
        "S4.Release",
        "C1/edit.Release",
        "C1.Release",
    };
    EXPECT_EQ(engine().calls(), expected);
    EXPECT_EQ(engine().faults(), Lines{});
    EXPECT_GE(engine().isEndedCalls(), 1);  // counted, not logged
}

TEST_F(FakeEngineLog, InterfacesOnlyWhereTheEngineHasThem) {
    EngineRef<IMediaSource> composite;
    ASSERT_GE(CreateSimpleCompositeSource(nullptr, composite.put()), 0);

    void* object = &composite;  // must come back null
    EXPECT_LT(composite->QueryInterface(kOtherIid, &object), 0);
    EXPECT_EQ(object, nullptr);
    object = &composite;
    EXPECT_LT(composite->QueryInterface(IID_IAcceptorConnection, &object), 0);
    EXPECT_EQ(object, nullptr);

    // The same tear-off each time, one external reference per successful query.
    auto edit1 = QueryEngineInterface<ICompositeEdit>(composite.get(), IID_ICompositeEdit);
    auto edit2 = QueryEngineInterface<ICompositeEdit>(composite.get(), IID_ICompositeEdit);
    ASSERT_TRUE(edit1 && edit2);
    EXPECT_EQ(edit1.get(), edit2.get());
    EngineRef<IMediaSource> empty;
    ASSERT_GE(CreateEmptySource(nullptr, empty.put()), 0);
    object = &composite;
    EXPECT_LT(empty->QueryInterface(IID_ICompositeEdit, &object), 0);
    EXPECT_EQ(object, nullptr);
    edit1.reset();
    edit2.reset();
    empty.reset();
    composite.reset();

    EXPECT_EQ(engine().calls(), (Lines{
                                    "CreateSimpleCompositeSource -> C1",
                                    "C1.QueryInterface(other) -> fail",
                                    "C1.QueryInterface(IAcceptorConnection) -> fail",
                                    "C1.QueryInterface(ICompositeEdit) -> C1/edit",
                                    "C1.QueryInterface(ICompositeEdit) -> C1/edit",
                                    "CreateEmptySource -> X1",
                                    "X1.QueryInterface(ICompositeEdit) -> fail",
                                    "C1/edit.Release",
                                    "C1/edit.Release",
                                    "X1.Release",
                                    "C1.Release",
                                }));
    EXPECT_EQ(engine().faults(), Lines{});
}

TEST_F(FakeEngineLog, ResetForgetsEverythingAndNamesStartAgain) {
    engine().addFile("v.mp4", true, true);
    engine().setHoldEnd(true);
    {
        EngineRef<IMediaSource> composite, video, audio;
        ASSERT_GE(CreateSimpleCompositeSource(nullptr, composite.put()), 0);
        ASSERT_GE(SelectSources("v.mp4", video.put(), nullptr, audio.put(), nullptr), 0);
        engine().failNext(Step::CreateSync);
    }
    EXPECT_FALSE(engine().calls().empty());
    engine().reset();
    EXPECT_EQ(engine().calls(), Lines{});
    EXPECT_EQ(engine().faults(), Lines{});

    EngineRef<IMediaSource> composite, video, audio;
    ASSERT_GE(CreateSimpleCompositeSource(nullptr, composite.put()), 0);
    EXPECT_LT(SelectSources("v.mp4", video.put(), nullptr, audio.put(), nullptr), 0);
    EngineRef<IAudioVideoSync> sync;
    EXPECT_GE(CreateAudioVideoSync(nullptr, sync.put()), 0);  // the failure was forgotten
    // holdEnd was forgotten too: a composite with nothing connected ends at once.
    EXPECT_GE(composite->Prepare(nullptr, kStreamAudio), 0);
    EXPECT_GE(composite->Run(), 0);
    EXPECT_EQ(ended(composite.get()), 1);
    EXPECT_GE(composite->Stop(), 0);
    sync.reset();
    composite.reset();
    EXPECT_EQ(engine().calls(), (Lines{
                                    "CreateSimpleCompositeSource -> C1",
                                    "SelectSources(\"v.mp4\") -> fail",
                                    "CreateAudioVideoSync -> Y1",
                                    "C1.Prepare(1)",
                                    "C1.Run",
                                    "C1.Stop",
                                    "Y1.Release",
                                    "C1.Release",
                                }));
    EXPECT_EQ(engine().faults(), Lines{});
}

// ---- Reference faults ----

TEST_F(FakeEngineReferences, OverReleaseAndLeaksAreReported) {
    engine().addFile("both.mp4", true, true);
    IMediaSource* composite = nullptr;
    IMediaSource* video = nullptr;
    IMediaSource* audio = nullptr;
    ASSERT_GE(CreateSimpleCompositeSource(nullptr, &composite), 0);
    ASSERT_GE(SelectSources("both.mp4", &video, nullptr, &audio, nullptr), 0);
    EXPECT_EQ(video->Release(), 0u);
    EXPECT_EQ(audio->Release(), 0u);
    EXPECT_EQ(audio->Release(), 0u);  // once too often: reported, not a crash
    EXPECT_EQ(engine().faults(), (Lines{"S2 released too often", "C1 never released"}));
    EXPECT_EQ(composite->Release(), 0u);
    EXPECT_EQ(engine().faults(), Lines{"S2 released too often"});
}

TEST_F(FakeEngineReferences, TearOffsCountOnTheirOwn) {
    IMediaSource* composite = nullptr;
    ASSERT_GE(CreateSimpleCompositeSource(nullptr, &composite), 0);
    void* object = nullptr;
    ASSERT_GE(composite->QueryInterface(IID_ICompositeEdit, &object), 0);
    auto* edit = static_cast<ICompositeEdit*>(object);
    EXPECT_EQ(edit->AddRef(), 2u);
    EXPECT_EQ(edit->Release(), 1u);

    // Releasing the editor twice instead of the composite once.
    edit->Release();
    edit->Release();
    EXPECT_EQ(engine().faults(), (Lines{"C1/edit released too often", "C1 never released"}));
}

TEST_F(FakeEngineReferences, UseAfterReleaseIsReported) {
    engine().addFile("v.mp4", true, false);
    EngineRef<IMediaSource> composite;
    ASSERT_GE(CreateSimpleCompositeSource(nullptr, composite.put()), 0);
    auto edit = QueryEngineInterface<ICompositeEdit>(composite.get(), IID_ICompositeEdit);
    IMediaSource* video = nullptr;
    IMediaSource* audio = nullptr;
    ASSERT_GE(SelectSources("v.mp4", &video, nullptr, &audio, nullptr), 0);
    video->Release();
    // Handing a released source to the engine, then calling it.
    EXPECT_GE(edit->AddClip(video, nullptr, 0, 0, 0, 1, 0, 1), 0);
    video->Prepare(nullptr, kStreamVideo);

    IMediaSource* raw = composite.detach();
    raw->Release();
    raw->Pause();  // still in memory until reset(), so this is reported, not undefined
    edit.reset();
    EXPECT_EQ(engine().faults(),
              (Lines{"S1 used after release", "S1 used after release", "C1 used after release"}));
}

TEST_F(FakeEngineReferences, InternalReferencesAreNotCounted) {
    // The composite keeps its clips and the tear-offs keep the composite, but the library
    // owes the engine nothing for those.
    Probe probe;
    engine().addFile("v.mp4", true, false);
    Timeline timeline = buildTimeline(kStreamVideo, &probe);
    EngineRef<IMediaSource> video, audio;
    ASSERT_GE(SelectSources("v.mp4", video.put(), nullptr, audio.put(), nullptr), 0);
    EXPECT_GE(timeline.edit->AddClip(video.get(), nullptr, 0, 0, 0, 1, 0, 1), 0);
    video.reset();
    timeline.composite.reset();  // the editor still works: the tear-off keeps the composite
    EXPECT_GE(timeline.edit->SetAudioFormat(48000, 1), 0);
    timeline.close();
    EXPECT_EQ(engine().faults(), Lines{});
}

TEST_F(FakeEngineReferences, CallsOnObjectsFromBeforeResetAreReported) {
    IMediaSource* composite = nullptr;
    ASSERT_GE(CreateSimpleCompositeSource(nullptr, &composite), 0);
    engine().reset();
    EXPECT_EQ(engine().faults(), Lines{});  // forgotten, so no "never released"
    EXPECT_LT(composite->Run(), 0);
    EXPECT_EQ(composite->Release(), 0u);
    EXPECT_EQ(engine().calls(), Lines{});
    EXPECT_EQ(engine().faults(), (Lines{"C1 used after reset", "C1 used after reset"}));
}

// ---- Delivery ----

TEST_F(FakeEngineDelivery, VideoFramesCarryTheirRecordAndAWritableCopy) {
    fake::VideoSeries series = videoFrames(3);
    series.width = 8;
    series.height = 6;
    series.frames[1].bytes = {1, 2, 3, 4};
    engine().setVideoSeries(series);
    Probe probe;
    Timeline timeline = buildTimeline(kStreamVideo, &probe);
    EXPECT_EQ(ended(timeline.composite.get()), 0);  // not run yet

    ASSERT_GE(timeline.composite->Run(), 0);
    ASSERT_TRUE(engine().waitForDeliveries(3, 0, kPatience));
    ASSERT_TRUE(endsInTime(timeline.composite.get()));

    const auto received = engine().videoReceived();
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received[0].start, 0);
    EXPECT_EQ(received[1].start, 400000);
    EXPECT_EQ(received[2].start, 800000);
    EXPECT_EQ(received[1].result, 400001);
    EXPECT_EQ(received[1].bytesAfter, (std::vector<std::uint8_t>{0xFE, 0xFD, 0xFC, 0xFB}));
    EXPECT_EQ(received[2].bytesAfter, std::vector<std::uint8_t>{0xFD});
    EXPECT_TRUE(engine().audioReceived().empty());
    timeline.close();
    EXPECT_EQ(engine().faults(), Lines{});

    std::lock_guard<std::mutex> lock(probe.mutex);
    ASSERT_EQ(probe.videoFormats.size(), 3u);
    const BITMAPINFOHEADER& format = probe.videoFormats[1];
    EXPECT_EQ(format.biSize, 40u);
    EXPECT_EQ(format.biWidth, 8);
    EXPECT_EQ(format.biHeight, 6);
    EXPECT_EQ(format.biPlanes, 1);
    EXPECT_EQ(format.biBitCount, 32);
    EXPECT_EQ(format.biSizeImage, 4u);
    EXPECT_EQ(probe.lengths, (std::vector<std::int32_t>{1, 4, 1}));
    EXPECT_EQ(probe.durations, (std::vector<std::int64_t>{400000, 400000, 400000}));
}

TEST_F(FakeEngineDelivery, AudioBuffersCarryTheirRecord) {
    fake::AudioSeries series = audioBuffers(2);
    series.channels = 1;
    series.sampleRate = 48000;
    series.bitsPerSample = 16;
    engine().setAudioSeries(series);
    engine().setVideoSeries(videoFrames(5));  // must not leak into the audio composite
    Probe probe;
    Timeline timeline = buildTimeline(kStreamAudio, &probe);
    ASSERT_GE(timeline.composite->Run(), 0);
    ASSERT_TRUE(engine().waitForDeliveries(0, 2, kPatience));
    ASSERT_TRUE(endsInTime(timeline.composite.get()));
    timeline.close();

    EXPECT_TRUE(engine().videoReceived().empty());
    const auto received = engine().audioReceived();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[1].start, 100000);
    EXPECT_EQ(received[1].bytesAfter, std::vector<std::uint8_t>{0xFE});
    std::lock_guard<std::mutex> lock(probe.mutex);
    ASSERT_EQ(probe.audioFormats.size(), 2u);
    const WAVEFORMATEX& format = probe.audioFormats[0];
    EXPECT_EQ(format.wFormatTag, 1);
    EXPECT_EQ(format.nChannels, 1);
    EXPECT_EQ(format.nSamplesPerSec, 48000u);
    EXPECT_EQ(format.wBitsPerSample, 16);
    EXPECT_EQ(format.nBlockAlign, 2);
    EXPECT_EQ(format.nAvgBytesPerSec, 96000u);
    EXPECT_EQ(format.cbSize, 0);
}

TEST_F(FakeEngineDelivery, PauseHoldsBeforeTheNextDeliveryUntilRun) {
    engine().setVideoSeries(videoFrames(5));
    Probe probe;
    probe.holdAt = 1;
    Timeline timeline = buildTimeline(kStreamVideo, &probe);
    ASSERT_GE(timeline.composite->Run(), 0);
    ASSERT_TRUE(probe.waitHolding());

    // Paused while the second callback runs: it finishes, and nothing follows.
    ASSERT_GE(timeline.composite->Pause(), 0);
    probe.open();
    ASSERT_TRUE(engine().waitForDeliveries(2, 0, kPatience));
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(probe.count(), 2);
    EXPECT_EQ(ended(timeline.composite.get()), 0);

    ASSERT_GE(timeline.composite->Run(), 0);
    ASSERT_TRUE(engine().waitForDeliveries(5, 0, kPatience));
    ASSERT_TRUE(endsInTime(timeline.composite.get()));
    timeline.close();
    EXPECT_EQ(engine().faults(), Lines{});
}

TEST_F(FakeEngineDelivery, StopWaitsForTheRunningCallbackAndEndsDelivery) {
    engine().setVideoSeries(videoFrames(5));
    Probe probe;
    probe.holdAt = 0;
    Timeline timeline = buildTimeline(kStreamVideo, &probe);
    ASSERT_GE(timeline.composite->Run(), 0);
    ASSERT_TRUE(probe.waitHolding());

    // Stop from another thread while the callback runs: it must wait for the callback.
    IMediaSource* composite = timeline.composite.get();
    auto stopped = std::async(std::launch::async, [composite, &probe] {
        const HRESULT status = composite->Stop();
        probe.stopReturned = true;
        return status;
    });
    EXPECT_EQ(stopped.wait_for(milliseconds(100)), std::future_status::timeout);
    probe.open();
    ASSERT_EQ(stopped.wait_for(kPatience), std::future_status::ready);
    EXPECT_GE(stopped.get(), 0);

    // After Stop nothing more comes, and Run does nothing.
    EXPECT_GE(timeline.composite->Run(), 0);
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(probe.count(), 1);
    EXPECT_EQ(engine().videoReceived().size(), 1u);
    {
        std::lock_guard<std::mutex> lock(probe.mutex);
        EXPECT_EQ(probe.callsAfterStop, 0);
    }
    timeline.close();
    const Lines calls = engine().calls();
    ASSERT_GE(calls.size(), 8u);
    const Lines tail(calls.end() - 8, calls.end());
    EXPECT_EQ(tail, (Lines{"C1.Run", "C1.Stop", "C1.Run", "C1.Stop", "C1/conn.Release",
                           "A1.Release", "C1/edit.Release", "C1.Release"}));
    EXPECT_EQ(engine().faults(), Lines{});
}

TEST_F(FakeEngineDelivery, StopCutsThePaceShort) {
    engine().setVideoSeries(videoFrames(2));
    engine().setPace(milliseconds(60000));
    Probe probe;
    Timeline timeline = buildTimeline(kStreamVideo, &probe);
    ASSERT_GE(timeline.composite->Run(), 0);
    std::this_thread::sleep_for(milliseconds(20));
    const auto before = std::chrono::steady_clock::now();
    EXPECT_GE(timeline.composite->Stop(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - before, milliseconds(2000));
    EXPECT_EQ(probe.count(), 0);
    timeline.close();
    EXPECT_EQ(engine().faults(), Lines{});
}

TEST_F(FakeEngineDelivery, StopFromInsideACallbackDoesNotWaitForItself) {
    engine().setVideoSeries(videoFrames(5));
    Probe probe;
    Timeline timeline = buildTimeline(kStreamVideo, &probe);
    IMediaSource* composite = timeline.composite.get();
    probe.action = [composite](int index, std::int64_t) {
        if (index == 1) {
            composite->Stop();  // on the delivery thread
        }
    };
    ASSERT_GE(timeline.composite->Run(), 0);
    ASSERT_TRUE(engine().waitForDeliveries(2, 0, kPatience));
    std::this_thread::sleep_for(milliseconds(100));
    EXPECT_EQ(probe.count(), 2);
    timeline.close();  // the worker's own Stop joins the thread
    EXPECT_EQ(engine().videoReceived().size(), 2u);
    EXPECT_EQ(engine().faults(), Lines{});
}

TEST_F(FakeEngineDelivery, IsEndedFollowsTheSeriesAndHoldEnd) {
    engine().setAudioSeries(audioBuffers(3));
    engine().setPace(milliseconds(30));
    Probe probe;
    Timeline timeline = buildTimeline(kStreamAudio, &probe);
    EXPECT_EQ(ended(timeline.composite.get()), 0);
    ASSERT_GE(timeline.composite->Run(), 0);
    EXPECT_EQ(ended(timeline.composite.get()), 0);  // delivering
    ASSERT_TRUE(endsInTime(timeline.composite.get()));
    EXPECT_EQ(engine().audioReceived().size(), 3u);  // only after the last callback returned
    timeline.close();

    engine().setHoldEnd(true);
    Probe held;
    Timeline holding = buildTimeline(kStreamAudio, &held);
    ASSERT_GE(holding.composite->Run(), 0);
    ASSERT_TRUE(engine().waitForDeliveries(0, 6, kPatience));
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_EQ(ended(holding.composite.get()), 0);
    for (const std::string& fault : engine().faults()) {
        EXPECT_EQ(fault.find("never stopped"), std::string::npos) << fault;  // done delivering
    }
    EXPECT_GE(holding.composite->Stop(), 0);
    EXPECT_EQ(ended(holding.composite.get()), 1);
    holding.close();
    EXPECT_EQ(engine().faults(), Lines{});
    EXPECT_GE(engine().isEndedCalls(), 5);
}

TEST_F(FakeEngineDelivery, RunWithoutAcceptorEndsAtOnceAndRunBeforePrepareIsAFault) {
    engine().setVideoSeries(videoFrames(3));
    Timeline bare = buildTimeline(kStreamVideo, nullptr);
    ASSERT_GE(bare.composite->Run(), 0);
    EXPECT_EQ(ended(bare.composite.get()), 1);
    bare.close();
    EXPECT_EQ(engine().faults(), Lines{});

    EngineRef<IMediaSource> unprepared;
    ASSERT_GE(CreateSimpleCompositeSource(nullptr, unprepared.put()), 0);
    EXPECT_LT(unprepared->Run(), 0);
    EXPECT_EQ(ended(unprepared.get()), 1);  // a polling worker is not kept waiting
    unprepared->Stop();
    unprepared.reset();
    EXPECT_EQ(engine().faults(), Lines{"C2.Run before Prepare"});
    EXPECT_TRUE(engine().videoReceived().empty());
}

TEST_F(FakeEngineDelivery, ACompositeLeftDeliveringIsReported) {
    engine().setVideoSeries(videoFrames(3));
    engine().setPace(milliseconds(60000));
    Probe probe;
    Timeline timeline = buildTimeline(kStreamVideo, &probe);
    ASSERT_GE(timeline.composite->Run(), 0);
    timeline.connection.reset();
    timeline.acceptor.reset();
    timeline.edit.reset();
    timeline.composite.reset();  // released, but still delivering
    EXPECT_EQ(engine().faults(), Lines{"C1 never stopped"});
    engine().reset();  // joins the thread before probe goes away
}

TEST_F(FakeEngineDelivery, VideoAndAudioRunTogetherAndReportToTheSync) {
    engine().setVideoSeries(videoFrames(20));
    engine().setAudioSeries(audioBuffers(20));
    EngineRef<IAudioVideoSync> sync;
    ASSERT_GE(CreateAudioVideoSync(nullptr, sync.put()), 0);
    IAudioVideoSync* raw = sync.get();
    Probe videoProbe;
    Probe audioProbe;
    videoProbe.action = [raw](int, std::int64_t start) { raw->NotifyVideoTime(start); };
    audioProbe.action = [raw](int, std::int64_t start) { raw->NotifyAudioTime(start); };
    Timeline video = buildTimeline(kStreamVideo, &videoProbe);
    Timeline audio = buildTimeline(kStreamAudio, &audioProbe);
    ASSERT_GE(sync->AttachAcceptors(nullptr, nullptr, video.acceptor.get(), nullptr, nullptr,
                                    audio.acceptor.get()),
              0);
    ASSERT_GE(video.composite->Run(), 0);
    ASSERT_GE(audio.composite->Run(), 0);
    ASSERT_TRUE(engine().waitForDeliveries(20, 20, kPatience));
    video.close();
    audio.close();
    sync.reset();

    Lines videoNotes;
    Lines audioNotes;
    for (const std::string& note : engine().syncNotifications()) {
        (note.rfind("Y1 video ", 0) == 0 ? videoNotes : audioNotes).push_back(note);
    }
    ASSERT_EQ(videoNotes.size(), 20u);
    ASSERT_EQ(audioNotes.size(), 20u);
    EXPECT_EQ(videoNotes[0], "Y1 video 0");
    EXPECT_EQ(videoNotes[1], "Y1 video 400000");
    EXPECT_EQ(audioNotes[1], "Y1 audio 100000");
    EXPECT_EQ(audioNotes[19], "Y1 audio 1900000");
    const Lines calls = engine().calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Y1.AttachAcceptors(A1, A2)"), 1);
    EXPECT_EQ(engine().faults(), Lines{});
}

// ---- Failure injection and holds ----

TEST_F(FakeEngineScript, FailNextFailsOnlyTheNextOccurrence) {
    engine().addFile("v.mp4", true, true);
    for (Step step : {Step::CreateComposite, Step::SelectSources, Step::PrepareVideo,
                      Step::PrepareAudio, Step::QueryCompositeEdit, Step::QueryAcceptorConnection,
                      Step::CreateAcceptor, Step::CreateSync, Step::PrepareSource}) {
        engine().failNext(step);
    }
    Probe probe;

    EngineRef<IMediaSource> composite;
    EXPECT_LT(CreateSimpleCompositeSource(nullptr, composite.put()), 0);
    EXPECT_FALSE(composite);
    ASSERT_GE(CreateSimpleCompositeSource(nullptr, composite.put()), 0);

    EngineRef<IMediaSource> video, audio;
    EXPECT_LT(SelectSources("v.mp4", video.put(), nullptr, audio.put(), nullptr), 0);
    EXPECT_FALSE(video || audio);
    ASSERT_GE(SelectSources("v.mp4", video.put(), nullptr, audio.put(), nullptr), 0);
    EXPECT_LT(video->Prepare(nullptr, kStreamVideo), 0);
    EXPECT_GE(video->Prepare(nullptr, kStreamVideo), 0);

    EXPECT_FALSE(QueryEngineInterface<ICompositeEdit>(composite.get(), IID_ICompositeEdit));
    auto edit = QueryEngineInterface<ICompositeEdit>(composite.get(), IID_ICompositeEdit);
    ASSERT_TRUE(edit);
    EXPECT_FALSE(QueryEngineInterface<IAcceptorConnection>(edit.get(), IID_IAcceptorConnection));
    auto connection =
        QueryEngineInterface<IAcceptorConnection>(edit.get(), IID_IAcceptorConnection);
    ASSERT_TRUE(connection);

    EngineRef<IMediaAcceptor> acceptor;
    EXPECT_LT(CreateCallBackMediaAcceptor(nullptr, &Probe::callback, &probe, acceptor.put()), 0);
    EXPECT_FALSE(acceptor);
    ASSERT_GE(CreateCallBackMediaAcceptor(nullptr, &Probe::callback, &probe, acceptor.put()), 0);

    EXPECT_LT(composite->Prepare(nullptr, kStreamAudio), 0);
    EXPECT_LT(composite->Prepare(nullptr, kStreamVideo), 0);
    EXPECT_GE(composite->Prepare(nullptr, kStreamVideo), 0);
    EXPECT_GE(composite->Prepare(nullptr, kStreamAudio), 0);

    EngineRef<IAudioVideoSync> sync;
    EXPECT_LT(CreateAudioVideoSync(nullptr, sync.put()), 0);
    EXPECT_FALSE(sync);
    ASSERT_GE(CreateAudioVideoSync(nullptr, sync.put()), 0);

    sync.reset();
    acceptor.reset();
    connection.reset();
    edit.reset();
    audio.reset();
    video.reset();
    composite.reset();
    EXPECT_EQ(engine().calls(), (Lines{
                                    "CreateSimpleCompositeSource -> fail",
                                    "CreateSimpleCompositeSource -> C1",
                                    "SelectSources(\"v.mp4\") -> fail",
                                    "SelectSources(\"v.mp4\") -> S1, S2",
                                    "S1.Prepare(0) -> fail",
                                    "S1.Prepare(0)",
                                    "C1.QueryInterface(ICompositeEdit) -> fail",
                                    "C1.QueryInterface(ICompositeEdit) -> C1/edit",
                                    "C1/edit.QueryInterface(IAcceptorConnection) -> fail",
                                    "C1/edit.QueryInterface(IAcceptorConnection) -> C1/conn",
                                    "CreateCallBackMediaAcceptor -> fail",
                                    "CreateCallBackMediaAcceptor -> A1",
                                    "C1.Prepare(1) -> fail",
                                    "C1.Prepare(0) -> fail",
                                    "C1.Prepare(0)",
                                    "C1.Prepare(1)",
                                    "CreateAudioVideoSync -> fail",
                                    "CreateAudioVideoSync -> Y1",
                                    "Y1.Release",
                                    "A1.Release",
                                    "C1/conn.Release",
                                    "C1/edit.Release",
                                    "S2.Release",
                                    "S1.Release",
                                    "C1.Release",
                                }));
    EXPECT_EQ(engine().faults(), Lines{});
}

TEST_F(FakeEngineScript, BlockAtHoldsTheCallUntilRelease) {
    engine().addFile("v.mp4", true, false);
    engine().blockAt(Step::SelectSources);
    IMediaSource* video = nullptr;
    IMediaSource* audio = nullptr;
    auto selected = std::async(std::launch::async, [&video, &audio] {
        return SelectSources("v.mp4", &video, nullptr, &audio, nullptr);
    });
    ASSERT_TRUE(engine().waitUntilBlocked(kPatience));

    // Other calls go on meanwhile; the held one is not logged until it completes.
    EngineRef<IMediaSource> composite;
    ASSERT_GE(CreateSimpleCompositeSource(nullptr, composite.put()), 0);
    EXPECT_EQ(selected.wait_for(milliseconds(50)), std::future_status::timeout);
    EXPECT_EQ(engine().calls(), Lines{"CreateSimpleCompositeSource -> C1"});

    engine().release();
    ASSERT_EQ(selected.wait_for(kPatience), std::future_status::ready);
    EXPECT_GE(selected.get(), 0);
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(audio, nullptr);
    video->Release();
    composite.reset();
    EXPECT_EQ(engine().calls(),
              (Lines{"CreateSimpleCompositeSource -> C1", "SelectSources(\"v.mp4\") -> S1, none",
                     "S1.Release", "C1.Release"}));
    EXPECT_EQ(engine().faults(), Lines{});
}

TEST_F(FakeEngineScript, BlockedMethodCallWaitsThenFailsAsInjected) {
    EngineRef<IMediaSource> composite;
    ASSERT_GE(CreateSimpleCompositeSource(nullptr, composite.put()), 0);
    engine().blockAt(Step::PrepareAudio);
    engine().failNext(Step::PrepareAudio);
    IMediaSource* raw = composite.get();
    EXPECT_GE(raw->Prepare(nullptr, kStreamVideo), 0);  // not the armed step
    auto prepared =
        std::async(std::launch::async, [raw] { return raw->Prepare(nullptr, kStreamAudio); });
    ASSERT_TRUE(engine().waitUntilBlocked(kPatience));
    engine().release();
    EXPECT_LT(prepared.get(), 0);
    composite.reset();
    EXPECT_EQ(engine().calls(), (Lines{"CreateSimpleCompositeSource -> C1", "C1.Prepare(0)",
                                       "C1.Prepare(1) -> fail", "C1.Release"}));
    EXPECT_EQ(engine().faults(), Lines{});
}

TEST_F(FakeEngineScript, ResetFailsAHeldCall) {
    engine().blockAt(Step::CreateComposite);
    static char sentinel;
    IMediaSource* composite = reinterpret_cast<IMediaSource*>(&sentinel);  // must come back null
    auto created = std::async(std::launch::async, [&composite] {
        return CreateSimpleCompositeSource(nullptr, &composite);
    });
    ASSERT_TRUE(engine().waitUntilBlocked(kPatience));
    engine().reset();
    ASSERT_EQ(created.wait_for(kPatience), std::future_status::ready);
    EXPECT_LT(created.get(), 0);
    EXPECT_EQ(composite, nullptr);
    EXPECT_EQ(engine().calls(), Lines{});
    EXPECT_EQ(engine().faults(), Lines{});

    // The engine is usable again, with no hold left armed.
    EngineRef<IMediaSource> next;
    ASSERT_GE(CreateSimpleCompositeSource(nullptr, next.put()), 0);
    next.reset();
    EXPECT_EQ(engine().calls(), (Lines{"CreateSimpleCompositeSource -> C1", "C1.Release"}));
}

TEST_F(FakeEngineScript, ReleaseBeforeTheCallDisarmsTheHold) {
    EXPECT_FALSE(engine().waitUntilBlocked(milliseconds(20)));
    engine().blockAt(Step::CreateSync);
    engine().release();
    EngineRef<IAudioVideoSync> sync;
    auto created = std::async(std::launch::async,
                              [&sync] { return CreateAudioVideoSync(nullptr, sync.put()); });
    ASSERT_EQ(created.wait_for(kPatience), std::future_status::ready);
    EXPECT_GE(created.get(), 0);
    sync.reset();
    EXPECT_EQ(engine().faults(), Lines{});
}

}  // namespace
