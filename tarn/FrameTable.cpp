#include "tarn/FrameTable.h"

#include <algorithm>
#include <utility>

#include "media/FFmpegHolders.h"
#include "media/MediaInput.h"
#include "media/MediaStreams.h"
#include "tarn/StreamDecoder.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/cpu.h>
}

namespace tarn {

namespace {
// Shown length of a last frame whose duration neither the file nor its frame rate tells, as
// the clip reader takes it.
constexpr AVRational kFallbackFrameLength = {1, 25};

std::int64_t FrameDuration(const AVFrame* frame) {
#if LIBAVUTIL_VERSION_MAJOR >= 58
    return frame->duration;
#else
    return frame->pkt_duration;
#endif
}

bool IsKeyframe(const AVFrame* frame) {
#if LIBAVUTIL_VERSION_MAJOR >= 59 || \
    (LIBAVUTIL_VERSION_MAJOR == 58 && LIBAVUTIL_VERSION_MINOR >= 29)
    return (frame->flags & AV_FRAME_FLAG_KEY) != 0;
#else
    return frame->key_frame != 0;
#endif
}
}  // namespace

bool FrameTable::Scan(const std::string& name, int stream) {
    times_.clear();
    keyframes_.clear();
    std::vector<Entry> entries;
    media::InputPtr input = media::OpenInput(name);
    if (!input || stream < 0 || stream >= static_cast<int>(input->nb_streams) ||
        input->streams[stream]->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
        return false;
    }
    timeBase_ = input->streams[stream]->time_base;
    const AVRational frameRate = media::StreamFrameRate(input->streams[stream]);
    input.reset();
    if (!ReadPackets(name, stream, &entries) && !DecodeFrames(name, stream, &entries)) {
        return false;
    }
    Build(std::move(entries), frameRate);
    return true;
}

// The packets' own timestamps, when they tell every frame's: each packet carries one, the
// stream starts on a keyframe, and no frame is shown before it (open-GOP frames that lean on
// pictures before the file's start, which decoders drop).
bool FrameTable::ReadPackets(const std::string& name, int stream, std::vector<Entry>* entries) {
    media::InputPtr input = media::OpenInput(name);
    media::PacketPtr packet(av_packet_alloc());
    if (!input || !packet) {
        return false;
    }
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        input->streams[i]->discard =
            static_cast<int>(i) == stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    entries->clear();
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        const AVPacket& read = *packet;
        if (read.stream_index == stream && (read.flags & AV_PKT_FLAG_DISCARD) == 0) {
            const bool key = (read.flags & AV_PKT_FLAG_KEY) != 0;
            if (read.pts == AV_NOPTS_VALUE || (entries->empty() && !key) ||
                (!entries->empty() && read.pts < entries->front().time)) {
                av_packet_unref(packet.get());
                return false;
            }
            entries->push_back(Entry{read.pts, std::max<std::int64_t>(read.duration, 0), key});
        }
        av_packet_unref(packet.get());
    }
    return true;
}

// The frames a decoder hands out, timed as the clip reader times them.
bool FrameTable::DecodeFrames(const std::string& name, int stream, std::vector<Entry>* entries) {
    std::unique_ptr<StreamDecoder> decoder = StreamDecoder::Open(
        media::OpenInput(name), AVMEDIA_TYPE_VIDEO, std::max(1, std::min(av_cpu_count(), 16)));
    media::FramePtr frame(av_frame_alloc());
    if (!decoder || !frame || decoder->stream()->index != stream) {
        return false;
    }
    entries->clear();
    while (decoder->Next(frame.get())) {
        std::int64_t time = frame->best_effort_timestamp;
        if (time == AV_NOPTS_VALUE) {
            time = frame->pts;
        }
        if (time == AV_NOPTS_VALUE) {
            // A frame without a time follows the one before it.
            time = entries->empty()
                       ? 0
                       : entries->back().time + std::max<std::int64_t>(entries->back().duration, 1);
        }
        entries->push_back(Entry{time, std::max<std::int64_t>(FrameDuration(frame.get()), 0),
                                 IsKeyframe(frame.get())});
        av_frame_unref(frame.get());
    }
    return true;
}

void FrameTable::Build(std::vector<Entry> entries, AVRational frameRate) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.time < b.time; });
    times_.reserve(entries.size());
    for (const Entry& entry : entries) {
        times_.push_back(entry.time);
        if (entry.key) {
            keyframes_.push_back(entry.time);
        }
    }
    if (entries.empty()) {
        end_ = 0;
        return;
    }
    // The last frame lasts its own duration, else the spacing of the two before it, else a
    // frame at the stream's rate.
    std::int64_t last = entries.back().duration;
    if (last <= 0 && entries.size() >= 2) {
        last = entries.back().time - entries[entries.size() - 2].time;
    }
    if (last <= 0) {
        const AVRational length = frameRate.num > 0 ? av_inv_q(frameRate) : kFallbackFrameLength;
        last = std::max<std::int64_t>(1, av_rescale_q(1, length, timeBase_));
    }
    end_ = entries.back().time + last;
}

std::int64_t FrameTable::LatestAtOrBefore(std::int64_t timestamp) const {
    const auto after = std::upper_bound(times_.begin(), times_.end(), timestamp);
    return static_cast<std::int64_t>(after - times_.begin()) - 1;
}

bool FrameTable::KeyframeBetween(std::int64_t from, std::int64_t to) const {
    const auto next = std::upper_bound(keyframes_.begin(), keyframes_.end(), from);
    return next != keyframes_.end() && *next <= to;
}

}  // namespace tarn
