#include "cli/HelpText.h"

#include <feed/feed.h>

#include "cli/OptionTable.h"
#include "play/PlayKeys.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace feedcat {
namespace {

constexpr std::size_t kHelpColumn = 28;
constexpr std::size_t kLineWidth = 94;

const char kBeforeOptions[] = R"(Usage: feedcat [options] SOURCE... -o OUTPUT
       feedcat [options] SOURCE... --play
       feedcat --demo [-o demo.mp4 | --play]

Plays the sources through the feed library, one after another, and writes the frames and
audio it delivers into OUTPUT, or with --play shows them in a window and plays their sound.

SOURCE:
  FILE[@START-STOP]       FILE's picture and sound, those it has
  v:FILE[@START-STOP]     FILE's picture onto the video timeline
  a:FILE[@START-STOP]     FILE's sound onto the audio timeline
  av:FILE[@START-STOP]    both
  START and STOP are times inside FILE: milliseconds (1500), 1500ms, seconds (1.5s),
  MM:SS(.mmm) or HH:MM:SS(.mmm); without them the whole file, @START- to its end, @-STOP
  from its start. A span or fade in bare numbers shorter than a second is a warning (@0-5 is
  5 ms; 0-5s is five seconds). FILE is a local media file or a lavfi: graph (which needs
  explicit times), e.g. lavfi:testsrc2=size=320x240:rate=25:duration=3 or
  lavfi:sine=frequency=440:duration=3. --clips FILE reads sources from a file.
  A source that cannot be opened, or lacks the stream it is added for, is an error (status
  1, nothing written); with --allow-missing it plays as black or silence, with a warning.
  Times past a file's end are a warning naming its length; the rest plays as black or
  silence. Each kind's sources play one after another; the shorter timeline is padded with
  black or silence to the longer (a warning past one second), or with --shortest the output
  ends with it.

OUTPUT:
  The extension picks the container and its encoders; --formats lists them all, e.g.
  NAME.mp4 .mov           H.264 (libx264, else MPEG-4 part 2) and AAC, index at the front
  NAME.mkv .ts .flv       H.264 and AAC
  NAME.webm               VP9 and Opus
  NAME.nut                H.264 and 16-bit PCM
  NAME.avi                MPEG-4 part 2 and MP3
  NAME.ogg                Theora and Vorbis
  NAME.wav .flac .mp3     sound only: 16-bit PCM, FLAC, MP3 (also .m4a: AAC, .opus, ...)
  NAME.y4m .gif           pictures only: raw YUV 4:2:0, GIF
  -                       standard output; needs --format (e.g. --format nut)
  null                    encode nothing, only count (for measuring)
  A container of sound only takes a: and av: sources (an av: one gives its sound), one of
  pictures only v: and av: sources. Video is YUV 4:2:0 (sides rounded up to even, with a
  warning), converted with and tagged as BT.709 from 720 lines up, BT.601 below.
  An existing OUTPUT is replaced (as -y says) unless -n is given. The file is written under a
  hidden temporary name beside it and moved into place at the end, so a failed or stopped
  run leaves none behind.
)";

const char kAfterOptions[] = R"(
The progress bar shows on standard error when it is a terminal; the summary names the
encoders, size, rate and sample format chosen. SIGINT or SIGTERM stops the run early and
still finishes a playable file with what was delivered (before anything is delivered:
nothing is written); a second one of the same kind ends feedcat at once, and the unfinished file is
removed. With --json, exactly one JSON object is printed in every outcome, errors included
("error": code, message, source).

feedcat is not ffmpeg: ffmpeg's usual options (input, rate, size, times, codecs) are refused
with the feedcat way to say them.

Exit status:
  0    done
  1    the run failed (a source that cannot be played, encoding or writing failed, the
       library delivered nothing)
  2    bad command line, unknown option, times out of order, unknown output extension,
       output not writable or existing with -n; no file is written
  130  stopped by SIGINT (the file holds what was delivered)
  143  stopped by SIGTERM (likewise)

Examples:
  feedcat v:intro.mp4@0-5000 a:music.mp3@1s-6s -o out.mp4
  feedcat holiday.mov --size 1280x720 --fps 30000/1001 --video-fade-in 1s -o holiday.mkv
  feedcat talk.mp4@1:30- -o talk.mp3
  feedcat --clips list.txt --shortest -o joined.mp4
  feedcat av:a.mp4 av:b.mp4 --clip-mode fit --bars 202020 --size 640x360 -o both.webm
  feedcat av:talk.mp4@1:30-2:45.5 --crf 20 --preset slow -o excerpt.mp4
  feedcat a:talk.mp4 --sample-rate 16000 --channels 1 -o talk.wav
  feedcat av:lavfi:testsrc2=size=320x240:rate=25:duration=3@0-3000 -o null --json
  feedcat av:clip.mp4 --format nut -o - | ffplay -
  feedcat --play av:a.mp4@0-5s av:b.mp4
  feedcat --demo -o demo.mp4
)";

// One line of the list: its left part, then the help from its column, wrapped.
std::string HelpLine(const std::string& left, const std::string& help) {
    // The help starts in its column, on a line of its own after a long left part, and wraps
    // at word boundaries into the same column.
    std::string text = left.size() + 2 <= kHelpColumn
                           ? left + std::string(kHelpColumn - left.size(), ' ')
                           : left + "\n" + std::string(kHelpColumn, ' ');
    std::size_t column = kHelpColumn;
    std::size_t begin = 0;
    while (begin < help.size()) {
        std::size_t end = help.find(' ', begin);
        end = end == std::string::npos ? help.size() : end;
        const std::string word = help.substr(begin, end - begin);
        if (column > kHelpColumn && column + 1 + word.size() > kLineWidth) {
            text += "\n" + std::string(kHelpColumn, ' ');
            column = kHelpColumn;
        } else if (column > kHelpColumn) {
            text += ' ';
            ++column;
        }
        text += word;
        column += word.size();
        begin = end + 1;
    }
    return text + "\n";
}

std::string OptionLine(const OptionEntry& entry) {
    std::string left = "  ";
    if (entry.shortName[0] != '\0') {
        left += std::string(entry.shortName) + ", ";
    }
    left += entry.longName;
    if (entry.valueName[0] != '\0') {
        left += std::string(" ") + entry.valueName;
    }
    return HelpLine(left, entry.help);
}

// Keys that do the same share a line: "q, Esc".
std::string KeyLines() {
    std::string text;
    const std::vector<PlayKey>& keys = PlayKeys();
    for (std::size_t at = 0; at < keys.size();) {
        std::string left = std::string("  ") + keys[at].name;
        std::size_t next = at + 1;
        for (; next < keys.size() && keys[next].action == keys[at].action; ++next) {
            left += std::string(", ") + keys[next].name;
        }
        text += HelpLine(left, keys[at].help);
        at = next;
    }
    return text;
}

}  // namespace

std::string HelpText() {
    std::string text = kBeforeOptions;
    std::string group;
    for (const OptionEntry& entry : OptionTable()) {
        if (group != entry.group) {
            group = entry.group;
            text += "\n" + group + ":\n";
        }
        text += OptionLine(entry);
    }
    return text + "\nKeys in the --play window (closing it stops too):\n" + KeyLines() +
           kAfterOptions;
}

std::string VersionText() {
    // feedcat's own version is the header it was built with; the library's is the one loaded.
    const auto dotted = [](std::int32_t number) {
        return std::to_string(number / 10000) + "." + std::to_string(number / 100 % 100) + "." +
               std::to_string(number % 100);
    };
    auto version = [](unsigned packed) {
        return std::to_string(AV_VERSION_MAJOR(packed)) + "." +
               std::to_string(AV_VERSION_MINOR(packed)) + "." +
               std::to_string(AV_VERSION_MICRO(packed));
    };
    // FFmpeg's figures are those of the libraries loaded at run time.
    return "feedcat " + dotted(FEED_VERSION_NUMBER) + "\n" + "feed library " +
           dotted(FeedGetVersion()) + "\n" + "FFmpeg " + av_version_info() + ": libavformat " +
           version(avformat_version()) + ", libavcodec " + version(avcodec_version()) +
           ", libavutil " + version(avutil_version()) + ", libswscale " +
           version(swscale_version()) + ", libswresample " + version(swresample_version()) + "\n";
}

}  // namespace feedcat
