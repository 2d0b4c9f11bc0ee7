#include "media/MediaStreams.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string_view>
#include <utility>

#include "media/FFmpegHolders.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
}

namespace media {
namespace {

constexpr std::size_t kMatrixBytes = 9 * sizeof(std::int32_t);

// The clockwise rotation of a display matrix, in quarter turns as degrees.
int RotationOf(const std::uint8_t* bytes) {
    std::int32_t matrix[9];
    std::memcpy(matrix, bytes, kMatrixBytes);
    // A mirrored picture (negative determinant) is shown upright and mirrored: the matrix
    // without its mirror is the turn. Without this a mirror reads as a half turn.
    const double determinant =
        static_cast<double>(matrix[0]) * matrix[4] - static_cast<double>(matrix[1]) * matrix[3];
    if (determinant < 0) {
        av_display_matrix_flip(matrix, 1, 0);
    }
    // av_display_rotation_get gives the counter-clockwise angle of the matrix; NaN for a
    // degenerate one.
    const double counterClockwise = av_display_rotation_get(matrix);
    if (std::isnan(counterClockwise)) {
        return 0;
    }
    const long quarters = std::lround(-counterClockwise / 90.0);
    return static_cast<int>(((quarters % 4) + 4) % 4) * 90;
}

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
    std::size_t size = 0;
    const std::uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    return matrix != nullptr && size >= kMatrixBytes ? RotationOf(matrix) : 0;
}

int ClockwiseRotation(const AVStream* stream, const AVFrame* picture) {
    const AVFrameSideData* side =
        picture != nullptr ? av_frame_get_side_data(picture, AV_FRAME_DATA_DISPLAYMATRIX) : nullptr;
    if (side != nullptr && side->size >= kMatrixBytes) {
        return RotationOf(side->data);
    }
    return ClockwiseRotation(stream);
}

int ShownRotation(AVFormatContext* input, int index) {
    AVStream* stream = input->streams[index];
    if (!IsStillImage(input)) {
        return ClockwiseRotation(stream);
    }
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    CodecContextPtr codec(decoder != nullptr ? avcodec_alloc_context3(decoder) : nullptr);
    PacketPtr packet(av_packet_alloc());
    FramePtr picture(av_frame_alloc());
    if (!codec || !packet || !picture ||
        avcodec_parameters_to_context(codec.get(), stream->codecpar) < 0) {
        return ClockwiseRotation(stream);
    }
    // Only what the picture carries is wanted: decoders that can decode at a fraction of the
    // size (JPEG, to an eighth) do.
    codec->lowres = decoder->max_lowres;
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0) {
        return ClockwiseRotation(stream);
    }
    while (av_read_frame(input, packet.get()) >= 0) {
        const bool ours = packet->stream_index == index;
        const bool sent = ours && avcodec_send_packet(codec.get(), packet.get()) >= 0;
        av_packet_unref(packet.get());
        if (sent) {
            avcodec_send_packet(codec.get(), nullptr);
            break;
        }
    }
    const bool decoded = avcodec_receive_frame(codec.get(), picture.get()) >= 0;
    return ClockwiseRotation(stream, decoded ? picture.get() : nullptr);
}

DisplaySize DisplayedSize(AVFormatContext* input, AVStream* stream, int rotation) {
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
    if (rotation == 90 || rotation == 270) {
        std::swap(size.width, size.height);
    }
    return size;
}

bool IsStillImage(const AVFormatContext* input) {
    // FFmpeg's image file readers are its image pipes ("png_pipe", "jpeg_pipe", ...) and, for a
    // lone file it takes whole, its image sequence reader.
    const char* name = input->iformat != nullptr ? input->iformat->name : nullptr;
    if (name == nullptr) {
        return false;
    }
    const std::string_view format(name);
    constexpr std::string_view kPipe = "_pipe";
    return ReadsAsOnePicture(input) ||
           (format.size() > kPipe.size() &&
            format.compare(format.size() - kPipe.size(), kPipe.size(), kPipe) == 0);
}

bool ReadsAsOnePicture(const AVFormatContext* input) {
    return input->iformat != nullptr && input->iformat->name != nullptr &&
           std::strcmp(input->iformat->name, kImageSequenceReader) == 0;
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
