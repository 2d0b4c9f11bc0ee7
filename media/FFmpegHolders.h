// Owning holders for FFmpeg objects: each frees its object exactly once, with the function
// FFmpeg provides for it, when the holder goes out of scope.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace media {

// An opened input (avformat_open_input).
struct InputCloser {
    void operator()(AVFormatContext* input) const { avformat_close_input(&input); }
};
using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;

// An output context; its AVIOContext is owned separately (see IoPtr).
struct OutputContextFreer {
    void operator()(AVFormatContext* output) const { avformat_free_context(output); }
};
using OutputContextPtr = std::unique_ptr<AVFormatContext, OutputContextFreer>;

// An output context that owns the file it opened (avio_open into its pb): both are closed
// together. For writers that open and close a file in one place.
struct OutputFileCloser {
    void operator()(AVFormatContext* output) const {
        if (output->pb != nullptr) {
            avio_closep(&output->pb);
        }
        avformat_free_context(output);
    }
};
using OutputFilePtr = std::unique_ptr<AVFormatContext, OutputFileCloser>;

struct IoCloser {
    void operator()(AVIOContext* io) const { avio_closep(&io); }
};
using IoPtr = std::unique_ptr<AVIOContext, IoCloser>;

struct CodecContextFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFreer>;

struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;

struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;

struct ScalerFreer {
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFreer>;

struct ResamplerFreer {
    void operator()(SwrContext* resampler) const { swr_free(&resampler); }
};
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerFreer>;

struct AudioFifoFreer {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoFreer>;

// An AVChannelLayout owns memory only for custom orders, but is released the same way always.
class ChannelLayout {
  public:
    ChannelLayout() = default;
    ~ChannelLayout() { av_channel_layout_uninit(&layout_); }
    ChannelLayout(const ChannelLayout&) = delete;
    ChannelLayout& operator=(const ChannelLayout&) = delete;

    AVChannelLayout* get() { return &layout_; }
    const AVChannelLayout* get() const { return &layout_; }

  private:
    AVChannelLayout layout_ = {};
};

// Options handed to an FFmpeg open call, which consumes the entries it recognises.
class Dictionary {
  public:
    Dictionary() = default;
    ~Dictionary() { av_dict_free(&dictionary_); }
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;

    bool Set(const char* key, const char* value) {
        return av_dict_set(&dictionary_, key, value, 0) >= 0;
    }
    AVDictionary** address() { return &dictionary_; }

  private:
    AVDictionary* dictionary_ = nullptr;
};

}  // namespace media
