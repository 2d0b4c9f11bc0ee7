#include "session/SessionWorker.h"

#include <chrono>

#include "engine/EngineRef.h"
#include "engine/TimeUnits.h"
#include "session/ComRuntime.h"
#include "session/Delivery.h"
#include "session/SelectSource.h"
#include "session/SessionContext.h"

namespace session {

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(100);
constexpr auto kRelaxed = std::memory_order_relaxed;

// One kind's timeline: the composite that plays it, its editor and, once connected, the
// acceptor that hands its output to delivery. length is the end of the timeline so far.
struct Timeline {
    StreamKind kind;
    EngineRef<IMediaSource> composite;
    EngineRef<ICompositeEdit> editor;
    EngineRef<IMediaAcceptor> acceptor;
    std::int64_t length = 0;

    explicit Timeline(StreamKind streamKind) : kind(streamKind) {}
    bool exists() const { return static_cast<bool>(composite); }
};

SourceEntry::Kind EntryKindOf(StreamKind kind) {
    return kind == kStreamVideo ? SourceEntry::Kind::Video : SourceEntry::Kind::Audio;
}

// The engine objects are released in this order however the session ends; the acceptors go
// first so that nothing is left pointing into a released composite.
void ReleaseAll(Timeline& video, Timeline& audio) {
    audio.acceptor.reset();
    video.acceptor.reset();
    audio.composite.reset();
    audio.editor.reset();
    video.composite.reset();
    video.editor.reset();
}

// Creates the composite of one kind and puts every source entry of that kind on it, in id
// order, end to end. False when the engine hands out an object the session cannot do without.
bool BuildTimeline(SessionContext& session, std::int32_t clipMode, Timeline& timeline) {
    if (CreateSimpleCompositeSource(nullptr, timeline.composite.put()) < 0 || !timeline.exists()) {
        return false;
    }
    timeline.editor =
        QueryEngineInterface<ICompositeEdit>(timeline.composite.get(), IID_ICompositeEdit);
    if (!timeline.editor) {
        return false;
    }
    const OutputFormat& format = session.format;
    if (timeline.kind == kStreamVideo) {
        timeline.editor->SetVideoFormat(format.videoWidth, format.videoHeight, format.frameRate);
    } else {
        timeline.editor->SetAudioFormat(format.sampleRate, format.channels);
    }

    for (auto& [id, entry] : session.sources) {
        if (entry.kind != EntryKindOf(timeline.kind)) {
            continue;
        }
        bool usedEmpty = false;
        EngineRef<IMediaSource> clip = SelectSource(entry.name.c_str(), timeline.kind, &usedEmpty);
        if (!clip) {
            return false;
        }
        const std::int64_t sourceStart = SecondsToUnitsTruncated(entry.startSeconds);
        const std::int64_t sourceStop = SecondsToUnitsTruncated(entry.stopSeconds);
        if (usedEmpty && timeline.kind == kStreamVideo) {
            // An empty picture has nothing to crop; later sessions see the entry without one.
            entry.cropRect = SourceEntry::kNoCrop;
        }
        const std::int64_t clipLength = sourceStop - sourceStart;
        timeline.editor->AddClip(clip.get(), entry.cropRect.data(), clipMode, entry.clipParam,
                                 sourceStart, sourceStop, timeline.length,
                                 timeline.length + clipLength);
        clip.reset();
        timeline.length += clipLength;
    }
    return true;
}

// Pads the shorter timeline at its end with an empty clip so that both end together.
bool PadShorter(std::int32_t clipMode, Timeline& video, Timeline& audio) {
    Timeline& shorter = video.length < audio.length ? video : audio;
    const std::int64_t longerLength = video.length < audio.length ? audio.length : video.length;
    const std::int64_t gap = longerLength - shorter.length;

    bool usedEmpty = false;
    EngineRef<IMediaSource> empty = SelectSource(nullptr, shorter.kind, &usedEmpty);
    if (!empty) {
        return false;
    }
    SourceEntry::Rect noCrop = SourceEntry::kNoCrop;
    shorter.editor->AddClip(empty.get(), noCrop.data(), clipMode, 0, 0, gap, shorter.length,
                            shorter.length + gap);
    empty.reset();
    shorter.length = longerLength;
    return true;
}

// Connects a callback acceptor that calls `deliver` to the timeline's composite and prepares
// it. False when an object is missing or Prepare fails; the connection is released either way.
bool ConnectOutput(SessionContext& session, AcceptorCallback deliver, Timeline& timeline) {
    CreateCallBackMediaAcceptor(nullptr, deliver, &session, timeline.acceptor.put());
    if (!timeline.acceptor) {
        return false;
    }
    EngineRef<IAcceptorConnection> connection =
        QueryEngineInterface<IAcceptorConnection>(timeline.editor.get(), IID_IAcceptorConnection);
    if (!connection) {
        return false;
    }
    connection->ConnectAcceptor(timeline.acceptor.get());
    return timeline.composite->Prepare(nullptr, timeline.kind) >= 0;
}

void ReleaseSyncObject(SessionContext& session) {
    if (IAudioVideoSync* sync = session.syncObject.exchange(nullptr, kRelaxed)) {
        sync->Release();
    }
}

// Creates the sync object when both kinds are present and wanted, then runs video before
// audio, so that the sync object is in place before anything is delivered.
void StartEngine(SessionContext& session, Timeline& video, Timeline& audio) {
    ReleaseSyncObject(session);
    if (video.exists()) {
        if (audio.exists() && session.syncEnabled.load(kRelaxed) != 0) {
            IAudioVideoSync* sync = nullptr;
            CreateAudioVideoSync(nullptr, &sync);
            if (sync != nullptr) {
                sync->AttachAcceptors(nullptr, nullptr, video.acceptor.get(), nullptr, nullptr,
                                      audio.acceptor.get());
                session.syncObject.store(sync, kRelaxed);
            }
        }
        video.composite->Run();
    }
    if (audio.exists()) {
        audio.composite->Run();
    }
}

bool HasEnded(const Timeline& timeline) {
    std::int32_t ended = 1;  // a timeline that does not exist counts as ended
    if (timeline.exists()) {
        timeline.composite->IsEnded(&ended);
    }
    return ended != 0;
}

void PauseEngine(Timeline& video, Timeline& audio) {
    if (video.exists()) {
        video.composite->Pause();
    }
    if (audio.exists()) {
        audio.composite->Pause();
    }
}

void RunEngine(Timeline& video, Timeline& audio) {
    if (video.exists()) {
        video.composite->Run();
    }
    if (audio.exists()) {
        audio.composite->Run();
    }
}

// Acts on the host's pause, resume and stop as soon as the state changes, and looks for the
// end of both timelines at least every 100 ms while running; the end is not looked for while
// paused. Returns when the feed is Idle or both timelines have ended.
void PollUntilDone(SessionContext& session, Timeline& video, Timeline& audio) {
    FeedState actedOn = FEED_STATE_RUNNING;  // the engine has just been started
    FeedState state = session.state.Load();
    while (state != FEED_STATE_IDLE) {
        if (state != actedOn) {
            if (state == FEED_STATE_PAUSED) {
                PauseEngine(video, audio);
            } else {
                RunEngine(video, audio);
            }
            actedOn = state;
        }
        if (state == FEED_STATE_RUNNING) {
            const bool videoEnded = HasEnded(video);
            const bool audioEnded = HasEnded(audio);
            if (videoEnded && audioEnded) {
                return;
            }
        }
        state = session.state.WaitForChange(state, kPollInterval);
    }
}

void StopEngine(Timeline& video, Timeline& audio) {
    if (video.exists()) {
        video.composite->Stop();
    }
    if (audio.exists()) {
        audio.composite->Stop();
    }
}

}  // namespace

void SessionWorker(SessionContext& session) {
    // The result code is not touched here: FeedStart has reported success already, and a
    // refusal the host got since then must keep its code next to its message.
    session.videoPositionMs.store(0, kRelaxed);
    session.audioPositionMs.store(0, kRelaxed);
    session.durationMs.store(-1, kRelaxed);
    session.fadeBuffer.Free();

    bool hasVideo = false;
    bool hasAudio = false;
    for (const auto& [id, entry] : session.sources) {
        (entry.kind == SourceEntry::Kind::Video ? hasVideo : hasAudio) = true;
    }
    const std::int32_t clipMode = session.clipMode.load(kRelaxed);

    // Every way out below releases through ReleaseAll, in the order the objects must go.
    Timeline video(kStreamVideo);
    Timeline audio(kStreamAudio);
    const bool built = (!hasVideo || BuildTimeline(session, clipMode, video)) &&
                       (!hasAudio || BuildTimeline(session, clipMode, audio)) &&
                       (!(hasVideo && hasAudio) || video.length == audio.length ||
                        PadShorter(clipMode, video, audio));
    const bool connected = built && (!hasVideo || ConnectOutput(session, OnVideoFrame, video)) &&
                           (!hasAudio || ConnectOutput(session, OnAudioBuffer, audio));
    if (!connected) {
        // Nothing ran, nothing is reported: the host sees only the return to Idle.
        ReleaseAll(video, audio);
        return;
    }

    session.durationMs.store(UnitsToMsTruncated(hasVideo ? video.length : audio.length), kRelaxed);
    StartEngine(session, video, audio);
    PollUntilDone(session, video, audio);

    StopEngine(video, audio);
    ReleaseSyncObject(session);
    session.fadeBuffer.Free();
    ReleaseAll(video, audio);
}

void SessionThreadProc(SessionContext* session) {
    try {
        const ComRuntime runtime;
        SessionWorker(*session);
    } catch (...) {
        // Nothing in a session throws by design; should the engine, the session still ends
        // and the feed goes back to Idle instead of the process ending.
    }
    session->state.Store(FEED_STATE_IDLE);
}

}  // namespace session
