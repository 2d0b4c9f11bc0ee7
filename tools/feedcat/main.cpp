// feedcat: plays media files through the feed library and writes what it delivers to a file.
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "ArgumentParser.h"
#include "Demo.h"
#include "ExitCodes.h"
#include "HelpText.h"
#include "Run.h"

extern "C" {
#include <libavutil/log.h>
}

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
            std::fprintf(stderr, "feedcat: %s\n", parsed.error.c_str());
            return feedcat::kExitUsage;
        case feedcat::ParseResult::Action::kRun:
            break;
    }
    // FFmpeg's own chatter would mix with the progress bar; its errors still show.
    av_log_set_level(AV_LOG_ERROR);
    feedcat::Options options = parsed.options;
    if (options.demo) {
        feedcat::ApplyDemo(&options);
    }
    const int status = feedcat::Run(options);
    if (options.demo && status == feedcat::kExitSuccess && options.output != "-" &&
        options.output != "null") {
        char where[PATH_MAX];
        const char* shown =
            realpath(options.output.c_str(), where) ? where : options.output.c_str();
        std::fprintf(stderr, "feedcat: demo written to %s\n", shown);
    }
    return status;
}
