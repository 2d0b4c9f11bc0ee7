#include "HelpText.h"

#include <feed/feed.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace feedcat {

std::string HelpText() {
    return R"(Usage: feedcat [options] SOURCE... -o OUTPUT
       feedcat --demo [-o demo.mp4]

Plays the sources through the feed library, one after another, and writes the frames and
audio it delivers into OUTPUT.

SOURCE:
  v:FILE[@START-STOP]     FILE's picture onto the video timeline
  a:FILE[@START-STOP]     FILE's sound onto the audio timeline
  av:FILE[@START-STOP]    both
  START and STOP are milliseconds inside FILE; without them the whole file. FILE is a local
  media file or a lavfi: graph (which needs explicit times), e.g.
  lavfi:testsrc2=size=320x240:rate=25:duration=3 or lavfi:sine=frequency=440:duration=3.
  A source that cannot be opened plays as black or silence (a warning; an error with
  --strict); without times it has no length and is left out.

OUTPUT:
  NAME.mp4 .mkv .mov      H.264 (libx264, else MPEG-4 part 2) and AAC
  NAME.wav                16-bit PCM, audio only
  NAME.y4m                raw YUV 4:2:0, video only
  -                       standard output; needs --format (e.g. --format nut)
  null                    encode nothing, only count (for measuring)

Options:
  -o, --output OUTPUT     where to write
  --size WxH              frame size (default: the first video clip's)
  --fps N                 frame rate (default: the first video clip's)
  --sample-rate N         audio sample rate in Hz (default: the first audio clip's)
  --channels N            1 or 2 (default 2)
  --video-fade-in MS[:RRGGBB]   fade in from a colour (default black)
  --video-fade-out MS[:RRGGBB]  fade out to a colour (default black)
  --audio-fade-in MS      fade the sound in
  --audio-fade-out MS     fade the sound out
  --clip-mode MODE        stretch (default), fit (with bars) or fill (cut the overflow)
  --bars RRGGBB           colour of the bars in fit mode (default black)
  --no-sync               do not keep audio and video in step
  --format NAME           container by FFmpeg muxer name (e.g. nut, matroska)
  --video-codec NAME      video encoder by FFmpeg name (e.g. mpeg4)
  --audio-codec NAME      audio encoder by FFmpeg name (e.g. pcm_s16le)
  --strict                a source that cannot be opened is an error
  --quiet                 no progress bar and no summary
  --json                  print the summary as one JSON object on standard output
  --demo                  built-in synthetic sources (moving pattern and tone)
  -h, --help              this text
  --version               versions of feedcat, the feed library and FFmpeg

The progress bar shows on standard error when it is a terminal. SIGINT or SIGTERM stops the
run early and still finishes a playable file with what was delivered; a second one ends
feedcat at once.

Exit status:
  0    done
  1    the run failed (a source missing with --strict, encoding or writing failed, the
       library delivered nothing)
  2    bad command line, unknown option, times out of order, unknown output extension,
       output not writable; no file is written
  130  stopped by SIGINT (the file holds what was delivered)
  143  stopped by SIGTERM (likewise)

Examples:
  feedcat v:intro.mp4@0-5000 a:music.mp3@1000-6000 -o out.mp4
  feedcat av:holiday.mov --size 1280x720 --fps 30 --video-fade-in 1000 -o holiday.mkv
  feedcat av:a.mp4 av:b.mp4 --clip-mode fit --bars 202020 --size 640x360 -o both.mp4
  feedcat a:talk.mp4 --sample-rate 16000 --channels 1 -o talk.wav
  feedcat av:lavfi:testsrc2=size=320x240:rate=25:duration=3@0-3000 -o null --json
  feedcat av:clip.mp4 --format nut -o - | ffplay -
  feedcat --demo -o demo.mp4
)";
}

std::string VersionText() {
    std::string text = "feedcat " + std::to_string(FEED_VERSION_MAJOR) + "." +
                       std::to_string(FEED_VERSION_MINOR) + "." +
                       std::to_string(FEED_VERSION_PATCH) + "\n";
    text += std::string("libavformat ") + AV_STRINGIFY(LIBAVFORMAT_VERSION) + ", libavcodec " +
            AV_STRINGIFY(LIBAVCODEC_VERSION) + "\n";
    return text;
}

}  // namespace feedcat
