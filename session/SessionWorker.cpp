#include "session/SessionWorker.h"

#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/EngineRef.h"
#include "engine/TimeUnits.h"
#include "session/ComRuntime.h"
#include "session/Delivery.h"
#include "session/SelectSource.h"
#include "session/SharedFeedState.h"

namespace session {

namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(100);
constexpr auto kRelaxed = std::memory_order_relaxed;

// The engine objects behind one kind's timeline: the composite that plays it, its editor and,
// once connected, the acceptor that hands its output to delivery. length is the end of the
// timeline so far, in 100-ns units.
struct TimelineObjects {
    StreamKind kind;
    EngineRef<IMediaSource> composite;
    EngineRef<ICompositeEdit> editor;
    EngineRef<IMediaAcceptor> acceptor;
    std::int64_t length = 0;

    explicit TimelineObjects(StreamKind streamKind) : kind(streamKind) {}
    bool exists() const { return static_cast<bool>(composite); }
};

std::string StatusText(HRESULT status) {
    char text[24];
    std::snprintf(text, sizeof text, "status 0x%08" PRIX32, static_cast<std::uint32_t>(status));
    return text;
}

// The output format asked of a timeline, as the host set it, for a message.
std::string FormatText(const OutputFormat& format, StreamKind kind) {
    char text[128];
    if (kind == kStreamVideo) {
        std::snprintf(text, sizeof text, "%" PRId32 "x%" PRId32 " pixels at %g fps",
                      format.videoWidth, format.videoHeight, format.frameRate);
    } else {
        std::snprintf(text, sizeof text, "%" PRId32 " Hz, %" PRId32 " channel%s", format.sampleRate,
                      format.channels, format.channels == 1 ? "" : "s");
    }
    return text;
}

// The engine objects are released in this order however the session ends; the acceptors go
// first so that nothing is left pointing into a released composite.
void ReleaseAll(TimelineObjects& video, TimelineObjects& audio) {
    audio.acceptor.reset();
    video.acceptor.reset();
    audio.composite.reset();
    audio.editor.reset();
    video.composite.reset();
    video.editor.reset();
}

// The bytes of one output frame of the size the host set. A frame reaches the host with an
// int32 byte length, so a size whose frames would not fit in it (30000 x 30000 pixels take
// 3.6 GB) cannot be delivered. Worked out in 64 bits: in a 32-bit size it would wrap.
std::int64_t FrameBytes(const OutputFormat& format) {
    return std::int64_t{format.videoWidth} * format.videoHeight * 4;
}

// Creates the composite of one kind and puts every source entry of that kind on it, in id
// order, end to end, recording what the engine found of each source. False when the engine
// hands out an object the session cannot do without, or when the video frames could not be
// delivered (refused before the engine sees the size); *failure then says which.
bool BuildTimeline(SharedFeedState& feed, std::int32_t clipMode, TimelineObjects& timeline,
                   std::string* failure) {
    const std::string kind = KindName(timeline.kind);
    if (timeline.kind == kStreamVideo && FrameBytes(feed.format) > INT32_MAX) {
        *failure = "a video frame of " + std::to_string(feed.format.videoWidth) + "x" +
                   std::to_string(feed.format.videoHeight) + " pixels takes " +
                   std::to_string(FrameBytes(feed.format)) +
                   " bytes, more than a frame's int32 length can carry";
        return false;
    }
    const HRESULT created = CreateSimpleCompositeSource(nullptr, timeline.composite.put());
    if (created < 0 || !timeline.exists()) {
        *failure =
            "the engine could not create the " + kind + " timeline (" + StatusText(created) + ")";
        return false;
    }
    timeline.editor =
        QueryEngineInterface<ICompositeEdit>(timeline.composite.get(), IID_ICompositeEdit);
    if (!timeline.editor) {
        *failure = "the engine's " + kind + " timeline cannot be edited";
        return false;
    }
    const OutputFormat& format = feed.format;
    if (timeline.kind == kStreamVideo) {
        timeline.editor->SetVideoFormat(format.videoWidth, format.videoHeight, format.frameRate);
    } else {
        timeline.editor->SetAudioFormat(format.sampleRate, format.channels);
    }

    for (auto& [id, entry] : feed.sources) {
        if (entry.kind != SourceKindOf(timeline.kind)) {
            continue;
        }
        bool usedEmpty = false;
        SourceFinding finding;
        EngineRef<IMediaSource> clip =
            SelectSource(entry.name.c_str(), timeline.kind, &usedEmpty, &finding);
        if (!clip) {
            *failure = "the engine could not make an empty " + kind + " source to stand in for " +
                       "source " + std::to_string(id) + " ('" + entry.name + "')";
            return false;
        }
        feed.outcome.RecordSource(id, JudgeSource(id, entry, finding));
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
bool PadShorter(std::int32_t clipMode, TimelineObjects& video, TimelineObjects& audio,
                std::string* failure) {
    TimelineObjects& shorter = video.length < audio.length ? video : audio;
    const std::int64_t longerLength = video.length < audio.length ? audio.length : video.length;
    const std::int64_t gap = longerLength - shorter.length;

    bool usedEmpty = false;
    EngineRef<IMediaSource> empty = SelectSource(nullptr, shorter.kind, &usedEmpty);
    if (!empty) {
        *failure = std::string("the engine could not make an empty ") + KindName(shorter.kind) +
                   " source to pad its timeline";
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
// it. False when an object is missing or Prepare fails (*failure says which); the connection
// is released either way.
bool ConnectOutput(SharedFeedState& feed, AcceptorCallback deliver, TimelineObjects& timeline,
                   std::string* failure) {
    const std::string kind = KindName(timeline.kind);
    CreateCallBackMediaAcceptor(nullptr, deliver, &feed, timeline.acceptor.put());
    if (!timeline.acceptor) {
        *failure = "the engine could not make the " + kind + " timeline's acceptor";
        return false;
    }
    EngineRef<IAcceptorConnection> connection =
        QueryEngineInterface<IAcceptorConnection>(timeline.editor.get(), IID_IAcceptorConnection);
    if (!connection) {
        *failure = "the engine's " + kind + " timeline takes no acceptor";
        return false;
    }
    connection->ConnectAcceptor(timeline.acceptor.get());
    const HRESULT prepared = timeline.composite->Prepare(nullptr, timeline.kind);
    if (prepared < 0) {
        *failure = "the engine refused the " + kind + " output format (" +
                   FormatText(feed.format, timeline.kind) + "; " + StatusText(prepared) + ")";
        return false;
    }
    return true;
}

// The session's audio/video sync object, the one place that creates and releases it. The
// worker owns it; delivery borrows it through feed.syncObject while the engine runs. Declared
// before the timelines, so that on any way out it goes after them, once nothing delivers.
class SessionSync {
  public:
    explicit SessionSync(std::atomic<IAudioVideoSync*>& lentTo) : lentTo_(lentTo) {}
    ~SessionSync() { Release(); }
    SessionSync(const SessionSync&) = delete;
    SessionSync& operator=(const SessionSync&) = delete;

    // Creates the object, attaches both timelines' acceptors and lends it to delivery. Without
    // an object from the engine the session runs unsynchronised.
    void Create(IMediaAcceptor* video, IMediaAcceptor* audio) {
        CreateAudioVideoSync(nullptr, owned_.put());
        if (owned_) {
            owned_->AttachAcceptors(nullptr, nullptr, video, nullptr, nullptr, audio);
            lentTo_.store(owned_.get(), kRelaxed);
        }
    }

    // Takes the object back from delivery, then releases it: only once the engine has stopped.
    void Release() {
        lentTo_.store(nullptr, kRelaxed);
        owned_.reset();
    }

  private:
    std::atomic<IAudioVideoSync*>& lentTo_;
    EngineRef<IAudioVideoSync> owned_;
};

// Creates the sync object when both kinds are present and wanted, then runs video before
// audio, so that the sync object is in place before anything is delivered.
void StartEngine(const SharedFeedState& feed, SessionSync& sync, TimelineObjects& video,
                 TimelineObjects& audio) {
    if (video.exists()) {
        if (audio.exists() && feed.syncEnabled.load(kRelaxed) != 0) {
            sync.Create(video.acceptor.get(), audio.acceptor.get());
        }
        video.composite->Run();
    }
    if (audio.exists()) {
        audio.composite->Run();
    }
}

// How a session's run ended.
struct RunEnd {
    FeedEndReason reason = FEED_END_STOPPED;
    std::string message;  // what failed, for an engine failure
};

// True once the timeline has ended; an engine that says it ended by failing sets *end.
bool HasEnded(const TimelineObjects& timeline, RunEnd* end) {
    std::int32_t ended = 1;  // a timeline that does not exist counts as ended
    if (timeline.exists()) {
        const HRESULT status = timeline.composite->IsEnded(&ended);
        if (status < 0 && ended != 0 && end->reason != FEED_END_ENGINE_FAILED) {
            end->reason = FEED_END_ENGINE_FAILED;
            end->message = std::string("the engine failed while playing the ") +
                           KindName(timeline.kind) + " timeline (" + StatusText(status) +
                           (status == kEndedByFailure ? ": out of memory or threads)" : ")");
        }
    }
    return ended != 0;
}

void PauseEngine(TimelineObjects& video, TimelineObjects& audio) {
    if (video.exists()) {
        video.composite->Pause();
    }
    if (audio.exists()) {
        audio.composite->Pause();
    }
}

void RunEngine(TimelineObjects& video, TimelineObjects& audio) {
    if (video.exists()) {
        video.composite->Run();
    }
    if (audio.exists()) {
        audio.composite->Run();
    }
}

// Acts on the host's pause, resume and stop as soon as the state changes, and looks for the
// end of both timelines at least every 100 ms while running; the end is not looked for while
// paused. Returns when the feed is Idle or both timelines have ended, saying which.
RunEnd PollUntilDone(SharedFeedState& feed, TimelineObjects& video, TimelineObjects& audio) {
    RunEnd end;
    FeedState actedOn = FEED_STATE_RUNNING;  // the engine has just been started
    FeedState state = feed.state.Load();
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
            const bool videoEnded = HasEnded(video, &end);
            const bool audioEnded = HasEnded(audio, &end);
            if (videoEnded && audioEnded) {
                if (end.reason != FEED_END_ENGINE_FAILED) {
                    end.reason = FEED_END_FINISHED;
                }
                return end;
            }
        }
        state = feed.state.WaitForChange(state, kPollInterval);
    }
    end.reason = end.reason == FEED_END_ENGINE_FAILED ? end.reason : FEED_END_STOPPED;
    return end;
}

void StopEngine(TimelineObjects& video, TimelineObjects& audio) {
    if (video.exists()) {
        video.composite->Stop();
    }
    if (audio.exists()) {
        audio.composite->Stop();
    }
}

}  // namespace

void SessionWorker(SharedFeedState& feed) {
    // The result code is not touched here: FeedStart has reported success already, and a
    // refusal the host got since then must keep its code next to its message.
    feed.videoPositionMs.store(0, kRelaxed);
    feed.audioPositionMs.store(0, kRelaxed);
    feed.durationMs.store(-1, kRelaxed);
    feed.fadeBuffer.Free();

    bool hasVideo = false;
    bool hasAudio = false;
    for (const auto& [id, entry] : feed.sources) {
        (entry.kind == SourceKind::Video ? hasVideo : hasAudio) = true;
    }
    const std::int32_t clipMode = feed.clipMode.load(kRelaxed);

    // Every way out below releases through ReleaseAll, in the order the objects must go.
    SessionSync sync(feed.syncObject);
    TimelineObjects video(kStreamVideo);
    TimelineObjects audio(kStreamAudio);
    std::string failure;
    const bool built = (!hasVideo || BuildTimeline(feed, clipMode, video, &failure)) &&
                       (!hasAudio || BuildTimeline(feed, clipMode, audio, &failure)) &&
                       (!(hasVideo && hasAudio) || video.length == audio.length ||
                        PadShorter(clipMode, video, audio, &failure));
    const bool connected = built &&
                           (!hasVideo || ConnectOutput(feed, OnVideoFrame, video, &failure)) &&
                           (!hasAudio || ConnectOutput(feed, OnAudioBuffer, audio, &failure));
    if (!connected) {
        // Nothing ran. The contract's report stays as FeedStart left it; only the session's
        // outcome says why.
        ReleaseAll(video, audio);
        feed.outcome.End(FEED_END_NOT_BUILT, std::move(failure));
        return;
    }

    feed.durationMs.store(UnitsToMsTruncated(hasVideo ? video.length : audio.length), kRelaxed);
    StartEngine(feed, sync, video, audio);
    RunEnd end = PollUntilDone(feed, video, audio);

    StopEngine(video, audio);
    sync.Release();
    feed.fadeBuffer.Free();
    ReleaseAll(video, audio);
    feed.outcome.End(end.reason, std::move(end.message));
}

void SessionThreadProc(SharedFeedState* feed) {
    try {
        const ComRuntime runtime;
        SessionWorker(*feed);
    } catch (...) {
        // Nothing in a session throws by design; should the engine, the session still ends
        // and the feed goes back to Idle instead of the process ending.
        feed->outcome.End(FEED_END_ENGINE_FAILED, "the session's worker ran out of memory");
    }
    feed->state.Store(FEED_STATE_IDLE);
}

}  // namespace session
