#include "tarn/CompositePlayer.h"

#include <utility>

#include "media/ThreadNames.h"

namespace tarn {

CompositePlayer::CompositePlayer(std::unique_ptr<TimelineProducer> producer,
                                 CallbackAcceptor* acceptor, std::size_t queueDepth)
    : producer_(std::move(producer)), acceptor_(acceptor), queueDepth_(queueDepth) {}

CompositePlayer::~CompositePlayer() {
    Stop();
    // Released from inside its own callback: the thread cannot join itself. It ends by itself
    // as soon as the callback returns, told through releasedInCallback_ not to come back into
    // this player.
    if (deliveryThread_.joinable()) {
        *releasedInCallback_ = true;
        deliveryThread_.detach();
    }
}

void CompositePlayer::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (stopping_) {
        return;
    }
    paused_ = false;
    if (!started_) {
        started_ = true;
        try {
            producerThread_ = std::thread(&CompositePlayer::Produce, this);
            deliveryThread_ = std::thread(&CompositePlayer::Deliver, this);
        } catch (...) {
            // Without its threads the timeline cannot play: it ends at once.
            stopping_ = true;
            ended_ = true;
            failed_ = true;
        }
    }
    UpdateActive();
    lock.unlock();
    changed_.notify_all();
}

void CompositePlayer::Pause() {
    std::lock_guard<std::mutex> lock(mutex_);
    paused_ = true;
    UpdateActive();
}

void CompositePlayer::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        UpdateActive();  // wakes a chunk waiting in the sync object
    }
    producer_->Interrupt();  // a decode in progress, or the next clip's preparation, gives up
    changed_.notify_all();
    if (producerThread_.joinable()) {
        producerThread_.join();
    }
    if (deliveryThread_.joinable() && deliveryThread_.get_id() != std::this_thread::get_id()) {
        deliveryThread_.join();
    }
}

bool CompositePlayer::Ended() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return ended_;
}

bool CompositePlayer::Failed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failed_;
}

void CompositePlayer::UpdateActive() {
    if (acceptor_ != nullptr) {
        acceptor_->SetActive(started_ && !paused_ && !stopping_ && !ended_);
    }
}

// Running out of memory on either thread (a frame, a queue slot) ends the timeline as its end
// would: no exception may leave an engine thread.
void CompositePlayer::Produce() {
    media::NameThisThread("tarn-produce");
    try {
        ProduceAll();
    } catch (...) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            failed_ = true;
        }
        FinishProducing();
    }
}

void CompositePlayer::Deliver() {
    media::NameThisThread("tarn-deliver");
    try {
        DeliverAll();
    } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        ended_ = true;
        failed_ = true;
        UpdateActive();
    }
}

void CompositePlayer::FinishProducing() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        produced_ = true;
    }
    changed_.notify_all();
}

void CompositePlayer::ProduceAll() {
    for (;;) {
        std::unique_ptr<Chunk> chunk;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || ready_.size() < queueDepth_; });
            if (stopping_) {
                return;
            }
            if (!spare_.empty()) {
                chunk = std::move(spare_.front());
                spare_.pop_front();
            }
        }
        if (!chunk) {
            chunk = std::make_unique<Chunk>();
        }
        // Decoding and conversion run outside the lock.
        if (!producer_->Next(*chunk)) {
            FinishProducing();
            return;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ready_.push_back(std::move(chunk));
        }
        changed_.notify_all();
    }
}

void CompositePlayer::DeliverAll() {
    // Set by the destructor should a callback release the player: the destructor then runs on
    // this thread, inside the callback, and nothing of the player may be touched once it
    // returns. Only this thread writes or reads it.
    bool released = false;
    releasedInCallback_ = &released;
    const void* record = producer_->FormatRecord();
    std::unique_ptr<Chunk> delivered;
    for (;;) {
        std::unique_ptr<Chunk> chunk;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (delivered) {
                spare_.push_back(std::move(delivered));
            }
            changed_.wait(
                lock, [&] { return stopping_ || (!paused_ && (!ready_.empty() || produced_)); });
            if (stopping_) {
                return;
            }
            if (ready_.empty()) {
                ended_ = true;  // produced_ and nothing left: the last chunk has returned
                UpdateActive();
                return;
            }
            chunk = std::move(ready_.front());
            ready_.pop_front();
        }
        changed_.notify_all();  // room in the queue for the producer
        if (acceptor_ != nullptr) {
            acceptor_->Deliver(record, chunk->bytes.data(),
                               static_cast<std::int32_t>(chunk->bytes.size()), chunk->start,
                               chunk->duration);
            if (released) {
                return;
            }
        }
        delivered = std::move(chunk);
    }
}

}  // namespace tarn
