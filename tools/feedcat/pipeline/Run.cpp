#include "pipeline/Run.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>

#include "cli/ExitCodes.h"
#include "console/Log.h"
#include "console/Progress.h"
#include "console/ReportOnce.h"
#include "console/SignalWatcher.h"
#include "output/OutputFormat.h"
#include "pipeline/FeedSetup.h"
#include "pipeline/Pipeline.h"
#include "pipeline/SourceCheck.h"
#include "pipeline/TimelinePlan.h"

namespace feedcat {
namespace {

constexpr int kPollMs = 100;

// A signal before the library delivered anything (feedcat was still reading the sources, or
// the library opening them): the output is not kept.
constexpr char kStoppedEmpty[] = "stopped before anything was delivered; nothing written";

class WallClock {
  public:
    double Seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    }

  private:
    const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

RecorderSetup MakeSetup(const Options& options, const OutputPlan& plan,
                        const CheckedSources& checked, FrameRate frameRate) {
    RecorderSetup setup;
    setup.plan = plan;
    setup.path = options.output;
    setup.replace = !options.noOverwrite;
    setup.frameRate = AVRational{frameRate.num, frameRate.den};
    setup.quality = QualityFrom(options);
    setup.askedWidth = options.width;
    setup.askedHeight = options.height;
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

// One run's closing summary, filled as it goes; whatever ends the run prints it once.
class Report {
  public:
    explicit Report(const Options& options, std::vector<SourceWarning> warnings)
        : progress_(options.quiet, options.json) {
        summary_.output = options.output;
        summary_.warnings = std::move(warnings);
        if (options.json) {
            // A second signal ends feedcat at once, with the file removed: nothing written.
            RunSummary ended = summary_;
            ended.interrupted = true;
            ended.exitStatus = kExitInterrupted;
            const std::string onInterrupt = SummaryJson(ended);
            ended.exitStatus = kExitTerminated;
            PrepareSignalReports(onInterrupt, SummaryJson(ended));
        }
    }

    RunSummary& summary() { return summary_; }
    Progress& progress() { return progress_; }

    void Warn(const SourceWarning& warning) {
        LogWarning(warning.message);
        summary_.warnings.push_back(warning);
    }

    // Ends the run with status; error's message (when there is one) goes to standard error.
    int End(int status, const RunError& error = RunError{}) {
        if (!error.message.empty()) {
            LogError(error.message);
        }
        summary_.error = error;
        summary_.exitStatus = status;
        summary_.wallSeconds = clock_.Seconds();
        progress_.Finish(summary_);
        return status;
    }

    // A signal came before anything was delivered: nothing is written.
    int Interrupted(int signal) {
        Log(LogLevel::kError, kStoppedEmpty);
        summary_.interrupted = true;
        return End(SignalStatus(signal));
    }

    const WallClock& clock() const { return clock_; }

  private:
    const WallClock clock_;
    Progress progress_;
    RunSummary summary_;
};

// The exit status and the closing summary of a run that played.
int Conclude(const Options& options, const Recorder& recorder, const SessionFindings& findings,
             bool finished, const std::string& writeError, int signal, Report* report) {
    RunSummary& summary = report->summary();
    const int status = signal != 0 ? SignalStatus(signal) : kExitSuccess;
    const bool delivered = recorder.videoFrames() > 0 || recorder.audioSamples() > 0;
    summary.frames = recorder.videoFrames();
    summary.sampleFrames = recorder.audioSamples();
    summary.durationMs = static_cast<std::int32_t>(recorder.LengthMs());
    summary.interrupted = signal != 0;
    summary.written = finished && delivered && options.output != "null";
    summary.video = recorder.videoChoice();
    summary.audio = recorder.audioChoice();
    summary.warnings.insert(summary.warnings.end(), recorder.warnings().begin(),
                            recorder.warnings().end());
    for (const SourceWarning& warning : findings.warnings) {
        report->Warn(warning);
    }
    if (!finished) {
        return report->End(signal != 0 ? status : kExitFailure,
                           RunError{"encoding", writeError, ""});
    }
    if (!delivered && signal != 0) {
        Log(LogLevel::kError, kStoppedEmpty);
        return report->End(status);
    }
    const std::string why = findings.reasonText.empty() ? "" : " (" + findings.reasonText + ")";
    if (!delivered) {
        return report->End(
            kExitFailure,
            RunError{"nothing-delivered",
                     "the library delivered nothing" + why + "; no file written", ""});
    }
    if (findings.reason == FEED_END_ENGINE_FAILED) {
        // What came before the failure is in the file; the run still failed.
        return report->End(kExitFailure,
                           RunError{"library", "the session ended before its end" + why, ""});
    }
    return report->End(status);
}

}  // namespace

int Run(const Options& options, std::vector<SourceWarning> warnings, SignalWatcher* signals) {
    Report report(options, std::move(warnings));
    const auto stopRequested = [signals] { return signals->Caught() != 0; };
    OutputPlan plan;
    std::string error;
    if (!ChooseOutput(options, &plan, &error)) {
        return report.End(kExitUsage, RunError{"output", error, ""});
    }
    // Only what the output holds is played: an av: source into a .wav gives its sound.
    Options played = options;
    KeepKinds(plan.wantsVideo, plan.wantsAudio, &played.sources);
    CheckedSources checked = CheckSources(played, stopRequested);
    RunSummary& summary = report.summary();
    summary.warnings.insert(summary.warnings.end(), checked.warnings.begin(),
                            checked.warnings.end());
    if (checked.stopped) {
        return report.Interrupted(signals->Caught());
    }
    if (!checked.error.empty()) {
        return report.End(checked.status, RunError{"source", checked.error, checked.errorSource});
    }
    if (options.shortest) {
        EndWithTheShorter(&checked.sources);
    } else {
        const std::string padding = PaddingWarning(MeasureTimelines(checked.sources));
        if (!padding.empty()) {
            report.Warn(SourceWarning{"", padding});
        }
    }
    const FrameRate frameRate = OutputFrameRate(options, checked.firstVideoRate);
    auto pipeline = std::make_unique<Pipeline>();
    if (!pipeline->Open(MakeSetup(options, plan, checked, frameRate), &error)) {
        return report.End(kExitUsage, RunError{"output", error, ""});
    }
    std::string errorSource;
    std::vector<AddedSource> added;
    if (!ConfigureFeed(pipeline->feed(), options, checked.sources, frameRate, stopRequested, &added,
                       &error, &errorSource)) {
        if (error.empty()) {
            pipeline.reset();  // the unfinished file goes before the summary says so
            return report.Interrupted(signals->Caught());
        }
        return report.End(kExitFailure, RunError{"library", error, errorSource});
    }
    if (stopRequested()) {
        pipeline.reset();
        return report.Interrupted(signals->Caught());
    }
    if (!pipeline->Start(&error)) {
        return report.End(kExitFailure, RunError{"library", error, ""});
    }
    const int signal = PlayToEnd(pipeline.get(), signals, &report.progress(), report.clock());
    SessionFindings findings;
    if (!pipeline->Running()) {
        findings = FindSessionOutcome(pipeline->feed(), added, summary.warnings);
    }
    std::string writeError;
    const bool finished = pipeline->Finish(signal != 0, &writeError);
    char cost[160];
    std::snprintf(cost, sizeof(cost),
                  "CPU: %.2f s converting frames (on the library's video thread), %.2f s in the "
                  "encoder thread (its codecs' worker threads not counted)",
                  pipeline->conversionCpuNs() / 1e9, pipeline->recorder().ownCpuNs() / 1e9);
    Log(LogLevel::kVerbose, cost);
    return Conclude(options, pipeline->recorder(), findings, finished, writeError, signal, &report);
}

}  // namespace feedcat
