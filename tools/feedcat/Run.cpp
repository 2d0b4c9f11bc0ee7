#include "Run.h"

#include <feed/feed.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "ExitCodes.h"
#include "OutputFormat.h"
#include "Progress.h"
#include "Recorder.h"
#include "SignalWatcher.h"
#include "WorkQueue.h"
#include "media/MediaInput.h"

namespace feedcat {
namespace {

// Enough for a few seconds of media without holding more than this much memory.
constexpr std::size_t kQueueItems = 256;
constexpr std::size_t kQueueBytes = 64u << 20;
constexpr int kPollMs = 100;

struct FeedDestroyer {
    void operator()(FeedHandle feed) const { FeedDestroy(feed); }
};
using FeedPtr = std::unique_ptr<FeedObject, FeedDestroyer>;

intptr_t FEED_CALL OnFrame(void* user, const uint8_t* frame, int32_t length, int32_t positionMs,
                           int32_t width, int32_t height) {
    auto* queue = static_cast<WorkQueue*>(user);
    if (frame != nullptr && length > 0) {
        MediaItem item;
        item.kind = MediaItem::Kind::kVideo;
        item.positionMs = positionMs;
        item.width = width;
        item.height = height;
        // The encoder's scaler reads a little past the last pixel.
        item.data.resize(static_cast<std::size_t>(length) + VideoEncoder::kReadPadding);
        std::copy(frame, frame + length, item.data.begin());
        queue->Push(std::move(item));
    }
    return reinterpret_cast<intptr_t>(frame);
}

int32_t FEED_CALL OnBuffer(void* user, const uint8_t* buffer, int32_t length, int32_t positionMs,
                           int32_t bitsPerSample, int32_t sampleRate, int32_t channels) {
    auto* queue = static_cast<WorkQueue*>(user);
    if (buffer != nullptr && length > 0 && bitsPerSample == 16) {
        MediaItem item;
        item.kind = MediaItem::Kind::kAudio;
        item.positionMs = positionMs;
        item.sampleRate = sampleRate;
        item.channels = channels;
        item.data.assign(buffer, buffer + length);
        queue->Push(std::move(item));
    }
    return length;
}

void Warn(const Options& options, const std::string& message) {
    if (!options.quiet) {
        std::fprintf(stderr, "feedcat: warning: %s\n", message.c_str());
    }
}

int Fail(int status, const std::string& message) {
    std::fprintf(stderr, "feedcat: %s\n", message.c_str());
    return status;
}

struct SourcePlan {
    SourceArg source;
    bool opened = false;
    media::MediaInfo info;
};

// How long the streams a source asks for last, by the engine's own measure; -1 when unknown.
std::int32_t LengthMs(const SourcePlan& entry) {
    const std::int32_t video =
        entry.source.kind != SourceKind::kAudio ? entry.info.videoLengthMs : -1;
    const std::int32_t audio =
        entry.source.kind != SourceKind::kVideo ? entry.info.audioLengthMs : -1;
    return std::max(video, audio);
}

}  // namespace

int Run(const Options& options) {
    const auto started = std::chrono::steady_clock::now();
    OutputPlan plan;
    std::string error;
    if (!ChooseOutput(options, &plan, &error)) {
        return Fail(kExitUsage, error);
    }

    // Look into every source first: a missing one is a warning (the library plays black or
    // silence for it), or an error with --strict before anything starts.
    std::vector<SourcePlan> sources;
    int warnings = 0;
    for (const SourceArg& source : options.sources) {
        SourcePlan entry;
        entry.source = source;
        entry.opened = media::ProbeMedia(source.file, &entry.info);
        if (!entry.opened) {
            if (options.strict) {
                return Fail(kExitFailure, "cannot open source '" + source.file + "' (--strict)");
            }
            ++warnings;
            if (!source.hasTimes) {
                Warn(options, "cannot open source '" + source.file +
                                  "'; without times its length is unknown, so it is left out");
                continue;
            }
            Warn(options, "cannot open source '" + source.file + "'; it plays as " +
                              (source.kind == SourceKind::kAudio ? "silence" : "black"));
        } else if (!source.hasTimes) {
            if (LengthMs(entry) <= 0) {
                return Fail(kExitUsage, "the length of '" + source.file +
                                            "' is unknown: give times (@START-STOP)");
            }
            entry.source.hasTimes = true;
            entry.source.startMs = 0;
            entry.source.stopMs = LengthMs(entry);
        }
        sources.push_back(entry);
    }
    if (sources.empty()) {
        return Fail(kExitFailure, "no source can be played");
    }

    // The output format: what was asked for, else the first clip's own, else the library's
    // fallback. It is set on the feed explicitly, so frames and buffers arrive as encoded.
    RecorderSetup setup;
    setup.plan = plan;
    setup.path = options.output;
    double fps = options.fps;
    std::int32_t width = options.width;
    std::int32_t height = options.height;
    std::int32_t sampleRate = options.sampleRate;
    for (const SourcePlan& entry : sources) {
        if (entry.source.kind != SourceKind::kAudio && entry.info.hasVideo) {
            if (width == 0 && entry.info.displayWidth > 0 && entry.info.displayHeight > 0) {
                width = entry.info.displayWidth;
                height = entry.info.displayHeight;
            }
            if (fps == 0.0 && entry.info.frameRate >= 1.0 && entry.info.frameRate <= 1000.0) {
                fps = entry.info.frameRate;
            }
        }
        if (entry.source.kind != SourceKind::kVideo && entry.info.hasAudio && sampleRate == 0 &&
            entry.info.sampleRate > 0) {
            sampleRate = entry.info.sampleRate;
        }
    }
    setup.width = width > 0 ? (width + 1) & ~1 : 320;
    setup.height = height > 0 ? (height + 1) & ~1 : 240;
    setup.frameRate = av_d2q(fps > 0.0 ? fps : 25.0, 1001000);
    setup.sampleRate = sampleRate > 0 ? sampleRate : 44100;
    setup.channels = options.channels > 0 ? options.channels : 2;
    bool videoSources = false;
    bool audioSources = false;
    for (const SourcePlan& entry : sources) {
        videoSources = videoSources || entry.source.kind != SourceKind::kAudio;
        audioSources = audioSources || entry.source.kind != SourceKind::kVideo;
    }
    setup.bothStreams = plan.wantsVideo && plan.wantsAudio && videoSources && audioSources;

    SignalWatcher signals;
    Recorder recorder;
    if (!recorder.Open(setup, &error)) {
        return Fail(kExitUsage, error);
    }

    FeedPtr feed(FeedCreate());
    if (!feed) {
        return Fail(kExitFailure, "out of memory");
    }
    FeedHandle handle = feed.get();
    for (const SourcePlan& entry : sources) {
        const SourceArg& source = entry.source;
        bool added = true;
        if (source.kind != SourceKind::kAudio) {
            added =
                (options.hasBars ? FeedAddVideoSourceEx(handle, source.file.c_str(), nullptr,
                                                        static_cast<int32_t>(options.barsColour),
                                                        source.startMs, source.stopMs)
                                 : FeedAddVideoSource(handle, source.file.c_str(), source.startMs,
                                                      source.stopMs)) >= 0;
        }
        if (added && source.kind != SourceKind::kVideo) {
            added =
                FeedAddAudioSource(handle, source.file.c_str(), source.startMs, source.stopMs) >= 0;
        }
        if (!added) {
            return Fail(kExitFailure, "the library refused source '" + source.file +
                                          "': " + FeedGetErrorText(handle));
        }
    }
    if (!FeedSetVideoSize(handle, setup.width, setup.height) ||
        !FeedSetFrameRate(handle, av_q2d(setup.frameRate)) ||
        !FeedSetAudioSampleRate(handle, setup.sampleRate) ||
        !FeedSetAudioChannels(handle, setup.channels)) {
        return Fail(kExitFailure, std::string("the library refused the output format: ") +
                                      FeedGetErrorText(handle));
    }
    FeedSetVideoFade(handle, options.videoFadeIn.enabled ? 1 : 0, options.videoFadeIn.lengthMs,
                     options.videoFadeIn.colour, options.videoFadeOut.enabled ? 1 : 0,
                     options.videoFadeOut.lengthMs, options.videoFadeOut.colour);
    FeedSetAudioFade(handle, options.audioFadeIn.enabled ? 1 : 0, options.audioFadeIn.lengthMs,
                     options.audioFadeOut.enabled ? 1 : 0, options.audioFadeOut.lengthMs);
    FeedSetClipMode(handle, options.clipMode);
    FeedSetSyncEnabled(handle, options.sync ? 1 : 0);

    WorkQueue queue(kQueueItems, kQueueBytes);
    FeedSetVideoCallback(handle, OnFrame, &queue);
    FeedSetAudioCallback(handle, OnBuffer, &queue);
    recorder.Start(&queue);

    Progress progress(options.quiet, options.json);
    auto wallSeconds = [&started] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    };

    int signal = 0;
    std::int32_t durationMs = -1;
    if (!FeedStart(handle)) {
        queue.Close();
        recorder.Join();
        recorder.Finish(&error);
        return Fail(kExitFailure,
                    std::string("the session did not start: ") + FeedGetErrorText(handle));
    }
    while (FeedGetState(handle) != FEED_STATE_IDLE) {
        signal = signals.Wait(kPollMs);
        if (signal != 0 || recorder.failed()) {
            FeedStop(handle);
            break;
        }
        const std::int32_t duration = FeedGetDuration(handle);
        if (duration >= 0) {
            durationMs = duration;
        }
        // Progress is what has been encoded: the library runs ahead by what the queue holds.
        const double encodedVideoMs = recorder.videoFrames() * 1000.0 / av_q2d(setup.frameRate);
        const double encodedAudioMs = recorder.audioSamples() * 1000.0 / setup.sampleRate;
        double encodedMs = std::max(encodedVideoMs, encodedAudioMs);
        if (plan.wantsVideo && plan.wantsAudio) {
            encodedMs = std::min(encodedVideoMs, encodedAudioMs);
        }
        progress.Update(static_cast<std::int32_t>(encodedMs), durationMs, recorder.videoFrames(),
                        wallSeconds());
    }
    if (signal != 0) {
        recorder.MarkInterrupted();
    }
    // Destroying the feed joins the session: no callback runs after this.
    feed.reset();
    queue.Close();
    const bool written = recorder.Finish(&error);

    RunSummary summary;
    summary.output = options.output;
    summary.frames = recorder.videoFrames();
    summary.sampleFrames = recorder.audioSamples();
    const std::int64_t videoMs =
        static_cast<std::int64_t>(std::llround(summary.frames * 1000.0 / av_q2d(setup.frameRate)));
    const std::int64_t audioMs = summary.sampleFrames * 1000 / setup.sampleRate;
    summary.durationMs = static_cast<std::int32_t>(std::max(videoMs, audioMs));
    summary.wallSeconds = wallSeconds();
    summary.interrupted = signal != 0;
    summary.warnings = warnings;

    int status = kExitSuccess;
    if (signal == SIGINT) {
        status = kExitInterrupted;
    } else if (signal != 0) {
        status = kExitTerminated;
    }
    if (!written) {
        std::fprintf(stderr, "feedcat: %s\n", error.c_str());
        status = signal != 0 ? status : kExitFailure;
    } else if (summary.frames == 0 && summary.sampleFrames == 0 && signal == 0) {
        std::fprintf(stderr, "feedcat: the library delivered nothing; no file written\n");
        status = kExitFailure;
    }
    summary.exitStatus = status;
    progress.Finish(summary);
    return status;
}

}  // namespace feedcat
