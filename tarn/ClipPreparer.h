// ClipPreparer: gets the next clip of a timeline ready on a thread of its own while the current
// clip plays: its file opened, sought and decoded up to its in point, so that the timeline does
// not wait at the join. One clip is prepared at a time, so a timeline holds at most two clips'
// files open: the one playing and the next.
//
// Used by one timeline's producer thread; the preparation runs on a thread the preparer owns
// and joins. A reader's Prepare() must give up soon once its timeline is stopping (the flag in
// its setup), so that joining never holds up a stop.
#pragma once

#include <memory>
#include <thread>
#include <utility>

#include "media/ThreadNames.h"

namespace tarn {

template <typename Reader>
class ClipPreparer {
  public:
    ClipPreparer() = default;
    ~ClipPreparer() { Discard(); }
    ClipPreparer(const ClipPreparer&) = delete;
    ClipPreparer& operator=(const ClipPreparer&) = delete;

    // Starts preparing `reader` as clip `clip` of the timeline, dropping a clip still held.
    // Without a thread to spare the reader is kept as it is and opens when first read.
    void Begin(int clip, std::unique_ptr<Reader> reader) {
        Discard();
        clip_ = clip;
        reader_ = std::move(reader);
        try {
            thread_ = std::thread([this] {
                media::NameThisThread("tarn-prepare");
                PrepareReader();
            });
        } catch (...) {
            // No thread: the clip opens when it is due, as it would without a preparer.
        }
    }

    // The reader of clip `clip`, prepared, once its preparation has finished; null when
    // another clip (or none) was begun, or the preparation failed.
    std::unique_ptr<Reader> Take(int clip) {
        Join();
        if (clip != clip_) {
            return nullptr;
        }
        clip_ = -1;
        return std::move(reader_);
    }

    // Names the clip to prepare once the one playing has started (-1: none), so that the two
    // do not compete for the cores while it starts.
    void Schedule(int clip) { scheduled_ = clip; }

    // Begins the scheduled clip, if one is waiting, with the reader makeReader(clip) gives.
    template <typename MakeReader>
    void BeginScheduled(MakeReader makeReader) {
        if (scheduled_ >= 0) {
            const int clip = scheduled_;
            scheduled_ = -1;
            Begin(clip, makeReader(clip));
        }
    }

    // Waits for a preparation in progress and drops what it made.
    void Discard() {
        Join();
        clip_ = -1;
        reader_.reset();
    }

  private:
    void PrepareReader() {
        try {
            reader_->Prepare();
        } catch (...) {
            // Out of memory halfway through: the reader's state is unknown, so it is dropped
            // and the timeline opens the clip again when it is due.
            reader_.reset();
        }
    }

    void Join() {
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    int clip_ = -1;
    int scheduled_ = -1;
    // Written by the preparing thread until it is joined; by the owner otherwise.
    std::unique_ptr<Reader> reader_;
    std::thread thread_;
};

}  // namespace tarn
