#include "tarn/StreamDecoder.h"

#include <cstring>
#include <limits>
#include <utility>

#include "media/MediaStreams.h"
#include "media/ThreadNames.h"

extern "C" {
#include <libavformat/avformat.h>
}

namespace tarn {

namespace {
// Decoding errors in a row, with no packet read between them, after which a stream is taken
// to have ended rather than asking a decoder that keeps failing forever.
constexpr int kMaxFailuresInARow = 64;

// Seeks tried before decoding from the start: the last goes back 2^(n-2) seconds more.
constexpr int kSeekAttempts = 8;

// Packets read after a seek in search of a keyframe before giving up on that seek point, for
// streams whose packets carry no timestamps to tell when the time asked for has passed.
constexpr int kMaxPacketsToKeyframe = 4096;
}  // namespace

std::unique_ptr<StreamDecoder> StreamDecoder::Open(media::InputPtr input, AVMediaType type,
                                                   int threads) {
    if (!input) {
        return nullptr;
    }
    const int index = media::FindBestStream(input.get(), type);
    if (index < 0) {
        return nullptr;
    }
    AVStream* stream = input->streams[index];
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (decoder == nullptr) {
        return nullptr;
    }
    media::CodecContextPtr codec(avcodec_alloc_context3(decoder));
    media::PacketPtr packet(av_packet_alloc());
    media::PacketPtr keyframe(av_packet_alloc());
    if (!codec || !packet || !keyframe ||
        avcodec_parameters_to_context(codec.get(), stream->codecpar) < 0) {
        return nullptr;
    }
    codec->pkt_timebase = stream->time_base;
    if (type == AVMEDIA_TYPE_AUDIO) {
        // The decoder would move a trimmed frame's timestamp by the trimmed samples rounded to
        // the time base, a millisecond in Matroska; the reader trims and places them itself.
        codec->flags2 |= AV_CODEC_FLAG2_SKIP_MANUAL;
    }
    codec->thread_count = threads;
    codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    {
        const media::NameForNewThreads workers(type == AVMEDIA_TYPE_VIDEO ? "tarn-decode-v"
                                                                          : "tarn-decode-a");
        if (avcodec_open2(codec.get(), decoder, nullptr) < 0) {
            return nullptr;
        }
    }
    // The demuxer skips the other streams' packets instead of handing them over.
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        if (static_cast<int>(i) != index) {
            input->streams[i]->discard = AVDISCARD_ALL;
        }
    }
    std::unique_ptr<StreamDecoder> opened(new StreamDecoder(
        std::move(input), stream, std::move(codec), std::move(packet), std::move(keyframe)));
    // A palette from the file's header (AVI, QuickTime) comes with the stream's first packet
    // only; a seek would pass it by, and the decoder would paint with a default one. It is
    // read now and sent again with the first packet after each seek.
    const AVCodecParameters* parameters = stream->codecpar;
    if (type == AVMEDIA_TYPE_VIDEO &&
        (parameters->format == AV_PIX_FMT_PAL8 ||
         (parameters->bits_per_coded_sample > 0 && parameters->bits_per_coded_sample <= 8))) {
        opened->FirstPacketTime();
        if (opened->hasKeyframe_) {
            std::size_t size = 0;
            const std::uint8_t* palette =
                av_packet_get_side_data(opened->keyframe_.get(), AV_PKT_DATA_PALETTE, &size);
            if (palette != nullptr) {
                opened->palette_.assign(palette, palette + size);
            }
        }
    }
    return opened;
}

StreamDecoder::StreamDecoder(media::InputPtr input, AVStream* stream, media::CodecContextPtr codec,
                             media::PacketPtr packet, media::PacketPtr keyframe)
    : input_(std::move(input)),
      stream_(stream),
      codec_(std::move(codec)),
      packet_(std::move(packet)),
      keyframe_(std::move(keyframe)) {}

// Members go in reverse order: packets, decoder (joining its threads), then the input.
StreamDecoder::~StreamDecoder() = default;

std::int64_t StreamDecoder::FirstPacketTime() {
    if (!peeked_) {
        peeked_ = true;
        for (int read = 0; read < kMaxPacketsToKeyframe; ++read) {
            if (av_read_frame(input_.get(), packet_.get()) < 0) {
                break;
            }
            if (packet_->stream_index == stream_->index) {
                av_packet_move_ref(keyframe_.get(), packet_.get());
                hasKeyframe_ = true;
                break;
            }
            av_packet_unref(packet_.get());
        }
    }
    if (!hasKeyframe_) {
        return AV_NOPTS_VALUE;
    }
    return keyframe_->pts != AV_NOPTS_VALUE ? keyframe_->pts : keyframe_->dts;
}

void StreamDecoder::SeekBefore(std::int64_t timestamp) {
    // Without an AVIOContext the input reads itself (lavfi); FFmpeg's generic seek would then
    // work on a null context.
    if (input_->pb == nullptr) {
        return;
    }
    const std::int64_t start = stream_->start_time == AV_NOPTS_VALUE ? 0 : stream_->start_time;
    if (timestamp <= start) {
        return;
    }
    // A packet held from before the seek is no longer next.
    av_packet_unref(keyframe_.get());
    hasKeyframe_ = false;
    paletteDue_ = !palette_.empty();
    // Files with an index (MP4, Matroska) land on the keyframe asked for. Others (MPEG-TS,
    // MPEG-PS) are searched by timestamp and may land anywhere: then the seek goes further
    // back, one second, two, four..., until a keyframe at or before the time comes first.
    const std::int64_t second = av_rescale_q(1, AVRational{1, 1}, stream_->time_base);
    std::int64_t target = timestamp;
    std::int64_t backoff = second;
    for (int attempt = 0; attempt < kSeekAttempts && target > start; ++attempt) {
        if (av_seek_frame(input_.get(), stream_->index, target, AVSEEK_FLAG_BACKWARD) < 0) {
            break;
        }
        Restart();
        if (!ReadUpToKeyframe(timestamp)) {
            target = timestamp - backoff;
            backoff *= 2;
            continue;
        }
        // A keyframe whose packet carries only a decode time (AVI) may be shown frames after
        // it, past the time asked for: then the keyframe before it is the one to start from.
        const std::int64_t decodeTime = keyframe_->dts;
        if (keyframe_->pts != AV_NOPTS_VALUE || decodeTime == AV_NOPTS_VALUE ||
            FirstFrameShownBy(timestamp)) {
            return;
        }
        target = std::min(decodeTime - 1, timestamp - backoff);
    }
    // Decoded from the start instead: slower, never wrong.
    SeekToStart(start);
}

void StreamDecoder::Restart() {
    avcodec_flush_buffers(codec_.get());
    early_.clear();
    draining_ = false;
    ended_ = false;
}

bool StreamDecoder::DecodeEarly() {
    media::FramePtr decoded(av_frame_alloc());
    if (!decoded || !Decode(decoded.get())) {
        return false;
    }
    early_.push_back(std::move(decoded));
    return true;
}

bool StreamDecoder::FirstFrameShownBy(std::int64_t timestamp) {
    if (!DecodeEarly()) {
        return false;
    }
    const AVFrame* first = early_.front().get();
    const std::int64_t time =
        first->best_effort_timestamp != AV_NOPTS_VALUE ? first->best_effort_timestamp : first->pts;
    // Without a time (the last picture, drained at the end) it may be anywhere after.
    return time != AV_NOPTS_VALUE && time <= timestamp;
}

bool StreamDecoder::SeekAgain(std::int64_t timestamp) {
    if (input_->pb == nullptr) {
        return false;
    }
    draining_ = false;
    ended_ = false;
    skipBefore_ = AV_NOPTS_VALUE;
    skippedAny_ = false;
    const std::int64_t start = stream_->start_time == AV_NOPTS_VALUE ? 0 : stream_->start_time;
    if (timestamp > start) {
        SeekBefore(timestamp);
        return true;
    }
    av_packet_unref(keyframe_.get());
    hasKeyframe_ = false;
    paletteDue_ = !palette_.empty();
    SeekToStart(start);
    return true;
}

void StreamDecoder::SeekToStart(std::int64_t start) {
    // With an index (MP4, Matroska) a seek to the start time lands on the first keyframe.
    av_seek_frame(input_.get(), stream_->index, start, AVSEEK_FLAG_BACKWARD);
    Restart();
    if (ReadUpToKeyframe(start)) {
        return;
    }
    // Without one (MPEG-TS, MPEG-PS) the seek searches for the first packet decoded at or after
    // that time, and with B-frames the first keyframe is decoded before the stream's start time:
    // the search lands on the second. The first byte of the data comes before every packet.
    constexpr std::int64_t kAnyTime = std::numeric_limits<std::int64_t>::max();
    if (av_seek_frame(input_.get(), stream_->index, 0, AVSEEK_FLAG_BYTE) >= 0) {
        Restart();
        if (ReadUpToKeyframe(kAnyTime)) {
            return;
        }
    }
    // Where the first byte is no place to read packets from (a Matroska header), the first
    // keyframe came later than the start time, which FFmpeg may take from the other streams
    // (a short H.264 stream with B-frames that starts after the sound): the seek to the start
    // lands on it, and it is kept.
    av_seek_frame(input_.get(), stream_->index, start, AVSEEK_FLAG_BACKWARD);
    Restart();
    ReadUpToKeyframe(kAnyTime);
}

bool StreamDecoder::ReadUpToKeyframe(std::int64_t timestamp) {
    for (int read = 0; read < kMaxPacketsToKeyframe; ++read) {
        if (av_read_frame(input_.get(), packet_.get()) < 0) {
            return false;
        }
        if (packet_->stream_index != stream_->index) {
            av_packet_unref(packet_.get());
            continue;
        }
        const std::int64_t time = packet_->pts != AV_NOPTS_VALUE ? packet_->pts : packet_->dts;
        if ((packet_->flags & AV_PKT_FLAG_KEY) != 0) {
            // Kept to be decoded first; frames from it on are whole.
            if (time == AV_NOPTS_VALUE || time <= timestamp) {
                av_packet_move_ref(keyframe_.get(), packet_.get());
                hasKeyframe_ = true;
                return true;
            }
            av_packet_unref(packet_.get());
            return false;  // the first keyframe is later than the time asked for
        }
        // Frames before the first keyframe cannot be decoded whole.
        const bool passed = packet_->dts != AV_NOPTS_VALUE && packet_->dts > timestamp;
        av_packet_unref(packet_.get());
        if (passed) {
            return false;
        }
    }
    return false;
}

void StreamDecoder::Send(const AVPacket* packet) {
    if (paletteDue_) {
        paletteDue_ = false;
        std::size_t size = 0;
        if (av_packet_get_side_data(packet, AV_PKT_DATA_PALETTE, &size) == nullptr) {
            media::PacketPtr withPalette(av_packet_clone(packet));
            std::uint8_t* palette =
                withPalette ? av_packet_new_side_data(withPalette.get(), AV_PKT_DATA_PALETTE,
                                                      palette_.size())
                            : nullptr;
            if (palette != nullptr) {
                std::memcpy(palette, palette_.data(), palette_.size());
                Send(withPalette.get());
                return;
            }
        }
    }
    const bool skip =
        skipBefore_ != AV_NOPTS_VALUE && packet->pts != AV_NOPTS_VALUE && packet->pts < skipBefore_;
    // Read per packet, also by frame threads, which take the setting with the packet.
    codec_->skip_frame = skip ? AVDISCARD_NONREF : AVDISCARD_DEFAULT;
    skippedAny_ = skippedAny_ || skip;
    avcodec_send_packet(codec_.get(), packet);
}

bool StreamDecoder::EndsAfterFirstFrame() {
    while (early_.size() < 2 && DecodeEarly()) {
    }
    return early_.size() == 1;
}

bool StreamDecoder::Next(AVFrame* frame) {
    if (!early_.empty()) {
        av_frame_unref(frame);
        av_frame_move_ref(frame, early_.front().get());
        early_.pop_front();
        return true;
    }
    return Decode(frame);
}

bool StreamDecoder::Decode(AVFrame* frame) {
    int failures = 0;
    while (!ended_) {
        const int received = avcodec_receive_frame(codec_.get(), frame);
        if (received >= 0) {
            return true;
        }
        if (received == AVERROR_EOF) {
            break;
        }
        if (received != AVERROR(EAGAIN)) {
            // A frame that failed to decode; the decoder goes on with the next one.
            if (++failures >= kMaxFailuresInARow) {
                break;
            }
            continue;
        }
        if (draining_) {
            break;  // drained, though the decoder did not say so
        }
        if (hasKeyframe_) {
            hasKeyframe_ = false;
            Send(keyframe_.get());
            av_packet_unref(keyframe_.get());
            continue;
        }
        if (av_read_frame(input_.get(), packet_.get()) < 0) {
            // End of file, a read error or a truncated file: hand out what is buffered.
            draining_ = true;
            avcodec_send_packet(codec_.get(), nullptr);
            continue;
        }
        if (packet_->stream_index == stream_->index) {
            // A damaged packet is dropped; the next keyframe brings the picture back.
            Send(packet_.get());
            failures = 0;
        }
        av_packet_unref(packet_.get());
    }
    ended_ = true;
    av_frame_unref(frame);
    return false;
}

}  // namespace tarn
