// feedcat: plays media files through the feed library and writes what it delivers to a file,
// or shows it in a window (--play).
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "cli/ArgumentParser.h"
#include "cli/Demo.h"
#include "cli/ExitCodes.h"
#include "cli/HelpText.h"
#include "console/LibavLog.h"
#include "console/Log.h"
#include "console/Progress.h"
#include "console/SignalWatcher.h"
#include "output/WritableFormats.h"
#include "pipeline/Run.h"
#include "play/Play.h"

int main(int argc, char** argv) {
    // SIGINT and SIGTERM are caught from here on: the run looks for them between its steps.
    feedcat::SignalWatcher signals;
    const feedcat::ParseResult parsed = feedcat::ParseArguments(argc, argv);
    switch (parsed.action) {
        case feedcat::ParseResult::Action::kHelp:
            std::fputs(feedcat::HelpText().c_str(), stdout);
            return feedcat::kExitSuccess;
        case feedcat::ParseResult::Action::kVersion:
            std::fputs(feedcat::VersionText().c_str(), stdout);
            return feedcat::kExitSuccess;
        case feedcat::ParseResult::Action::kFormats:
            std::fputs(feedcat::FormatsText().c_str(), stdout);
            return feedcat::kExitSuccess;
        case feedcat::ParseResult::Action::kError:
            feedcat::LogError(parsed.error);
            if (feedcat::AsksForJson(argc, argv)) {
                feedcat::RunSummary summary;
                summary.exitStatus = feedcat::kExitUsage;
                summary.error = feedcat::RunError{"usage", parsed.error, ""};
                feedcat::PrintJsonOnce(summary);
            }
            return feedcat::kExitUsage;
        case feedcat::ParseResult::Action::kRun:
            break;
    }
    feedcat::SetLogLevel(parsed.options.logLevel);
    feedcat::RouteLibavMessages();
    for (const feedcat::SourceWarning& warning : parsed.warnings) {
        feedcat::LogWarning(warning.message);
    }
    feedcat::Options options = parsed.options;
    if (options.demo) {
        feedcat::ApplyDemo(&options);
    }
    const int status = options.play ? feedcat::Play(options, parsed.warnings, &signals)
                                    : feedcat::Run(options, parsed.warnings, &signals);
    if (options.demo && !options.play && status == feedcat::kExitSuccess && options.output != "-" &&
        options.output != "null") {
        char where[PATH_MAX];
        const char* shown =
            realpath(options.output.c_str(), where) ? where : options.output.c_str();
        feedcat::Log(feedcat::LogLevel::kInfo, std::string("demo written to ") + shown);
    }
    return status;
}
