// feedcat --play, with SDL2. Four threads meet here:
// - the main thread runs the window: SDL's events, the keys, and each frame shown when the
//   playback clock reaches it (or dropped for a newer one when more than an interval late);
// - the library's video thread copies each frame into the frame queue, waiting while it is full;
// - the library's audio thread copies each buffer into the audio ring, waiting while it is full;
// - SDL's audio thread takes sound from the ring and moves the clock.
// The waits in the library's callbacks are what pace the session to real time; the library's
// sync window keeps its two sides together meanwhile. Pause and stop act on the main thread at
// once: the clock stands, the device holds, the library holds its deliveries.
#include <SDL.h>
#include <feed/feed.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>

#include "cli/ExitCodes.h"
#include "console/Console.h"
#include "console/Log.h"
#include "console/ReportOnce.h"
#include "console/SignalWatcher.h"
#include "media/MediaInput.h"
#include "pipeline/FeedSetup.h"
#include "pipeline/SourceCheck.h"
#include "play/AudioOutput.h"
#include "play/FrameQueue.h"
#include "play/Play.h"
#include "play/PlayKeys.h"
#include "play/PlayReport.h"
#include "play/PlayStats.h"
#include "play/PlaybackClock.h"
#include "play/PlayerWindow.h"

namespace feedcat {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Frames copied ahead of the one on screen: they absorb the library's delivery jitter, and
// stay well inside its 200 ms sync window at usual rates.
constexpr std::size_t kQueuedFrames = 3;
// The longest the main thread sleeps while playing (a frame due sooner wakes it sooner), and
// while paused.
constexpr int kPlayingWaitMs = 10;
constexpr int kPausedWaitMs = 100;
constexpr double kStatusEverySeconds = 0.2;
constexpr std::int32_t kSampleRateWithoutSource = 44100;
// With no audio device, the feed's sound is let through this far ahead of the clock.
constexpr double kSoundLeadWithoutDeviceMs = 100.0;
constexpr auto kIdleWait = std::chrono::milliseconds(5);

// SDL's whole lifetime in this process: its own SIGINT and SIGTERM handlers stay out (feedcat's
// SignalWatcher answers them), and SDL_Quit comes last.
class SdlScope {
  public:
    SdlScope() { SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1"); }
    ~SdlScope() { SDL_Quit(); }
    SdlScope(const SdlScope&) = delete;
    SdlScope& operator=(const SdlScope&) = delete;
};

struct FeedDestroyer {
    void operator()(FeedHandle feed) const { FeedDestroy(feed); }
};

// What the checked sources hold and what the window and the device are to be set to.
struct PlayPlan {
    bool video = false;
    bool audio = false;
    FrameRate frameRate;
    double intervalMs = 40.0;
    std::int32_t sampleRate = 0;
    std::int32_t channels = 2;
    std::vector<std::int32_t> videoJoinsMs;
};

// The rate the library delivers when none is asked for (the first audio clip's own), read the
// same way, so that the device can be opened before the first buffer comes.
std::int32_t FirstAudioRate(const std::vector<SourceArg>& sources) {
    for (const SourceArg& source : sources) {
        media::MediaInfo info;
        if (source.kind != SourceKind::kVideo && media::ProbeMedia(source.file, &info) &&
            info.hasAudio && info.sampleRate > 0) {
            return info.sampleRate;
        }
    }
    return kSampleRateWithoutSource;
}

PlayPlan MakePlan(const Options& options, const CheckedSources& checked) {
    PlayPlan plan;
    std::int32_t videoEnd = 0;
    for (const SourceArg& source : checked.sources) {
        if (source.kind != SourceKind::kAudio) {
            if (plan.video) {
                plan.videoJoinsMs.push_back(videoEnd);
            }
            plan.video = true;
            videoEnd += source.stopMs - source.startMs;
        }
        plan.audio = plan.audio || source.kind != SourceKind::kVideo;
    }
    plan.frameRate = OutputFrameRate(options, checked.firstVideoRate);
    plan.intervalMs = 1000.0 / plan.frameRate.value();
    plan.sampleRate = options.sampleRate > 0 ? options.sampleRate : FirstAudioRate(checked.sources);
    plan.channels = options.channels > 0 ? options.channels : 2;
    return plan;
}

class Player {
  public:
    Player(const Options& options, CheckedSources checked)
        : options_(options),
          checked_(std::move(checked)),
          plan_(MakePlan(options, checked_)),
          stats_(plan_.videoJoinsMs) {}
    ~Player() { TearDown(); }
    Player(const Player&) = delete;
    Player& operator=(const Player&) = delete;

    int Run(SignalWatcher* signals);

  private:
    // False with the failure, or with none when a signal came while the sources were added.
    bool Start(SignalWatcher* signals, RunError* failure);
    void Loop(SignalWatcher* signals);
    void Handle(const SDL_Event& event);
    void Act(PlayAction action);
    void TogglePause();
    void Stop();
    int ShowDueFrames();
    bool Finished() const;
    void Report(bool force);
    void TearDown();
    int Conclude();

    static intptr_t FEED_CALL OnFrame(void* user, const uint8_t* frame, int32_t length,
                                      int32_t positionMs, int32_t width, int32_t height);
    static int32_t FEED_CALL OnBuffer(void* user, const uint8_t* buffer, int32_t length,
                                      int32_t positionMs, int32_t bitsPerSample, int32_t sampleRate,
                                      int32_t channels);
    void Wake();
    void WaitForClock(double positionMs);

    const Options& options_;
    CheckedSources checked_;
    std::vector<AddedSource> added_;  // as the library numbered the sources
    SessionFindings findings_;        // the library's account, once the feed played to its end
    const PlayPlan plan_;
    SdlScope sdl_;
    PlaybackClock clock_;
    FrameQueue frames_{kQueuedFrames};
    AudioOutput audio_{&clock_};
    PlayerWindow window_;
    PlayStats stats_;
    // SDL's event type that wakes the main thread for a frame; set before the session starts.
    Uint32 wakeEvent_ = static_cast<Uint32>(-1);

    // Main thread only.
    bool paused_ = false;
    bool muted_ = false;
    bool stop_ = false;
    bool toTheEnd_ = false;
    bool started_ = false;  // the first frame is on screen, and the clock runs
    int signal_ = 0;
    std::int32_t durationMs_ = -1;
    double lastStatus_ = -1.0;
    bool statusLine_ = false;
    const SteadyClock::time_point begun_ = SteadyClock::now();

    // Set by the main thread, read by the library's threads: no frame or buffer is taken any
    // more, and no callback waits.
    std::atomic<bool> closing_{false};
    // Written by the library's audio thread.
    std::atomic<bool> formatWarned_{false};
    std::atomic<std::int64_t> soundDelivered_{0};  // buffers of the feed's sound

    // Last, so that it goes first: once the feed is destroyed no callback runs.
    std::unique_ptr<FeedObject, FeedDestroyer> feed_;
};

bool Player::Start(SignalWatcher* signals, RunError* failure) {
    std::string error;
    if (!window_.Open(options_.width, options_.height, &error)) {
        *failure = RunError{"playback", "cannot open a window: " + error, ""};
        return false;
    }
    wakeEvent_ = SDL_RegisterEvents(1);
    if (plan_.audio && !audio_.Open(plan_.sampleRate, plan_.channels, &error)) {
        LogWarning("cannot open the audio device (" + error + "): playing without sound" +
                   (plan_.video ? ", the picture at its own rate" : ""));
        audio_.Close();
    }
    feed_.reset(FeedCreate());
    if (!feed_) {
        *failure = RunError{"library", "out of memory", ""};
        return false;
    }
    Options asked = options_;
    asked.sampleRate = plan_.sampleRate;
    asked.channels = plan_.channels;
    std::string errorSource;
    if (!ConfigureFeed(
            feed_.get(), asked, checked_.sources, plan_.frameRate,
            [signals] { return signals->Caught() != 0; }, &added_, &error, &errorSource)) {
        if (!error.empty()) {
            *failure = RunError{"library", error, errorSource};
        }
        return false;
    }
    FeedSetVideoCallback(feed_.get(), OnFrame, this);
    FeedSetAudioCallback(feed_.get(), OnBuffer, this);
    if (!plan_.video) {
        // The device plays silence, and the clock stands before 0, until the feed's sound
        // comes. With video it waits for the first frame (see ShowDueFrames).
        audio_.Hold(false);
    }
    if (!FeedStart(feed_.get())) {
        *failure = RunError{
            "library", std::string("the session did not start: ") + FeedGetErrorText(feed_.get()),
            ""};
        return false;
    }
    return true;
}

void Player::Loop(SignalWatcher* signals) {
    statusLine_ = !options_.quiet && LogShows(LogLevel::kInfo) && isatty(STDERR_FILENO) == 1;
    while (!stop_) {
        signal_ = signals->Wait(0);
        if (signal_ != 0) {
            Stop();
            break;
        }
        SDL_Event event;
        while (SDL_PollEvent(&event) != 0) {
            Handle(event);
        }
        if (stop_) {
            break;
        }
        if (audio_.opened() && FeedGetState(feed_.get()) == FEED_STATE_IDLE &&
            audio_.QueuedFrames() == 0) {
            clock_.RunFreely(SteadyClock::now());
        }
        const int waitMs = paused_ ? kPausedWaitMs : ShowDueFrames();
        Report(false);
        if (!paused_ && Finished()) {
            toTheEnd_ = true;
            break;
        }
        if (SDL_WaitEventTimeout(&event, waitMs) != 0) {
            Handle(event);
        }
    }
}

void Player::Handle(const SDL_Event& event) {
    if (event.type == SDL_QUIT) {
        Stop();
    } else if (event.type == SDL_WINDOWEVENT && event.window.windowID == window_.id()) {
        if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
            Stop();
        } else if (event.window.event == SDL_WINDOWEVENT_EXPOSED ||
                   event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
            window_.Redraw();
        }
    } else if (event.type == SDL_KEYDOWN && event.key.repeat == 0) {
        for (const PlayKey& key : PlayKeys()) {
            if (event.key.keysym.sym == SDL_GetKeyFromName(key.sdlName)) {
                Act(key.action);
                return;
            }
        }
    }
}

void Player::Act(PlayAction action) {
    switch (action) {
        case PlayAction::kPauseResume:
            TogglePause();
            break;
        case PlayAction::kStop:
            Stop();
            break;
        case PlayAction::kFullscreen:
            window_.ToggleFullscreen();
            break;
        case PlayAction::kMute:
            muted_ = !muted_;
            audio_.SetMuted(muted_);
            break;
    }
    Report(true);
}

void Player::TogglePause() {
    const auto now = SteadyClock::now();
    if (!paused_) {
        // Refused once the library has delivered everything: what is queued still pauses.
        FeedPause(feed_.get());
        clock_.Pause(now);
        audio_.Hold(true);
        paused_ = true;
        return;
    }
    // The clock first: a chunk the device takes at once moves it on from where it stood.
    clock_.Resume(now);
    audio_.Hold(plan_.video && !started_);
    // Only a paused session is resumed: FeedStart on a feed whose session has ended would
    // start the whole feed again.
    if (FeedGetState(feed_.get()) == FEED_STATE_PAUSED) {
        FeedStart(feed_.get());
    }
    paused_ = false;
}

// The clock stands where the stop was asked for, which is where the run ended, and the sound
// stops there.
void Player::Stop() {
    clock_.Pause(SteadyClock::now());
    audio_.Hold(true);
    stop_ = true;
}

// Shows the frames that are due, drops those more than one interval late that a newer one
// replaces; returns how long to wait for the next.
int Player::ShowDueFrames() {
    std::int32_t positionMs = 0;
    if (!started_ && frames_.PositionAt(0, &positionMs)) {
        // The first frame goes on screen before the clock starts: the window's first picture
        // costs far more than the others (the renderer sets itself up), and the frames after
        // it are not to pay for that by coming late.
        std::unique_ptr<QueuedFrame> frame = frames_.Pop();
        window_.Show(*frame);
        const auto now = SteadyClock::now();
        clock_.StartAt(positionMs, now);
        stats_.Shown(*frame, positionMs);
        frames_.GiveBack(std::move(frame));
        audio_.Hold(false);
        started_ = true;
    }
    while (frames_.PositionAt(0, &positionMs)) {
        const double clockMs = clock_.NowMs(SteadyClock::now());
        // A frame more than one interval late is dropped for the one after it, when that one
        // is due too; with nothing newer to show it still goes on screen, since dropping it
        // would leave an even older picture there.
        std::int32_t nextMs = 0;
        if (clockMs - positionMs > plan_.intervalMs && frames_.PositionAt(1, &nextMs) &&
            nextMs <= clockMs) {
            std::unique_ptr<QueuedFrame> frame = frames_.Pop();
            stats_.Dropped(*frame);
            frames_.GiveBack(std::move(frame));
        } else if (positionMs <= clockMs) {
            std::unique_ptr<QueuedFrame> frame = frames_.Pop();
            window_.Show(*frame);
            // The offset is taken once the frame is on screen.
            stats_.Shown(*frame, clock_.NowMs(SteadyClock::now()));
            frames_.GiveBack(std::move(frame));
        } else {
            return std::clamp(static_cast<int>(positionMs - clockMs) + 1, 1, kPlayingWaitMs);
        }
    }
    return kPlayingWaitMs;
}

// The session has ended and everything it delivered has been shown and handed to the device.
bool Player::Finished() const {
    return FeedGetState(feed_.get()) == FEED_STATE_IDLE && frames_.Empty() &&
           audio_.QueuedFrames() == 0;
}

void Player::Report(bool force) {
    const std::int32_t duration = FeedGetDuration(feed_.get());
    durationMs_ = duration >= 0 ? duration : durationMs_;
    PlayMoment moment;
    moment.positionMs =
        std::min<double>(clock_.NowMs(SteadyClock::now()), durationMs_ >= 0 ? durationMs_ : 1e12);
    moment.durationMs = durationMs_;
    moment.paused = paused_;
    moment.muted = muted_;
    window_.SetTitle(PlayTitle(moment));
    const double seconds = std::chrono::duration<double>(SteadyClock::now() - begun_).count();
    if (statusLine_ && (force || seconds - lastStatus_ >= kStatusEverySeconds)) {
        lastStatus_ = seconds;
        ConsoleStatus(PlayStatusLine(moment, stats_));
    }
}

void Player::TearDown() {
    if (toTheEnd_ && feed_) {
        findings_ = FindSessionOutcome(feed_.get(), added_, checked_.warnings);
    }
    closing_.store(true, std::memory_order_relaxed);
    // Wakes the callbacks that wait for room; the device stops taking sound at once.
    frames_.Close();
    audio_.Close();
    feed_.reset();
}

int Player::Conclude() {
    PlaySummary summary;
    summary.durationMs = durationMs_;
    summary.toTheEnd = toTheEnd_;
    const double clockMs = clock_.NowMs(SteadyClock::now());
    summary.positionMs =
        toTheEnd_ && durationMs_ >= 0
            ? durationMs_
            : static_cast<std::int32_t>(std::clamp<double>(clockMs, 0.0,
                                                           durationMs_ >= 0 ? durationMs_
                                                           : clockMs > 0.0  ? clockMs
                                                                            : 0.0));
    summary.shown = stats_.shown();
    summary.dropped = stats_.dropped();
    summary.largestOffsetMs = stats_.largestOffsetMs();
    summary.sawJoin = stats_.sawJoin();
    summary.worstJoinLatenessMs = stats_.worstJoinLatenessMs();
    summary.sampleFrames = audio_.playedFrames();
    summary.warnings = std::move(checked_.warnings);
    for (const SourceWarning& warning : findings_.warnings) {
        LogWarning(warning.message);
        summary.warnings.push_back(warning);
    }
    summary.exitStatus = signal_ != 0 ? SignalStatus(signal_) : kExitSuccess;
    if (toTheEnd_ && summary.shown + summary.dropped == 0 &&
        soundDelivered_.load(std::memory_order_relaxed) == 0) {
        const std::string& why = findings_.reasonText;
        summary.error = RunError{
            "nothing-delivered",
            "the library delivered nothing" + (why.empty() ? std::string() : " (" + why + ")"), ""};
        LogError(summary.error.message);
        summary.exitStatus = kExitFailure;
    }
    if (statusLine_) {
        ConsoleEraseStatus();
    }
    if (!options_.quiet && LogShows(LogLevel::kInfo)) {
        ConsoleLine(PlaySummaryLine(summary));
    }
    if (options_.json) {
        WriteReportOnce(PlaySummaryJson(summary));
    }
    return summary.exitStatus;
}

int Player::Run(SignalWatcher* signals) {
    RunError failure;
    if (!Start(signals, &failure)) {
        const int status = failure.code.empty() ? SignalStatus(signals->Caught()) : kExitFailure;
        return EndPlayEarly(status, failure, options_.json);
    }
    Loop(signals);
    if (toTheEnd_ && audio_.opened()) {
        // What the device holds is still to be heard.
        SDL_Delay(static_cast<Uint32>(2 * audio_.latencyMs()) + 1);
    }
    TearDown();
    return Conclude();
}

void Player::Wake() {
    if (wakeEvent_ == static_cast<Uint32>(-1)) {
        return;  // SDL has no event type left: the main thread looks often enough anyway
    }
    SDL_Event event{};
    event.type = wakeEvent_;
    SDL_PushEvent(&event);
}

void Player::WaitForClock(double positionMs) {
    while (!closing_.load(std::memory_order_relaxed) &&
           clock_.NowMs(SteadyClock::now()) < positionMs) {
        std::this_thread::sleep_for(kIdleWait);
    }
}

intptr_t FEED_CALL Player::OnFrame(void* user, const uint8_t* frame, int32_t length,
                                   int32_t positionMs, int32_t width, int32_t height) {
    auto* player = static_cast<Player*>(user);
    const bool whole = frame != nullptr && width > 0 && height > 0 &&
                       static_cast<std::int64_t>(width) * height * 4 <= length;
    if (!whole || player->closing_.load(std::memory_order_relaxed)) {
        return reinterpret_cast<intptr_t>(frame);
    }
    const auto now = SteadyClock::now();
    bool wasEmpty = false;
    if (player->frames_.Push(frame, width, height, positionMs, player->clock_.NowMs(now),
                             &wasEmpty) &&
        wasEmpty) {
        player->Wake();
    }
    return reinterpret_cast<intptr_t>(frame);
}

int32_t FEED_CALL Player::OnBuffer(void* user, const uint8_t* buffer, int32_t length,
                                   int32_t positionMs, int32_t bitsPerSample, int32_t sampleRate,
                                   int32_t channels) {
    auto* player = static_cast<Player*>(user);
    if (buffer == nullptr || length <= 0 || bitsPerSample != 16 ||
        player->closing_.load(std::memory_order_relaxed)) {
        return length;
    }
    player->soundDelivered_.fetch_add(1, std::memory_order_relaxed);
    AudioOutput& audio = player->audio_;
    if (!audio.opened()) {
        // Nothing to hear it on: the sound goes by at the clock's pace, so the session keeps
        // real time. With video, the first frame starts the clock.
        if (!player->plan_.video) {
            player->clock_.StartAt(positionMs, SteadyClock::now());
        }
        player->WaitForClock(positionMs - kSoundLeadWithoutDeviceMs);
        return length;
    }
    if ((sampleRate != audio.rate() || channels != audio.channels()) &&
        !player->formatWarned_.exchange(true)) {
        LogWarning("the library delivered sound at " + std::to_string(sampleRate) + " Hz, " +
                   std::to_string(channels) + " channels; the device was opened for " +
                   std::to_string(audio.rate()) + " Hz, " + std::to_string(audio.channels()));
    }
    audio.Write(buffer, static_cast<std::size_t>(length));
    return length;
}

}  // namespace

int Play(const Options& options, std::vector<SourceWarning> warnings, SignalWatcher* signals) {
    CheckedSources checked = CheckSources(options, [signals] { return signals->Caught() != 0; });
    checked.warnings.insert(checked.warnings.begin(), warnings.begin(), warnings.end());
    if (checked.stopped) {
        return EndPlayEarly(SignalStatus(signals->Caught()), RunError{}, options.json);
    }
    if (!checked.error.empty()) {
        return EndPlayEarly(checked.status, RunError{"source", checked.error, checked.errorSource},
                            options.json);
    }
    Player player(options, std::move(checked));
    return player.Run(signals);
}

}  // namespace feedcat
