// StreamDecoder: decodes one stream of an opened input, frame after frame, from the start or
// from a seek point. Damaged packets are skipped; the end of the input (or of what can be
// read of it) ends the stream. Used by one thread at a time.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "media/FFmpegHolders.h"
#include "media/MediaInput.h"

extern "C" {
#include <libavutil/avutil.h>
}

struct AVStream;

namespace tarn {

class StreamDecoder {
  public:
    // Takes the input, picks its best stream of `type` and opens a decoder for it;
    // `threads` as AVCodecContext::thread_count (0: as many as FFmpeg sees fit). Null when the
    // input has no such stream or no decoder can be opened. Audio frames come untrimmed, each
    // with its packet's timestamp: the samples to drop at the start (codec delay, priming) and
    // at the end (padding) are told in AV_FRAME_DATA_SKIP_SAMPLES side data, and frames that
    // lie wholly before the stream's start carry AV_FRAME_FLAG_DISCARD.
    static std::unique_ptr<StreamDecoder> Open(media::InputPtr input, AVMediaType type,
                                               int threads);

    StreamDecoder(const StreamDecoder&) = delete;
    StreamDecoder& operator=(const StreamDecoder&) = delete;
    ~StreamDecoder();

    AVFormatContext* input() const { return input_.get(); }
    AVStream* stream() const { return stream_; }

    // The timestamp (pts, else dts, in the stream's time base) of the stream's first packet,
    // AV_NOPTS_VALUE when it has none or there is none; the packet is kept and decoded first
    // unless a seek follows. Only before the first frame has been decoded.
    std::int64_t FirstPacketTime();

    // Moves to a keyframe at or before `timestamp` (in the stream's time base), so that the
    // frames from there on decode whole; only before the first frame has been decoded. Inputs
    // that cannot seek (lavfi graphs) and times at or before the stream's start stay at the
    // start, which decodes forward to the same place.
    void SeekBefore(std::int64_t timestamp);

    // SeekBefore once frames have been decoded: the decoder is flushed and decoding goes on
    // from the keyframe at or before `timestamp` (the stream's start when that is earlier). No
    // packet is skipped until SkipUnreferencedBefore says so again. False, with nothing
    // changed, for inputs that cannot seek.
    bool SeekAgain(std::int64_t timestamp);

    // Packets whose presentation time lies before `timestamp` (in the stream's time base) are
    // decoded only as far as the frames after them need: frames nothing refers to are skipped
    // and never handed out. For the run up to an in point, whose earlier frames nobody sees.
    void SkipUnreferencedBefore(std::int64_t timestamp) { skipBefore_ = timestamp; }
    // True once a packet was decoded with skipping on (whether or not its frame was skipped).
    bool skippedAny() const { return skippedAny_; }

    // The next decoded frame, replacing what `frame` held; false once the stream has ended.
    bool Next(AVFrame* frame);

    // True when the stream holds a single frame (an image file of one picture). Decodes up to
    // two frames, handed out by Next as ever; only before the first frame has been handed out.
    bool EndsAfterFirstFrame();

  private:
    StreamDecoder(media::InputPtr input, AVStream* stream, media::CodecContextPtr codec,
                  media::PacketPtr packet, media::PacketPtr keyframe);

    // Moves back to the stream's start (`start`, in its time base), to its first keyframe or
    // before its first packet.
    void SeekToStart(std::int64_t start);

    // After a seek: reads up to this stream's first keyframe and keeps it when its time is at
    // or before `timestamp`. False when it is later, or none came.
    bool ReadUpToKeyframe(std::int64_t timestamp);

    // After a seek: empties the decoder, and forgets a frame decoded early and the end.
    void Restart();

    // Decodes the first frame from the kept keyframe on and keeps it to be handed out first;
    // true when it is shown at or before `timestamp`.
    bool FirstFrameShownBy(std::int64_t timestamp);

    // Decodes the next frame into early_; false once the stream has ended.
    bool DecodeEarly();
    // The next decoded frame from the input, past those decoded early.
    bool Decode(AVFrame* frame);

    media::InputPtr input_;
    AVStream* stream_;  // owned by input_
    media::CodecContextPtr codec_;
    media::PacketPtr packet_;
    media::PacketPtr keyframe_;  // found by a seek (or the first packet), decoded first
    bool hasKeyframe_ = false;
    // Decoded ahead (to check a seek point, to tell a single picture), handed out first.
    std::deque<media::FramePtr> early_;
    bool peeked_ = false;  // FirstPacketTime has read the first packet
    // Sends a packet, skipping its frame when nothing refers to it and it lies before
    // skipBefore_.
    void Send(const AVPacket* packet);

    // The palette of the stream's first packet, sent with the first packet after a seek.
    std::vector<std::uint8_t> palette_;
    bool paletteDue_ = false;

    std::int64_t skipBefore_ = AV_NOPTS_VALUE;
    bool skippedAny_ = false;
    bool draining_ = false;  // the end of the input was reached; the decoder hands out the rest
    bool ended_ = false;
};

}  // namespace tarn
