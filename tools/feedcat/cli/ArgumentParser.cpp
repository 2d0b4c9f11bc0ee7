#include "cli/ArgumentParser.h"

#include <set>

#include "cli/ClipList.h"
#include "cli/FfmpegHints.h"
#include "cli/OptionTable.h"
#include "cli/SourceSyntax.h"
#include "play/Play.h"

namespace feedcat {
namespace {

ParseResult Refuse(const std::string& message) {
    ParseResult result;
    result.action = ParseResult::Action::kError;
    result.error = message;
    return result;
}

// Choices that each parse but do not go together, and what a run needs; "" when all is well.
std::string CheckChoices(const Options& options, bool outputGiven) {
    if (options.demo && !options.sources.empty()) {
        return "--demo brings its own sources: give no SOURCE with it";
    }
    if (!options.demo && options.sources.empty()) {
        return "no SOURCE given (see --help)";
    }
    const std::string playConflict = PlayConflict(options, outputGiven);
    if (!playConflict.empty()) {
        return playConflict;
    }
    if (options.output.empty() && !(options.demo && !outputGiven) && !options.play) {
        return "no output given: add -o OUTPUT";
    }
    if (options.output == "-" && options.json) {
        return "--json writes to standard output, which -o - already uses";
    }
    if (options.output == "-" && options.format.empty()) {
        return "-o - needs --format NAME (for example --format nut)";
    }
    if (options.strict && options.allowMissing) {
        return "--strict and --allow-missing contradict each other: give one";
    }
    if (options.overwrite && options.noOverwrite) {
        return "-y and -n contradict each other: give one";
    }
    if (options.crf >= 0.0 && options.videoBitrate > 0) {
        return "--crf and --video-bitrate contradict each other: give one";
    }
    return "";
}

// Settings that parse and go together but most likely do not say what was meant.
void WarnAboutSettings(const Options& options, std::vector<SourceWarning>* warnings) {
    auto fade = [&](const char* option, bool enabled, bool bare, std::int32_t ms) {
        const std::string written = std::to_string(ms);
        const std::string warning =
            enabled && bare
                ? BareMillisecondsWarning(std::string(option) + " " + written, written + "s", ms)
                : "";
        if (!warning.empty()) {
            warnings->push_back(SourceWarning{"", warning});
        }
    };
    fade("--video-fade-in", options.videoFadeIn.enabled, options.videoFadeIn.bare,
         options.videoFadeIn.lengthMs);
    fade("--video-fade-out", options.videoFadeOut.enabled, options.videoFadeOut.bare,
         options.videoFadeOut.lengthMs);
    fade("--audio-fade-in", options.audioFadeIn.enabled, options.audioFadeIn.bare,
         options.audioFadeIn.lengthMs);
    fade("--audio-fade-out", options.audioFadeOut.enabled, options.audioFadeOut.bare,
         options.audioFadeOut.lengthMs);
    if (options.hasBars && (options.clipMode == 0 || options.clipMode == 2)) {
        warnings->push_back(SourceWarning{
            "", std::string("--bars colours the bars of --clip-mode fit; with --clip-mode ") +
                    (options.clipMode == 0 ? "stretch" : "fill") + " there are none"});
    }
}

// The same warning once, in the order first given.
std::vector<SourceWarning> OncePerMessage(const std::vector<SourceWarning>& warnings) {
    std::vector<SourceWarning> once;
    std::set<std::string> seen;
    for (const SourceWarning& warning : warnings) {
        if (seen.insert(warning.message).second) {
            once.push_back(warning);
        }
    }
    return once;
}

std::string UnknownOption(const std::string& arg, const char* next) {
    const std::string hint = FfmpegHint(arg, next);
    return "unknown option '" + arg + "'" + (hint.empty() ? " (see --help)" : ": " + hint);
}

// Reads the option at argv[*i] (and its value, moving *i past it) into result; "" when it is
// read, else the refusal.
std::string ReadOption(int argc, const char* const* argv, int* i, ParseResult* result,
                       bool* outputGiven) {
    const std::string arg = argv[*i];
    // "--name=value" carries its value; "-o value" and "--name value" take the next one.
    const std::size_t equals = arg.find('=');
    const bool inline_ = arg.compare(0, 2, "--") == 0 && equals != std::string::npos;
    const std::string name = inline_ ? arg.substr(0, equals) : arg;
    const OptionEntry* entry = FindOption(name);
    if (entry == nullptr) {
        return UnknownOption(arg, *i + 1 < argc ? argv[*i + 1] : nullptr);
    }
    switch (entry->kind) {
        case OptionEntry::Kind::kHelp:
            result->action = ParseResult::Action::kHelp;
            return "";
        case OptionEntry::Kind::kVersion:
            result->action = ParseResult::Action::kVersion;
            return "";
        case OptionEntry::Kind::kFormats:
            result->action = ParseResult::Action::kFormats;
            return "";
        default:
            break;
    }
    std::string value;
    if (entry->kind == OptionEntry::Kind::kSwitch && inline_) {
        return "option '" + name + "' takes no value";
    }
    if (entry->kind != OptionEntry::Kind::kSwitch) {
        if (!inline_ && (*i + 1 >= argc || argv[*i + 1] == nullptr)) {
            return "option '" + std::string(entry->longName) +
                   "' needs a value: " + entry->accepted;
        }
        value = inline_ ? arg.substr(equals + 1) : argv[++*i];
    }
    if (entry->kind == OptionEntry::Kind::kSourceList) {
        std::string error;
        return ReadClipList(value, &result->options.sources, &result->warnings, &error) ? ""
                                                                                        : error;
    }
    if (!entry->apply(value, &result->options)) {
        return "bad value '" + value + "' for option '" + entry->longName + "': expected " +
               entry->accepted;
    }
    *outputGiven = *outputGiven || entry->longName == std::string("--output");
    return "";
}

}  // namespace

ParseResult ParseArguments(int argc, const char* const* argv) {
    ParseResult result;
    Options& options = result.options;
    bool outputGiven = false;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i] != nullptr ? argv[i] : "";
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            SourceArg source;
            std::string error;
            std::string warning;
            if (!ParseSource(arg, &source, &error, &warning)) {
                return Refuse(error);
            }
            if (!warning.empty()) {
                result.warnings.push_back(SourceWarning{source.file, warning});
            }
            options.sources.push_back(source);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const std::string refusal = ReadOption(argc, argv, &i, &result, &outputGiven);
        if (!refusal.empty()) {
            return Refuse(refusal);
        }
        if (result.action != ParseResult::Action::kError) {
            return result;  // --help, --version or --formats: nothing else matters
        }
    }
    const std::string conflict = CheckChoices(options, outputGiven);
    if (!conflict.empty()) {
        return Refuse(conflict);
    }
    if (options.demo && !outputGiven && !options.play) {
        options.output = "demo.mp4";
    }
    WarnAboutSettings(options, &result.warnings);
    result.warnings = OncePerMessage(result.warnings);
    result.action = ParseResult::Action::kRun;
    return result;
}

bool AsksForJson(int argc, const char* const* argv) {
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            return false;
        }
        if (arg == "--json") {
            return true;
        }
    }
    return false;
}

}  // namespace feedcat
