#include "media/MediaInput.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "media/LavfiDevice.h"
#include "media/LavfiGraphCheck.h"
#include "media/MediaStreams.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/avstring.h>
}

namespace media {
namespace {
constexpr const char kLavfiPrefix[] = "lavfi:";
constexpr std::size_t kLavfiPrefixLength = sizeof(kLavfiPrefix) - 1;

// Demuxers that open further files or URLs named inside the file (playlists, manifests, edit
// decision lists, sidecar files), or run scripts. A media file is read on its own.
constexpr const char kRefusedDemuxers[] =
    "avisynth,concat,dash,hls,image2,imf,lavfi,sdp,vobsub,vapoursynth,webm_dash_manifest";

// Every demuxer of this FFmpeg that reads its input from the opened file alone, as a
// comma-separated list for the "format_whitelist" option. Devices and other demuxers that open
// their input themselves (AVFMT_NOFILE) are left out too.
const std::string& FileDemuxers() {
    static const std::string list = [] {
        std::string names;
        void* iterator = nullptr;
        while (const AVInputFormat* format = av_demuxer_iterate(&iterator)) {
            const bool device =
                format->priv_class != nullptr && AV_IS_INPUT_DEVICE(format->priv_class->category);
            if (device || (format->flags & AVFMT_NOFILE) != 0 ||
                av_match_list(format->name, kRefusedDemuxers, ',') != 0) {
                continue;
            }
            if (!names.empty()) {
                names += ',';
            }
            names += format->name;
        }
        return names;
    }();
    return list;
}

InputPtr OpenAndInspect(const char* url, const AVInputFormat* format, Dictionary* options,
                        OpenFailure* why) {
    AVFormatContext* opened = nullptr;
    // On failure avformat_open_input frees what it allocated and leaves `opened` null.
    const int status = avformat_open_input(&opened, url, format, options->address());
    if (status < 0) {
        *why = status == AVERROR(ENOENT)   ? OpenFailure::NotFound
               : status == AVERROR(EACCES) ? OpenFailure::PermissionDenied
                                           : OpenFailure::NotMedia;
        return nullptr;
    }
    InputPtr input(opened);
    // Bounded by the demuxer's probesize (5 MB) and analyzeduration (5 s) defaults.
    if (avformat_find_stream_info(input.get(), nullptr) < 0) {
        *why = OpenFailure::NotMedia;
        return nullptr;
    }
    return input;
}

InputPtr OpenLavfiGraph(const std::string& graph, OpenFailure* why) {
    const AVInputFormat* lavfi = IsAllowedLavfiGraph(graph) ? LavfiInputFormat() : nullptr;
    if (lavfi == nullptr) {
        *why = OpenFailure::NotAllowed;
        return nullptr;
    }
    Dictionary options;
    return OpenAndInspect(graph.c_str(), lavfi, &options, why);
}

// The reader FFmpeg's probe gives the file at `url` among all its readers, as it opens a file
// when no reader is named (by its first bytes and its name's extension). Null when none.
const AVInputFormat* ProbedReader(const char* url) {
    AVIOContext* opened = nullptr;
    Dictionary options;
    if (!options.Set("protocol_whitelist", "file") ||
        avio_open2(&opened, url, AVIO_FLAG_READ, nullptr, options.address()) < 0) {
        return nullptr;
    }
    const AVInputFormat* format = nullptr;
    if (av_probe_input_buffer2(opened, &format, url, nullptr, 0, 0) < 0) {
        format = nullptr;
    }
    avio_closep(&opened);
    return format;
}

// A local file only: a regular file (not a FIFO, device or directory, whose open or read could
// block or never end), opened through FFmpeg's `file` protocol alone. The name is given the
// "file:" prefix, so FFmpeg never reads a protocol out of it: "concat:a|b", "pipe:0" or
// "http://host/x" are paths of local files (that do not exist), and "dir/a:b.mp4" opens as
// named.
InputPtr OpenLocalFile(const std::string& path, OpenFailure* why) {
    struct stat status {};
    if (path.empty() || stat(path.c_str(), &status) != 0) {
        *why = path.empty() || errno == ENOENT || errno == ENOTDIR ? OpenFailure::NotFound
                                                                   : OpenFailure::PermissionDenied;
        return nullptr;
    }
    if (!S_ISREG(status.st_mode)) {
        *why = OpenFailure::NotAllowed;
        return nullptr;
    }
    const std::string url = "file:" + path;
    // FFmpeg gives a lone image file to its image sequence reader, refused below, whenever the
    // name's extension says more than the file's first bytes (a JPEG photo larger than them,
    // or followed by a second picture), and ffmpeg then reads the whole file as one picture. So
    // does that reader here, told to take the name as it stands rather than as a pattern.
    const AVInputFormat* probed = ProbedReader(url.c_str());
    const bool lone = probed != nullptr && std::strcmp(probed->name, kImageSequenceReader) == 0;
    Dictionary options;
    if (!options.Set("protocol_whitelist", "file") ||
        !options.Set("format_whitelist", lone ? kImageSequenceReader : FileDemuxers().c_str()) ||
        (lone && !options.Set("pattern_type", "none"))) {
        *why = OpenFailure::NotMedia;
        return nullptr;
    }
    return OpenAndInspect(url.c_str(), lone ? probed : nullptr, &options, why);
}

std::int32_t ToMilliseconds(std::int64_t value, AVRational timeBase) {
    if (value == AV_NOPTS_VALUE || value < 0) {
        return -1;
    }
    const std::int64_t ms = av_rescale_q(value, timeBase, AVRational{1, 1000});
    return static_cast<std::int32_t>(std::min<std::int64_t>(ms, INT32_MAX));
}

std::int32_t StreamLengthMs(const AVFormatContext* input, const AVStream* stream) {
    const std::int32_t ms = ToMilliseconds(stream->duration, stream->time_base);
    return ms >= 0 ? ms : ToMilliseconds(input->duration, AV_TIME_BASE_Q);
}
}  // namespace

const char* OpenFailureText(OpenFailure failure) {
    switch (failure) {
        case OpenFailure::None:
            return "";
        case OpenFailure::NotFound:
            return "no such file";
        case OpenFailure::PermissionDenied:
            return "permission denied";
        case OpenFailure::NotAllowed:
            return "not a regular local file or an allowed lavfi: graph";
        case OpenFailure::NotMedia:
            return "not a media file this FFmpeg can read";
        case OpenFailure::NoStreams:
            return "holds neither video nor audio";
    }
    return "";
}

InputPtr OpenInput(const std::string& name, OpenFailure* why) {
    OpenFailure failure = OpenFailure::None;
    InputPtr input = name.compare(0, kLavfiPrefixLength, kLavfiPrefix) == 0
                         ? OpenLavfiGraph(name.substr(kLavfiPrefixLength), &failure)
                         : OpenLocalFile(name, &failure);
    if (why != nullptr) {
        *why = failure;
    }
    return input;
}

bool ProbeMedia(const std::string& name, MediaInfo* info, OpenFailure* why) {
    OpenFailure ignored = OpenFailure::None;
    why = why != nullptr ? why : &ignored;
    if (info == nullptr) {
        return false;
    }
    *info = MediaInfo{};
    InputPtr input = OpenInput(name, why);
    if (!input) {
        return false;
    }
    const int video = FindBestStream(input.get(), AVMEDIA_TYPE_VIDEO);
    if (video >= 0) {
        AVStream* stream = input->streams[video];
        info->hasVideo = true;
        info->videoLengthMs = StreamLengthMs(input.get(), stream);
        const int rotation = ShownRotation(input.get(), video);
        const DisplaySize size = DisplayedSize(input.get(), stream, rotation);
        info->displayWidth = size.width;
        info->displayHeight = size.height;
        info->storedWidth = stream->codecpar->width;
        info->storedHeight = stream->codecpar->height;
        const AVRational sar = av_guess_sample_aspect_ratio(input.get(), stream, nullptr);
        if (sar.num > 0 && sar.den > 0) {
            info->sampleAspectNum = sar.num;
            info->sampleAspectDen = sar.den;
        }
        info->rotation = rotation;
        const AVRational rate = StreamFrameRate(stream);
        info->frameRate = rate.num > 0 ? av_q2d(rate) : 0.0;
    }
    const int audio = FindBestStream(input.get(), AVMEDIA_TYPE_AUDIO);
    if (audio >= 0) {
        AVStream* stream = input->streams[audio];
        info->hasAudio = true;
        info->audioLengthMs = StreamLengthMs(input.get(), stream);
        info->sampleRate = stream->codecpar->sample_rate;
    }
    if (!info->hasVideo && !info->hasAudio) {
        *why = OpenFailure::NoStreams;
        return false;
    }
    return true;
}

}  // namespace media
