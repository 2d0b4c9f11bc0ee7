#include "media/MediaInput.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>

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

InputPtr OpenAndInspect(const char* url, const AVInputFormat* format, Dictionary* options) {
    AVFormatContext* opened = nullptr;
    // On failure avformat_open_input frees what it allocated and leaves `opened` null.
    if (avformat_open_input(&opened, url, format, options->address()) < 0) {
        return nullptr;
    }
    InputPtr input(opened);
    // Bounded by the demuxer's probesize (5 MB) and analyzeduration (5 s) defaults.
    if (avformat_find_stream_info(input.get(), nullptr) < 0) {
        return nullptr;
    }
    return input;
}

InputPtr OpenLavfiGraph(const std::string& graph) {
    if (!IsAllowedLavfiGraph(graph)) {
        return nullptr;
    }
    const AVInputFormat* lavfi = LavfiInputFormat();
    if (lavfi == nullptr) {
        return nullptr;
    }
    Dictionary options;
    return OpenAndInspect(graph.c_str(), lavfi, &options);
}

// A local file only: a regular file (not a FIFO, device or directory, whose open or read could
// block or never end), opened through FFmpeg's `file` protocol alone. The name is given the
// "file:" prefix, so FFmpeg never reads a protocol out of it: "concat:a|b", "pipe:0" or
// "http://host/x" are paths of local files (that do not exist), and "dir/a:b.mp4" opens as
// named.
InputPtr OpenLocalFile(const std::string& path) {
    struct stat status {};
    if (path.empty() || stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return nullptr;
    }
    Dictionary options;
    if (!options.Set("protocol_whitelist", "file") ||
        !options.Set("format_whitelist", FileDemuxers().c_str())) {
        return nullptr;
    }
    const std::string url = "file:" + path;
    return OpenAndInspect(url.c_str(), nullptr, &options);
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

InputPtr OpenInput(const std::string& name) {
    if (name.compare(0, kLavfiPrefixLength, kLavfiPrefix) == 0) {
        return OpenLavfiGraph(name.substr(kLavfiPrefixLength));
    }
    return OpenLocalFile(name);
}

bool ProbeMedia(const std::string& name, MediaInfo* info) {
    if (info == nullptr) {
        return false;
    }
    *info = MediaInfo{};
    InputPtr input = OpenInput(name);
    if (!input) {
        return false;
    }
    const int video = FindBestStream(input.get(), AVMEDIA_TYPE_VIDEO);
    if (video >= 0) {
        AVStream* stream = input->streams[video];
        info->hasVideo = true;
        info->videoLengthMs = StreamLengthMs(input.get(), stream);
        // The sample aspect ratio stretches the width, kept even; rotation then swaps sides.
        const AVRational sar = av_guess_sample_aspect_ratio(input.get(), stream, nullptr);
        double width = stream->codecpar->width;
        if (sar.num > 0 && sar.den > 0) {
            width = width * sar.num / sar.den;
        }
        std::int32_t displayWidth =
            static_cast<std::int32_t>(std::min(2.0 * std::lround(width / 2.0), 1.0 * INT32_MAX));
        std::int32_t displayHeight = stream->codecpar->height;
        displayWidth = std::max(displayWidth, 2);
        const int rotation = ClockwiseRotation(stream);
        if (rotation == 90 || rotation == 270) {
            std::swap(displayWidth, displayHeight);
        }
        info->displayWidth = displayWidth;
        info->displayHeight = displayHeight;
        info->storedWidth = stream->codecpar->width;
        info->storedHeight = stream->codecpar->height;
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
    return info->hasVideo || info->hasAudio;
}

}  // namespace media
