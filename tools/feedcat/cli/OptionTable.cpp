#include "cli/OptionTable.h"

#include "cli/OptionValues.h"
#include "cli/TimeSyntax.h"

namespace feedcat {
namespace {

using Kind = OptionEntry::Kind;

constexpr char kFormat[] = "Output format";
constexpr char kFades[] = "Fades and pictures";
constexpr char kEncoding[] = "Output file and encoding";
constexpr char kRun[] = "Sources and messages";

const char kFadeValue[] =
    "a length above 0 (1000, 1s, 0:01.5), optionally followed by :RRGGBB for the colour";

bool NotEmpty(const std::string& value, std::string* field) {
    *field = value;
    return !value.empty();
}

std::vector<OptionEntry> MakeTable() {
    return {
        {Kind::kValue, kFormat, "", "--size", "WxH", "frame size (default: the first video clip's)",
         "WIDTHxHEIGHT, each side 2 to 8192, e.g. 1280x720",
         [](const std::string& v, Options* o) { return ReadSize(v, &o->width, &o->height); }},
        {Kind::kValue, kFormat, "", "--fps", "RATE",
         "frame rate: 25, 29.97, 30000/1001, ntsc, pal (default: the first video clip's; 25 "
         "when no source has video)",
         "a rate from 1 to 1000 frames per second: N, N.N, N/D (30000/1001), ntsc, pal, film or "
         "ntsc-film",
         [](const std::string& v, Options* o) { return ReadFrameRate(v, &o->fps); }},
        {Kind::kValue, kFormat, "", "--sample-rate", "HZ",
         "audio sample rate (default: the first audio clip's)",
         "a whole number from 1000 to 384000",
         [](const std::string& v, Options* o) {
             return ReadInteger(v, 1000, 384000, &o->sampleRate);
         }},
        {Kind::kValue, kFormat, "", "--channels", "N", "1 or 2 (default 2)", "1 or 2",
         [](const std::string& v, Options* o) { return ReadInteger(v, 1, 2, &o->channels); }},
        {Kind::kSwitch, kFormat, "", "--shortest", "",
         "end with the shorter of the video and audio timelines instead of padding it with "
         "black or silence",
         "",
         [](const std::string&, Options* o) {
             o->shortest = true;
             return true;
         }},
        {Kind::kValue, kFades, "", "--video-fade-in", "TIME[:RRGGBB]",
         "fade the picture in from a colour (default black)", kFadeValue,
         [](const std::string& v, Options* o) { return ReadVideoFade(v, &o->videoFadeIn); }},
        {Kind::kValue, kFades, "", "--video-fade-out", "TIME[:RRGGBB]",
         "fade the picture out to a colour (default black)", kFadeValue,
         [](const std::string& v, Options* o) { return ReadVideoFade(v, &o->videoFadeOut); }},
        {Kind::kValue, kFades, "", "--audio-fade-in", "TIME", "fade the sound in",
         "a length above 0: 1000, 1500ms, 1.5s or 0:01.5",
         [](const std::string& v, Options* o) { return ReadAudioFade(v, &o->audioFadeIn); }},
        {Kind::kValue, kFades, "", "--audio-fade-out", "TIME", "fade the sound out",
         "a length above 0: 1000, 1500ms, 1.5s or 0:01.5",
         [](const std::string& v, Options* o) { return ReadAudioFade(v, &o->audioFadeOut); }},
        {Kind::kValue, kFades, "", "--clip-mode", "MODE",
         "fit (the default: inside, with bars, the shape kept), stretch (to the frame) or fill "
         "(cover the frame, cut the overflow)",
         "stretch, fit or fill",
         [](const std::string& v, Options* o) { return ReadClipMode(v, &o->clipMode); }},
        {Kind::kValue, kFades, "", "--bars", "RRGGBB",
         "colour of the bars in fit mode (default black)", "six hex digits RRGGBB, e.g. 202020",
         [](const std::string& v, Options* o) {
             o->hasBars = true;
             return ReadColour(v, &o->barsColour);
         }},
        {Kind::kValue, kFades, "", "--crop", "L,T,R,B",
         "show only this rectangle of every video source: left, top, right, bottom edges in "
         "source pixels (-1,-1,-1,-1: none)",
         "four whole numbers L,T,R,B with 0 <= L < R and 0 <= T < B (right and bottom "
         "exclusive), or -1,-1,-1,-1 for none",
         [](const std::string& v, Options* o) { return ReadCrop(v, &o->crop, &o->hasCrop); }},
        {Kind::kSwitch, kFades, "", "--no-sync", "", "do not keep audio and video in step", "",
         [](const std::string&, Options* o) {
             o->sync = false;
             return true;
         }},
        {Kind::kSwitch, kEncoding, "", "--play", "",
         "show the sources in a window and play their sound, in real time, instead of writing "
         "OUTPUT (keys below)",
         "",
         [](const std::string&, Options* o) {
             o->play = true;
             return true;
         }},
        {Kind::kValue, kEncoding, "-o", "--output", "OUTPUT", "where to write (see OUTPUT)",
         "a file name, - or null",
         [](const std::string& v, Options* o) { return NotEmpty(v, &o->output); }},
        {Kind::kSwitch, kEncoding, "-y", "--overwrite", "",
         "replace an existing OUTPUT (the default)", "",
         [](const std::string&, Options* o) {
             o->overwrite = true;
             return true;
         }},
        {Kind::kSwitch, kEncoding, "-n", "--no-overwrite", "",
         "fail (status 2) instead of replacing an existing OUTPUT", "",
         [](const std::string&, Options* o) {
             o->noOverwrite = true;
             return true;
         }},
        {Kind::kValue, kEncoding, "", "--format", "NAME",
         "container by FFmpeg muxer name (e.g. nut, matroska, webm)", "an FFmpeg muxer name",
         [](const std::string& v, Options* o) { return NotEmpty(v, &o->format); }},
        {Kind::kFormats, kEncoding, "", "--formats", "",
         "list the output extensions this FFmpeg can write, with the encoders each gets", "",
         nullptr},
        {Kind::kValue, kEncoding, "", "--video-codec", "NAME",
         "video encoder by FFmpeg name (e.g. mpeg4, libvpx-vp9)", "an FFmpeg encoder name",
         [](const std::string& v, Options* o) { return NotEmpty(v, &o->videoCodec); }},
        {Kind::kValue, kEncoding, "", "--audio-codec", "NAME",
         "audio encoder by FFmpeg name (e.g. pcm_s16le, libopus)", "an FFmpeg encoder name",
         [](const std::string& v, Options* o) { return NotEmpty(v, &o->audioCodec); }},
        {Kind::kValue, kEncoding, "", "--crf", "N",
         "constant quality, lower is better (libx264 0-51, default 23; libvpx-vp9 0-63, "
         "default 31)",
         "a number from 0 to 63 (libx264 takes 0 to 51)",
         [](const std::string& v, Options* o) { return ReadCrf(v, &o->crf); }},
        {Kind::kValue, kEncoding, "", "--preset", "NAME",
         "libx264 speed: ultrafast ... veryslow (default veryfast)", kPresetNames,
         [](const std::string& v, Options* o) { return ReadPreset(v, &o->preset); }},
        {Kind::kValue, kEncoding, "", "--video-bitrate", "RATE",
         "average video bit rate instead of --crf, e.g. 2500k or 2.5M",
         "bits per second from 1k to 1000M: 2500000, 2500k or 2.5M",
         [](const std::string& v, Options* o) { return ReadBitrate(v, &o->videoBitrate); }},
        {Kind::kValue, kEncoding, "", "--audio-bitrate", "RATE",
         "audio bit rate, e.g. 128k (default 64k per channel)",
         "bits per second from 1k to 1000M: 128000, 128k or 0.128M",
         [](const std::string& v, Options* o) { return ReadBitrate(v, &o->audioBitrate); }},
        {Kind::kSourceList, kRun, "", "--clips", "FILE",
         "read sources from FILE, one per line as on the command line (# starts a comment "
         "line; names are relative to FILE's folder)",
         "a file of sources", nullptr},
        {Kind::kSwitch, kRun, "", "--allow-missing", "",
         "a source that cannot be opened or lacks its stream plays as black or silence (a "
         "warning) instead of failing",
         "",
         [](const std::string&, Options* o) {
             o->allowMissing = true;
             return true;
         }},
        {Kind::kSwitch, kRun, "", "--strict", "",
         "such a source is an error (the default; kept for old scripts)", "",
         [](const std::string&, Options* o) {
             o->strict = true;
             return true;
         }},
        {Kind::kValue, kRun, "-v", "--loglevel", "LEVEL",
         "quiet, error, warning, info (default), verbose, debug or trace; FFmpeg's own "
         "messages show at their level, its info lines from verbose on",
         "quiet, panic, fatal, error, warning, info, verbose, debug, trace or a number from -8 "
         "to 56",
         [](const std::string& v, Options* o) { return ReadLogLevel(v, &o->logLevel); }},
        {Kind::kSwitch, kRun, "", "--quiet", "",
         "no progress bar and no summary (warnings still show)", "",
         [](const std::string&, Options* o) {
             o->quiet = true;
             return true;
         }},
        {Kind::kSwitch, kRun, "", "--json", "",
         "print the summary, warnings included, as one JSON object on standard output", "",
         [](const std::string&, Options* o) {
             o->json = true;
             return true;
         }},
        {Kind::kSwitch, kRun, "", "--demo", "",
         "built-in synthetic sources (moving pattern and tone)", "",
         [](const std::string&, Options* o) {
             o->demo = true;
             return true;
         }},
        {Kind::kHelp, kRun, "-h", "--help", "", "this text", "", nullptr},
        {Kind::kVersion, kRun, "", "--version", "",
         "versions of feedcat, the feed library and FFmpeg", "", nullptr},
    };
}

}  // namespace

const std::vector<OptionEntry>& OptionTable() {
    static const std::vector<OptionEntry> table = MakeTable();
    return table;
}

const OptionEntry* FindOption(const std::string& name) {
    for (const OptionEntry& entry : OptionTable()) {
        if (name == entry.longName || (entry.shortName[0] != '\0' && name == entry.shortName)) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace feedcat
