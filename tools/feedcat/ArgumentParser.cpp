#include "ArgumentParser.h"

#include "OptionTable.h"
#include "Play.h"
#include "SourceSyntax.h"

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
        return "unknown option '" + arg + "' (see --help)";
    }
    if (entry->kind == OptionEntry::Kind::kHelp || entry->kind == OptionEntry::Kind::kVersion) {
        result->action = entry->kind == OptionEntry::Kind::kHelp ? ParseResult::Action::kHelp
                                                                 : ParseResult::Action::kVersion;
        return "";
    }
    std::string value;
    if (entry->kind == OptionEntry::Kind::kSwitch && inline_) {
        return "option '" + name + "' takes no value";
    }
    if (entry->kind == OptionEntry::Kind::kValue) {
        if (!inline_ && (*i + 1 >= argc || argv[*i + 1] == nullptr)) {
            return "option '" + std::string(entry->longName) +
                   "' needs a value: " + entry->accepted;
        }
        value = inline_ ? arg.substr(equals + 1) : argv[++*i];
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
            if (!ParseSource(arg, &source, &error)) {
                return Refuse(error);
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
        if (result.action == ParseResult::Action::kHelp ||
            result.action == ParseResult::Action::kVersion) {
            return result;
        }
    }
    const std::string conflict = CheckChoices(options, outputGiven);
    if (!conflict.empty()) {
        return Refuse(conflict);
    }
    if (options.demo && !outputGiven && !options.play) {
        options.output = "demo.mp4";
    }
    result.action = ParseResult::Action::kRun;
    return result;
}

}  // namespace feedcat
