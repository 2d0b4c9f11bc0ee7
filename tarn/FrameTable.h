// FrameTable: every frame of one video stream in presentation order, with its timestamp, and
// where the keyframes are: what frame i means, how many frames there are, and where a reader
// has to seek. Read from the packets' timestamps (demuxing only); a stream whose packets do not
// all carry one (AVI, raw streams) is decoded once instead, so that the table holds the times
// the decoder hands out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/rational.h>
}

namespace tarn {

class FrameTable {
  public:
    // Reads stream `stream` of `name` (opened as media::OpenInput does) to its end. False, with
    // the table empty, when the file cannot be opened or the stream is not a video stream.
    bool Scan(const std::string& name, int stream);

    // Frames a full decode of the stream yields.
    std::int64_t size() const { return static_cast<std::int64_t>(times_.size()); }
    // Timestamp of frame i, in timeBase (0 <= i < size()).
    std::int64_t time(std::int64_t i) const { return times_[static_cast<std::size_t>(i)]; }
    // Where the last frame stops being shown, in timeBase.
    std::int64_t end() const { return end_; }
    AVRational timeBase() const { return timeBase_; }

    // Index of the latest frame whose timestamp is at or before `timestamp`; -1 when the
    // first frame is later.
    std::int64_t LatestAtOrBefore(std::int64_t timestamp) const;
    // Whether a keyframe lies after `from` and at or before `to` (timestamps).
    bool KeyframeBetween(std::int64_t from, std::int64_t to) const;

  private:
    // A frame's timestamp and whether it is a keyframe, in the order the stream gives them.
    struct Entry {
        std::int64_t time;
        std::int64_t duration;  // 0 when not told
        bool key;
    };
    bool ReadPackets(const std::string& name, int stream, std::vector<Entry>* entries);
    bool DecodeFrames(const std::string& name, int stream, std::vector<Entry>* entries);
    void Build(std::vector<Entry> entries, AVRational frameRate);

    std::vector<std::int64_t> times_;      // sorted
    std::vector<std::int64_t> keyframes_;  // sorted
    std::int64_t end_ = 0;
    AVRational timeBase_ = {1, 1};
};

}  // namespace tarn
