#include "SourceProbe.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <mutex>

#include "FfmpegHolders.h"
#include "LavfiGraphCheck.h"

extern "C" {
#include <libavdevice/avdevice.h>
}

namespace feedcat {
namespace {

constexpr const char kLavfiPrefix[] = "lavfi:";
constexpr std::size_t kLavfiPrefixLength = sizeof(kLavfiPrefix) - 1;

InputPtr OpenInput(const std::string& name) {
    AVFormatContext* opened = nullptr;
    Dictionary options;
    if (name.compare(0, kLavfiPrefixLength, kLavfiPrefix) == 0) {
        const std::string graph = name.substr(kLavfiPrefixLength);
        if (!IsSelfContainedGraph(graph)) {
            return nullptr;
        }
        static std::once_flag registered;
        std::call_once(registered, [] { avdevice_register_all(); });
        const AVInputFormat* lavfi = av_find_input_format("lavfi");
        if (lavfi == nullptr ||
            avformat_open_input(&opened, graph.c_str(), lavfi, options.address()) < 0) {
            return nullptr;
        }
    } else {
        struct stat status {};
        if (name.empty() || stat(name.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
            return nullptr;
        }
        if (!options.Set("protocol_whitelist", "file")) {
            return nullptr;
        }
        const std::string url = "file:" + name;
        if (avformat_open_input(&opened, url.c_str(), nullptr, options.address()) < 0) {
            return nullptr;
        }
    }
    InputPtr input(opened);
    if (avformat_find_stream_info(input.get(), nullptr) < 0) {
        return nullptr;
    }
    return input;
}

std::int32_t ToMs(std::int64_t value, AVRational timeBase) {
    if (value == AV_NOPTS_VALUE || value <= 0) {
        return -1;
    }
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(av_rescale_q(value, timeBase, AVRational{1, 1000}), INT32_MAX));
}

}  // namespace

ProbeInfo ProbeSource(const std::string& name) {
    ProbeInfo info;
    InputPtr input = OpenInput(name);
    if (!input) {
        return info;
    }
    std::int32_t length = ToMs(input->duration, AV_TIME_BASE_Q);
    const int video = av_find_best_stream(input.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (video >= 0) {
        const AVStream* stream = input->streams[video];
        info.hasVideo = true;
        info.width = stream->codecpar->width;
        info.height = stream->codecpar->height;
        AVRational rate = stream->avg_frame_rate;
        if (rate.num <= 0 || rate.den <= 0) {
            rate = stream->r_frame_rate;
        }
        info.fps = (rate.num > 0 && rate.den > 0) ? av_q2d(rate) : 0.0;
        length = std::max(length, ToMs(stream->duration, stream->time_base));
    }
    const int audio = av_find_best_stream(input.get(), AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
    if (audio >= 0) {
        const AVStream* stream = input->streams[audio];
        info.hasAudio = true;
        info.sampleRate = stream->codecpar->sample_rate;
        length = std::max(length, ToMs(stream->duration, stream->time_base));
    }
    info.opened = info.hasVideo || info.hasAudio;
    info.lengthMs = length;
    return info;
}

}  // namespace feedcat
