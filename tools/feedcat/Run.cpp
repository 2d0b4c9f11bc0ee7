#include "Run.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <string>

#include "ExitCodes.h"
#include "FeedSetup.h"
#include "Log.h"
#include "OutputFormat.h"
#include "Pipeline.h"
#include "Progress.h"
#include "SignalWatcher.h"
#include "SourceCheck.h"

namespace feedcat {
namespace {

constexpr int kPollMs = 100;

class WallClock {
  public:
    double Seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    }

  private:
    const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

int Fail(int status, const std::string& message) {
    LogError(message);
    return status;
}

RecorderSetup MakeSetup(const Options& options, const OutputPlan& plan,
                        const CheckedSources& checked, FrameRate frameRate) {
    RecorderSetup setup;
    setup.plan = plan;
    setup.path = options.output;
    setup.replace = !options.noOverwrite;
    setup.frameRate = AVRational{frameRate.num, frameRate.den};
    setup.quality = QualityFrom(options);
    bool video = false;
    bool audio = false;
    for (const SourceArg& source : checked.sources) {
        video = video || source.kind != SourceKind::kAudio;
        audio = audio || source.kind != SourceKind::kVideo;
    }
    setup.bothStreams = plan.wantsVideo && plan.wantsAudio && video && audio;
    return setup;
}

// Polls the session until it ends, a signal comes or the encoder fails; returns the signal or 0.
int PlayToEnd(Pipeline* pipeline, SignalWatcher* signals, Progress* progress,
              const WallClock& clock) {
    std::int32_t durationMs = -1;
    while (pipeline->Running()) {
        const int signal = signals->Wait(kPollMs);
        if (signal != 0 || pipeline->recorder().failed()) {
            return signal;
        }
        const std::int32_t duration = FeedGetDuration(pipeline->feed());
        durationMs = duration >= 0 ? duration : durationMs;
        // Progress is what has been encoded: the library runs ahead by what the queue holds.
        const Recorder& recorder = pipeline->recorder();
        progress->Update(static_cast<std::int32_t>(recorder.EncodedMs()), durationMs,
                         recorder.videoFrames(), clock.Seconds());
    }
    return 0;
}

// The exit status and the closing summary of a run that played.
int Conclude(const Options& options, const Recorder& recorder, bool written,
             const std::string& error, int signal, std::vector<SourceWarning> warnings,
             Progress* progress, const WallClock& clock) {
    int status = kExitSuccess;
    if (signal == SIGINT) {
        status = kExitInterrupted;
    } else if (signal != 0) {
        status = kExitTerminated;
    }
    if (!written) {
        LogError(error);
        status = signal != 0 ? status : kExitFailure;
    } else if (recorder.videoFrames() == 0 && recorder.audioSamples() == 0 && signal == 0) {
        LogError("the library delivered nothing; no file written");
        status = kExitFailure;
    }
    RunSummary summary;
    summary.output = options.output;
    summary.frames = recorder.videoFrames();
    summary.sampleFrames = recorder.audioSamples();
    summary.durationMs = static_cast<std::int32_t>(recorder.LengthMs());
    summary.wallSeconds = clock.Seconds();
    summary.interrupted = signal != 0;
    summary.warnings = std::move(warnings);
    summary.exitStatus = status;
    progress->Finish(summary);
    return status;
}

}  // namespace

int Run(const Options& options) {
    const WallClock clock;
    OutputPlan plan;
    std::string error;
    if (!ChooseOutput(options, &plan, &error)) {
        return Fail(kExitUsage, error);
    }
    CheckedSources checked = CheckSources(options);
    if (!checked.error.empty()) {
        return Fail(checked.status, checked.error);
    }
    const FrameRate frameRate = OutputFrameRate(options, checked.firstVideoRate);
    SignalWatcher signals;
    Pipeline pipeline;
    if (!pipeline.Open(MakeSetup(options, plan, checked, frameRate), &error)) {
        return Fail(kExitUsage, error);
    }
    if (!ConfigureFeed(pipeline.feed(), options, checked.sources, frameRate, &error)) {
        return Fail(kExitFailure, error);
    }
    if (!pipeline.Start(&error)) {
        return Fail(kExitFailure, error);
    }
    Progress progress(options.quiet, options.json);
    const int signal = PlayToEnd(&pipeline, &signals, &progress, clock);
    std::string writeError;
    const bool written = pipeline.Finish(signal != 0, &writeError);
    char cost[160];
    std::snprintf(cost, sizeof(cost),
                  "CPU: %.2f s converting frames (on the library's video thread), %.2f s in the "
                  "encoder thread (its codecs' worker threads not counted)",
                  pipeline.conversionCpuNs() / 1e9, pipeline.recorder().ownCpuNs() / 1e9);
    Log(LogLevel::kVerbose, cost);
    return Conclude(options, pipeline.recorder(), written, writeError, signal,
                    std::move(checked.warnings), &progress, clock);
}

}  // namespace feedcat
