#include "cli/FfmpegHints.h"

#include <cctype>

namespace feedcat {
namespace {

// ffmpeg takes "10", "10.5" and "1:30" for times, and seconds when bare; feedcat reads bare
// numbers as milliseconds, so seconds get their unit.
std::string AsTime(const std::string& value) {
    if (!value.empty() && value.find_first_not_of("0123456789.") == std::string::npos) {
        return value + "s";
    }
    return value;
}

struct Hint {
    const char* names;  // ffmpeg's spellings, each followed by a space
    bool takesValue;
    // The hint, with {} standing for the value (or for what it should be when none follows).
    const char* text;
    const char* placeholder;  // what {} says when no value follows
};

const Hint kHints[] = {
    {"-i ", true, "give the file as a SOURCE without -i: {} (v:{} or a:{} for one stream)", "FILE"},
    {"-r -framerate ", true, "use --fps {}", "RATE"},
    {"-s -video_size ", true, "use --size {}", "WxH"},
    {"-ar ", true, "use --sample-rate {}", "HZ"},
    {"-ac ", true, "use --channels {}", "N"},
    {"-t ", true, "give the source a span from its start: FILE@-{}", "STOP"},
    {"-ss ", true, "give the source a span from there to its end: FILE@{}-", "START"},
    {"-to ", true, "give the source a span: FILE@START-{}", "STOP"},
    {"-an ", false, "use v:FILE to take only the picture", ""},
    {"-vn ", false, "use a:FILE to take only the sound", ""},
    {"-c:v -vcodec -codec:v ", true, "use --video-codec {}", "NAME"},
    {"-c:a -acodec -codec:a ", true, "use --audio-codec {}", "NAME"},
    {"-c -codec ", true, "use --video-codec and --audio-codec", ""},
    {"-b:v -vb ", true, "use --video-bitrate {}", "RATE"},
    {"-b:a -ab ", true, "use --audio-bitrate {}", "RATE"},
    {"-f ", true, "use --format {}", "NAME"},
    {"-crf ", true, "use --crf {}", "N"},
    {"-preset ", true, "use --preset {}", "NAME"},
    {"-loglevel ", true, "use --loglevel {}", "LEVEL"},
    {"-shortest ", false, "use --shortest", ""},
    {"-map ", true, "choose the streams with v:FILE, a:FILE or av:FILE", ""},
    {"-vf -filter:v -filter_complex ", true,
     "feedcat has no filter graphs: --size, --crop, --clip-mode and --fps scale, cut, fit and "
     "time the picture",
     ""},
    {"-hide_banner -nostdin -nostats ", false, "feedcat needs no such option: leave it out", ""},
};

bool Named(const char* names, const std::string& option) {
    const std::string list = names;
    return list.find(option + " ") == 0 || list.find(" " + option + " ") != std::string::npos;
}

}  // namespace

std::string FfmpegHint(const std::string& option, const char* next) {
    for (const Hint& hint : kHints) {
        if (!Named(hint.names, option)) {
            continue;
        }
        // The next argument is this option's value unless it is another option.
        const bool given = hint.takesValue && next != nullptr && next[0] != '\0' &&
                           !(next[0] == '-' && std::isalpha(static_cast<unsigned char>(next[1])));
        std::string value = given ? next : hint.placeholder;
        if (given && (option == "-t" || option == "-ss" || option == "-to")) {
            value = AsTime(value);
        }
        std::string text = hint.text;
        for (std::size_t at = text.find("{}"); at != std::string::npos;
             at = text.find("{}", at + value.size())) {
            text.replace(at, 2, value);
        }
        return "feedcat is not ffmpeg; " + text;
    }
    return "";
}

}  // namespace feedcat
