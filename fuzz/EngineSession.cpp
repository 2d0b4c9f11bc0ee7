#include "fuzz/EngineSession.h"

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <thread>

#include "engine/EngineRef.h"

namespace fuzzsession {
namespace {

using namespace std::chrono_literals;

// What a delivery callback of one kind shares with the host thread of the runner.
struct Side {
    Receiver* receiver = nullptr;
    bool video = true;
    std::atomic<IAudioVideoSync*> sync{nullptr};
    std::atomic<std::int64_t> deliveries{0};
    std::atomic<std::int64_t> lastDelivery{0};  // steady_clock, ns since its epoch
    // Set by the host thread once this kind's Stop has returned: no callback may follow.
    std::atomic<bool> stopReturned{false};
};

std::intptr_t TARN_CALL Deliver(void* context, const void* format, std::uint8_t* data,
                                std::int32_t length, std::int64_t start, std::int64_t duration) {
    Side& side = *static_cast<Side*>(context);
    if (side.stopReturned.load()) {
        Fail("a %s callback ran after the composite's Stop returned",
             side.video ? "video" : "audio");
    }
    side.deliveries.fetch_add(1);
    side.lastDelivery.store(std::chrono::steady_clock::now().time_since_epoch().count());
    if (IAudioVideoSync* sync = side.sync.load()) {
        if (side.video) {
            sync->NotifyVideoTime(start);
        } else {
            sync->NotifyAudioTime(start);
        }
    }
    if (side.video) {
        side.receiver->OnVideo(format, data, length, start, duration);
    } else {
        side.receiver->OnAudio(format, data, length, start, duration);
    }
    return 0;
}

// Engine calls never throw; one that does is a finding.
template <typename Call>
auto Guarded(const char* name, Call call) -> decltype(call()) {
    try {
        return call();
    } catch (const std::exception& error) {
        Fail("engine call %s threw %s", name, error.what());
    } catch (...) {
        Fail("engine call %s threw", name);
    }
}

struct Timeline {
    StreamKind kind;
    EngineRef<IMediaSource> composite;
    EngineRef<ICompositeEdit> editor;
    EngineRef<IMediaAcceptor> acceptor;
    Side side;
    bool prepared = false;

    explicit Timeline(StreamKind streamKind) : kind(streamKind) {}
};

void Build(const TimelinePlan& plan, Timeline& timeline, Receiver& receiver) {
    if (!plan.wanted) {
        return;
    }
    if (Guarded("CreateSimpleCompositeSource",
                [&] { return CreateSimpleCompositeSource(nullptr, timeline.composite.put()); }) <
            0 ||
        !timeline.composite) {
        return;
    }
    timeline.editor =
        QueryEngineInterface<ICompositeEdit>(timeline.composite.get(), IID_ICompositeEdit);
    if (!timeline.editor) {
        Fail("a composite does not give ICompositeEdit");
    }
    Guarded("SetVideoFormat/SetAudioFormat", [&] {
        return timeline.kind == kStreamVideo
                   ? timeline.editor->SetVideoFormat(plan.width, plan.height, plan.frameRate)
                   : timeline.editor->SetAudioFormat(plan.sampleRate, plan.channels);
    });
    std::int64_t at = 0;
    for (const ClipPlan& clip : plan.clips) {
        const std::int64_t length = clip.sourceStop - clip.sourceStart;
        if (Guarded("AddClip", [&] {
                return timeline.editor->AddClip(clip.source, clip.crop.data(), clip.mode,
                                                clip.param, clip.sourceStart, clip.sourceStop, at,
                                                at + length);
            }) < 0) {
            Fail("AddClip refused a clip of this engine from %lld to %lld at %lld",
                 static_cast<long long>(clip.sourceStart), static_cast<long long>(clip.sourceStop),
                 static_cast<long long>(at));
        }
        at += length;
    }
    timeline.side.receiver = &receiver;
    timeline.side.video = timeline.kind == kStreamVideo;
    if (Guarded("CreateCallBackMediaAcceptor",
                [&] {
                    return CreateCallBackMediaAcceptor(nullptr, Deliver, &timeline.side,
                                                       timeline.acceptor.put());
                }) < 0 ||
        !timeline.acceptor) {
        return;
    }
    auto connection =
        QueryEngineInterface<IAcceptorConnection>(timeline.editor.get(), IID_IAcceptorConnection);
    if (!connection) {
        Fail("a composite does not give IAcceptorConnection");
    }
    if (Guarded("ConnectAcceptor",
                [&] { return connection->ConnectAcceptor(timeline.acceptor.get()); }) < 0) {
        return;
    }
    timeline.prepared = Guarded("Prepare", [&] {
                            return timeline.composite->Prepare(nullptr, timeline.kind);
                        }) >= 0;
}

bool Ended(Timeline& timeline) {
    if (!timeline.prepared) {
        return true;
    }
    std::int32_t ended = 0;
    // A timeline whose engine thread ran out of memory ends there and says so with its own
    // status; what it delivered until then is judged as any early end is.
    const HRESULT status = Guarded("IsEnded", [&] { return timeline.composite->IsEnded(&ended); });
    if (status < 0 && !(status == kEndedByFailure && ended != 0)) {
        Fail("IsEnded failed on a prepared composite");
    }
    return ended != 0;
}

void Each(Timeline& video, Timeline& audio, const char* name, HRESULT (IMediaSource::*call)()) {
    for (Timeline* timeline : {&video, &audio}) {
        if (timeline->prepared) {
            Guarded(name, [&] { return (timeline->composite.get()->*call)(); });
        }
    }
}

std::int64_t Deliveries(const Timeline& video, const Timeline& audio) {
    return video.side.deliveries.load() + audio.side.deliveries.load();
}

}  // namespace

namespace {
// Kept in a fixed buffer: Fail may run on an engine thread while the fuzzing thread is in the
// session, and must not allocate.
char g_removeOnFailure[4096] = {};
}  // namespace

void RemoveOnFailure(const std::string& path) {
    const std::size_t length = std::min(path.size(), sizeof g_removeOnFailure - 1);
    std::memcpy(g_removeOnFailure, path.data(), length);
    g_removeOnFailure[length] = '\0';
}

void Fail(const char* format, ...) {
    if (g_removeOnFailure[0] != '\0') {
        std::remove(g_removeOnFailure);
    }
    std::fprintf(stderr, "fuzz: ");
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fprintf(stderr, "\n");
    std::fflush(stderr);
    std::abort();
}

Outcome Run(const TimelinePlan& videoPlan, const TimelinePlan& audioPlan, const Control& control,
            Receiver& receiver) {
    Outcome outcome;
    Timeline video(kStreamVideo);
    Timeline audio(kStreamAudio);
    Build(videoPlan, video, receiver);
    Build(audioPlan, audio, receiver);
    outcome.videoPrepared = video.prepared;
    outcome.audioPrepared = audio.prepared;

    EngineRef<IAudioVideoSync> sync;
    if (control.sync && video.prepared && audio.prepared) {
        if (Guarded("CreateAudioVideoSync",
                    [&] { return CreateAudioVideoSync(nullptr, sync.put()); }) >= 0 &&
            sync) {
            Guarded("AttachAcceptors", [&] {
                return sync->AttachAcceptors(nullptr, nullptr, video.acceptor.get(), nullptr,
                                             nullptr, audio.acceptor.get());
            });
            video.side.sync.store(sync.get());
            audio.side.sync.store(sync.get());
        }
    }

    // Video first, as a host does, so that the sync object sees both before anything moves.
    Each(video, audio, "Run", &IMediaSource::Run);
    const auto started = std::chrono::steady_clock::now();
    const auto until = started + control.limit;
    bool paused = false;
    for (;;) {
        if (Ended(video) && Ended(audio)) {
            outcome.ended = true;
            break;
        }
        if (std::chrono::steady_clock::now() >= until) {
            const std::int64_t last =
                std::max(video.side.lastDelivery.load(), audio.side.lastDelivery.load());
            const std::int64_t quietSince = std::max(last, started.time_since_epoch().count());
            outcome.stalled =
                std::chrono::steady_clock::now().time_since_epoch().count() - quietSince >=
                std::chrono::nanoseconds(std::chrono::seconds(kStallSeconds)).count();
            break;
        }
        if (control.stopAfter >= 0 && Deliveries(video, audio) >= control.stopAfter) {
            outcome.stopped = true;
            break;
        }
        if (control.pauseAfter >= 0 && !paused && Deliveries(video, audio) >= control.pauseAfter) {
            paused = true;
            Each(video, audio, "Pause", &IMediaSource::Pause);
            // A delivery already under way may finish; none may start while paused.
            const std::int64_t videoAtPause = video.side.deliveries.load();
            const std::int64_t audioAtPause = audio.side.deliveries.load();
            std::this_thread::sleep_for(3ms);
            if (video.side.deliveries.load() > videoAtPause + 1 ||
                audio.side.deliveries.load() > audioAtPause + 1) {
                Fail("deliveries went on while paused: video %lld -> %lld, audio %lld -> %lld",
                     static_cast<long long>(videoAtPause),
                     static_cast<long long>(video.side.deliveries.load()),
                     static_cast<long long>(audioAtPause),
                     static_cast<long long>(audio.side.deliveries.load()));
            }
            Each(video, audio, "Run", &IMediaSource::Run);
            continue;
        }
        std::this_thread::sleep_for(1ms);
    }

    for (Timeline* timeline : {&video, &audio}) {
        if (timeline->composite) {
            // Stop is allowed whatever the state, prepared or not.
            Guarded("Stop", [&] { return timeline->composite->Stop(); });
            timeline->side.stopReturned.store(true);
        }
    }
    video.side.sync.store(nullptr);
    audio.side.sync.store(nullptr);
    return outcome;
}

}  // namespace fuzzsession
