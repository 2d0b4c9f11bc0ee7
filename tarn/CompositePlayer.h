// CompositePlayer: plays one composite's timeline. A producer thread decodes and converts
// ahead into a small bounded queue while a delivery thread hands the queued frames or buffers
// to the acceptor one at a time, so decoding overlaps with the host's callback.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "tarn/CallbackAcceptor.h"
#include "tarn/TimelineProducer.h"

namespace tarn {

class CompositePlayer {
  public:
    // acceptor must outlive the player (the composite holds a reference to it).
    CompositePlayer(std::unique_ptr<TimelineProducer> producer, CallbackAcceptor* acceptor,
                    std::size_t queueDepth);
    // Stops first. May run inside a callback (the host releases the composite there): the
    // delivery thread then ends when the callback returns, without coming back into the player.
    ~CompositePlayer();
    CompositePlayer(const CompositePlayer&) = delete;
    CompositePlayer& operator=(const CompositePlayer&) = delete;

    // Starts the threads on the first call, resumes delivery on later ones. Nothing after Stop.
    void Run();
    // Holds delivery before the next frame or buffer until Run.
    void Pause();
    // Wakes every wait and joins both threads; when it returns no callback runs any more.
    // From the delivery thread itself (a callback) it only asks the threads to end.
    void Stop();
    // True once the last delivery has returned.
    bool Ended() const;
    // True when the timeline ended, or is ending, because a thread could not be started or ran
    // out of memory, rather than at the end of its media.
    bool Failed() const;

  private:
    // The two threads' routines.
    void Produce();
    void Deliver();
    void ProduceAll();
    void DeliverAll();
    void FinishProducing();
    // Tells the acceptor (and through it a sync object) whether this timeline is moving.
    // Called with mutex_ held, which orders it before the acceptor's and the sync's locks.
    void UpdateActive();

    std::unique_ptr<TimelineProducer> producer_;
    CallbackAcceptor* const acceptor_;
    const std::size_t queueDepth_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::unique_ptr<Chunk>> ready_;  // produced, in timeline order
    std::deque<std::unique_ptr<Chunk>> spare_;  // delivered, storage kept for reuse
    bool started_ = false;
    bool paused_ = false;
    bool stopping_ = false;
    bool produced_ = false;  // the producer has made its last delivery
    bool ended_ = false;
    bool failed_ = false;
    std::thread producerThread_;
    std::thread deliveryThread_;
    // The delivery thread's own flag (on its stack), set when the player is destroyed inside
    // a callback; set by the delivery thread before its first callback.
    bool* releasedInCallback_ = nullptr;
};

}  // namespace tarn
