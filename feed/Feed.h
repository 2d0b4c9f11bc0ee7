// Feed: the object behind a FeedHandle. Every export forwards to the method of the same name.
// Methods run on the host's thread; the configuration methods one call at a time per feed.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include <feed/feed.h>

#include "feed/FeedError.h"
#include "feed/ResultReport.h"
#include "session/SharedFeedState.h"

namespace feed {

class Feed {
  public:
    Feed() = default;
    // Stops a running session (joining its worker) before anything is freed.
    ~Feed();
    // What FeedDestroy does: deletes the feed, or, called from inside one of the feed's own
    // callbacks (where the session cannot be waited for), stops the session and leaves the
    // deletion to its worker, which does it as its last act. Null is ignored.
    static void Destroy(Feed* feed);
    Feed(const Feed&) = delete;
    Feed& operator=(const Feed&) = delete;

    // Sessions and queries.
    std::int32_t Start();
    std::int32_t Pause();
    std::int32_t Stop();
    FeedState GetState() const;
    std::int32_t GetDuration();
    void GetPosition(std::int32_t* videoMs, std::int32_t* audioMs);
    std::int32_t GetErrorCode() const;
    const char* GetErrorText() const;

    // What the last session came to; these never report.
    FeedEndReason GetEndReason(char* message, std::int32_t messageSize) const;
    std::int32_t GetSourceOutcome(std::int32_t id, FeedSourceOutcome* outcome) const;

    // The source list.
    std::int32_t AddVideoSource(const char* fileName, std::int32_t startMs, std::int32_t stopMs);
    std::int32_t AddVideoSourceEx(const char* fileName, const std::int32_t* cropRect,
                                  std::int32_t clipParam, std::int32_t startMs,
                                  std::int32_t stopMs);
    std::int32_t AddAudioSource(const char* fileName, std::int32_t startMs, std::int32_t stopMs);
    std::int32_t RemoveSource(std::int32_t id);
    std::int32_t ClearSources();
    std::int32_t SetSourceTimes(std::int32_t id, std::int32_t startMs, std::int32_t stopMs);
    std::int32_t GetSourceTimes(std::int32_t id, std::int32_t* startMs, std::int32_t* stopMs);

    // Output format: refused while a session is Running or Paused.
    std::int32_t SetAudioSampleRate(std::int32_t rate);
    std::int32_t SetVideoSize(std::int32_t width, std::int32_t height);
    std::int32_t SetFrameRate(double framesPerSecond);
    std::int32_t SetAudioChannels(std::int32_t channels);

    // Fades, callbacks and engine settings: taken at any time, never reported.
    std::int32_t SetAudioFade(std::int32_t fadeIn, std::int32_t fadeInMs, std::int32_t fadeOut,
                              std::int32_t fadeOutMs);
    std::int32_t SetVideoFade(std::int32_t fadeIn, std::int32_t fadeInMs,
                              std::uint32_t fadeInColour, std::int32_t fadeOut,
                              std::int32_t fadeOutMs, std::uint32_t fadeOutColour);
    FeedVideoFrameCallback SetVideoCallback(FeedVideoFrameCallback callback, void* user);
    FeedAudioBufferCallback SetAudioCallback(FeedAudioBufferCallback callback, void* user);
    std::int32_t SetClipMode(std::int32_t mode);
    std::int32_t SetSyncEnabled(std::int32_t enabled);

    // Reports that a call could not get the memory or thread it needed (the export's guard
    // calls it when something threw).
    void ReportOutOfResources();

  private:
    friend struct FeedTestAccess;  // tests reach states that take billions of calls to reach

    bool busy() const { return shared_.state.Load() != FEED_STATE_IDLE; }
    // The failure branch of reporting for a coded refusal; returns `result` for brevity.
    std::int32_t Refuse(FeedError code, std::int32_t result);
    std::int32_t Succeed(std::int32_t result);
    std::int32_t AddSource(const char* fileName, session::SourceKind kind,
                           const std::int32_t* cropRect, std::int32_t clipParam,
                           std::int32_t startMs, std::int32_t stopMs);
    // Joins a worker whose session has ended (or is ending); never called from inside a
    // delivery, which the worker's teardown waits for. Callers on two threads at once both
    // return once the worker has ended.
    void JoinWorker();
    // Stop's wait for the worker, on a host thread counted in waitingStops_. True when the
    // feed was destroyed from inside one of its callbacks meanwhile and this caller is the last
    // one still using it: the caller then deletes it.
    bool WaitForWorker();
    // The worker thread's routine: the session, then the feed's deletion if it was asked for
    // from inside a callback and no host thread is waiting in Stop.
    void RunWorker();

    // What the feed shares with its sessions: state, sources, settings, positions, outcome.
    session::SharedFeedState shared_;
    ResultReport report_;
    std::int32_t nextId_ = 0;  // the last source id handed out; 0 on a new or cleared list
    // The worker of the current or last session, until someone joins it: Stop, the next
    // Start, or the destructor. Guarded by workerMutex_, which is held while joining.
    std::thread workerThread_;
    std::mutex workerMutex_;
    // Who deletes a feed destroyed from inside one of its callbacks: the worker once its
    // session has ended, or, when host threads are waiting for that worker in Stop then, the
    // last of them to leave. Guarded by lifeMutex_, which is never held while joining.
    std::mutex lifeMutex_;
    int waitingStops_ = 0;           // host threads in Stop that wait for the worker
    bool destroyRequested_ = false;  // FeedDestroy came from inside a callback
    bool lastStopDeletes_ = false;   // the worker has ended and left the deletion to them
};

}  // namespace feed
