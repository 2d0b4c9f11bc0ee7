// feedcat: plays media files through the feed library and writes what it delivers to a file,
// or shows it in a window (--play).
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "ArgumentParser.h"
#include "Demo.h"
#include "ExitCodes.h"
#include "HelpText.h"
#include "LibavLog.h"
#include "Log.h"
#include "Play.h"
#include "Run.h"
#include "SignalWatcher.h"

int main(int argc, char** argv) {
    const feedcat::ParseResult parsed = feedcat::ParseArguments(argc, argv);
    switch (parsed.action) {
        case feedcat::ParseResult::Action::kHelp:
            std::fputs(feedcat::HelpText().c_str(), stdout);
            return feedcat::kExitSuccess;
        case feedcat::ParseResult::Action::kVersion:
            std::fputs(feedcat::VersionText().c_str(), stdout);
            return feedcat::kExitSuccess;
        case feedcat::ParseResult::Action::kError:
            feedcat::LogError(parsed.error);
            return feedcat::kExitUsage;
        case feedcat::ParseResult::Action::kRun:
            break;
    }
    feedcat::SetLogLevel(parsed.options.logLevel);
    feedcat::RouteLibavMessages();
    feedcat::Options options = parsed.options;
    if (options.demo) {
        feedcat::ApplyDemo(&options);
    }
    int status = 0;
    if (options.play) {
        feedcat::SignalWatcher signals;
        status = feedcat::Play(options, &signals);
    } else {
        status = feedcat::Run(options);
    }
    if (options.demo && !options.play && status == feedcat::kExitSuccess && options.output != "-" &&
        options.output != "null") {
        char where[PATH_MAX];
        const char* shown =
            realpath(options.output.c_str(), where) ? where : options.output.c_str();
        feedcat::Log(feedcat::LogLevel::kInfo, std::string("demo written to ") + shown);
    }
    return status;
}
