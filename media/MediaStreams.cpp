#include "media/MediaStreams.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

namespace media {
namespace {

bool IsUsable(const AVStream* stream, AVMediaType type) {
    const AVCodecParameters* parameters = stream->codecpar;
    if (parameters->codec_type != type || avcodec_find_decoder(parameters->codec_id) == nullptr) {
        return false;
    }
    if (type == AVMEDIA_TYPE_VIDEO) {
        return (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0 && parameters->width > 0 &&
               parameters->height > 0;
    }
    if (type == AVMEDIA_TYPE_AUDIO) {
        return parameters->sample_rate > 0 && parameters->ch_layout.nb_channels > 0;
    }
    return true;
}

}  // namespace

int FindBestStream(AVFormatContext* input, AVMediaType type) {
    // FFmpeg's choice weighs resolution, frame count and bit rate, but can land on cover art;
    // then the first usable stream of the type is taken instead.
    const int best = av_find_best_stream(input, type, -1, -1, nullptr, 0);
    if (best >= 0 && IsUsable(input->streams[best], type)) {
        return best;
    }
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        if (IsUsable(input->streams[i], type)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int ClockwiseRotation(const AVStream* stream) {
    const std::uint8_t* matrix =
        av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr);
    if (matrix == nullptr) {
        return 0;
    }
    // av_display_rotation_get gives the counter-clockwise angle of the matrix; NaN for a
    // degenerate one.
    const double counterClockwise =
        av_display_rotation_get(reinterpret_cast<const std::int32_t*>(matrix));
    if (std::isnan(counterClockwise)) {
        return 0;
    }
    const long quarters = std::lround(-counterClockwise / 90.0);
    return static_cast<int>(((quarters % 4) + 4) % 4) * 90;
}

DisplaySize DisplayedSize(AVFormatContext* input, AVStream* stream) {
    // The sample aspect ratio stretches the width, kept even; rotation then swaps sides.
    const AVRational sar = av_guess_sample_aspect_ratio(input, stream, nullptr);
    double width = stream->codecpar->width;
    if (sar.num > 0 && sar.den > 0) {
        width = width * sar.num / sar.den;
    }
    DisplaySize size;
    size.width =
        static_cast<std::int32_t>(std::min(2.0 * std::lround(width / 2.0), 1.0 * INT32_MAX));
    size.width = std::max(size.width, 2);
    size.height = stream->codecpar->height;
    const int rotation = ClockwiseRotation(stream);
    if (rotation == 90 || rotation == 270) {
        std::swap(size.width, size.height);
    }
    return size;
}

bool IsStillImage(const AVFormatContext* input) {
    // FFmpeg's single-picture demuxers are its image pipes ("png_pipe", "jpeg_pipe", ...);
    // image sequences (the "image2" demuxer) are not opened at all.
    const char* name = input->iformat != nullptr ? input->iformat->name : nullptr;
    if (name == nullptr) {
        return false;
    }
    const std::string_view format(name);
    constexpr std::string_view kPipe = "_pipe";
    return format.size() > kPipe.size() &&
           format.compare(format.size() - kPipe.size(), kPipe.size(), kPipe) == 0;
}

AVRational StreamFrameRate(const AVStream* stream) {
    AVRational rate = stream->avg_frame_rate;
    if (rate.num <= 0 || rate.den <= 0) {
        rate = stream->r_frame_rate;
    }
    return rate.num > 0 && rate.den > 0 ? rate : AVRational{0, 1};
}

std::int64_t SourceTimeOrigin(const AVFormatContext* input) {
    if (input->start_time == AV_NOPTS_VALUE || input->start_time <= 0) {
        return 0;
    }
    return input->start_time;
}

}  // namespace media
