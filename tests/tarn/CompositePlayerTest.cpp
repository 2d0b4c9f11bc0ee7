// The player's two threads: every delivery in order, decoding bounded ahead of delivery,
// pause holding delivery, stop ending it for good, and the end reported after the last one.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "tarn/CompositePlayer.h"
#include "tests/support/Waiting.h"

namespace tarn {

namespace {

using namespace std::chrono_literals;

// A timeline of `count` one-byte deliveries whose byte is their index.
class CountingProducer final : public TimelineProducer {
  public:
    explicit CountingProducer(int count, std::atomic<int>* produced)
        : count_(count), produced_(produced) {}
    bool Next(Chunk& out) override {
        if (next_ == count_) {
            return false;
        }
        out.bytes.assign(1, static_cast<std::uint8_t>(next_));
        out.start = next_ * 400'000LL;
        out.duration = 400'000;
        ++next_;
        ++*produced_;
        return true;
    }
    const void* FormatRecord() const override { return &record_; }

  private:
    int count_;
    int next_ = 0;
    std::atomic<int>* produced_;
    BITMAPINFOHEADER record_{40, 1, 1, 1, 32, 0, 4, 0, 0, 0, 0};
};

struct Host {
    std::mutex mutex;
    std::vector<int> seen;
    std::atomic<int> delivered{0};
    std::atomic<int> afterStop{0};
    std::atomic<bool> stopped{false};
    std::atomic<int> holdMs{0};
    std::atomic<int>* produced = nullptr;
    int maxAhead = 0;  // most produced-but-undelivered deliveries seen by a callback
    CompositePlayer* stopFromCallback = nullptr;
    std::unique_ptr<CompositePlayer>* releaseFromCallback = nullptr;
    // Set once Run has returned: a host releases the player only when no call of its own is in it.
    std::atomic<bool> mayRelease{false};
};

std::intptr_t TARN_CALL Receive(void* context, const void*, std::uint8_t* data, std::int32_t,
                                std::int64_t, std::int64_t) {
    auto& host = *static_cast<Host*>(context);
    if (host.stopped) {
        ++host.afterStop;
    }
    {
        std::lock_guard<std::mutex> lock(host.mutex);
        host.seen.push_back(data[0]);
        host.maxAhead = std::max(host.maxAhead, host.produced->load() - host.delivered.load());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(host.holdMs.load()));
    if (host.stopFromCallback != nullptr && host.delivered == 2) {
        host.stopFromCallback->Stop();  // must not wait for this very callback
    }
    if (host.releaseFromCallback != nullptr && host.delivered == 2) {
        while (!host.mayRelease) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        host.releaseFromCallback->reset();  // the delivery thread must not come back into it
    }
    ++host.delivered;
    return 0;
}

class CompositePlayerTest : public ::testing::Test {
  protected:
    CompositePlayerTest() : acceptor_(new CallbackAcceptor(Receive, &host_)) {
        host_.produced = &produced_;
    }
    ~CompositePlayerTest() override { acceptor_->Release(); }

    std::unique_ptr<CompositePlayer> MakePlayer(int count, std::size_t depth = 3) {
        return std::make_unique<CompositePlayer>(
            std::make_unique<CountingProducer>(count, &produced_), acceptor_, depth);
    }

    Host host_;
    std::atomic<int> produced_{0};
    CallbackAcceptor* acceptor_;
};

TEST_F(CompositePlayerTest, DeliversEverythingInOrderWithDecodingBoundedAhead) {
    host_.holdMs = 2;
    auto player = MakePlayer(40, 3);
    EXPECT_FALSE(player->Ended());
    player->Run();
    ASSERT_TRUE(support::Eventually([&] { return player->Ended(); }));
    std::vector<int> expected(40);
    for (int i = 0; i < 40; ++i) {
        expected[static_cast<std::size_t>(i)] = i;
    }
    EXPECT_EQ(host_.seen, expected);
    // The queue holds at most 3, one is being delivered, one may be in the making.
    EXPECT_LE(host_.maxAhead, 5);
    EXPECT_GE(host_.maxAhead, 2);  // and decoding does run ahead
    player->Stop();
}

TEST_F(CompositePlayerTest, PauseHoldsDeliveryUntilRunAndTheEndIsNotReportedMeanwhile) {
    host_.holdMs = 5;
    auto player = MakePlayer(30);
    player->Run();
    ASSERT_TRUE(support::Eventually([&] { return host_.delivered >= 3; }));
    player->Pause();
    std::this_thread::sleep_for(30ms);  // a delivery under way when paused may still finish
    const int held = host_.delivered;
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(host_.delivered.load(), held);
    EXPECT_FALSE(player->Ended());
    player->Run();
    ASSERT_TRUE(support::Eventually([&] { return player->Ended(); }));
    EXPECT_EQ(host_.delivered.load(), 30);
}

TEST_F(CompositePlayerTest, NoCallbackRunsOnceStopHasReturnedAndStopIsFinal) {
    host_.holdMs = 3;
    auto player = MakePlayer(1000);
    player->Run();
    ASSERT_TRUE(support::Eventually([&] { return host_.delivered >= 5; }));
    player->Stop();
    host_.stopped = true;
    const int atStop = host_.delivered;
    player->Run();  // does nothing after Stop
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(host_.afterStop.load(), 0);
    EXPECT_EQ(host_.delivered.load(), atStop);
    EXPECT_FALSE(player->Ended());

    // Stopping a paused player, and one never run, returns as well.
    auto paused = MakePlayer(10);
    paused->Run();
    paused->Pause();
    paused->Stop();
    auto idle = MakePlayer(10);
    idle->Stop();
}

TEST_F(CompositePlayerTest, StopFromInsideACallbackDoesNotWaitForItself) {
    auto player = MakePlayer(100);
    host_.stopFromCallback = player.get();
    player->Run();
    ASSERT_TRUE(support::Eventually([&] { return host_.delivered >= 3; }));
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(host_.delivered.load(), 3);
    player.reset();  // joins what is left
}

TEST_F(CompositePlayerTest, ReleasedFromInsideACallbackItsDeliveryThreadEndsWithoutIt) {
    auto player = MakePlayer(100);
    host_.releaseFromCallback = &player;
    player->Run();
    host_.mayRelease = true;
    ASSERT_TRUE(support::Eventually([&] { return host_.delivered >= 3; }));
    std::this_thread::sleep_for(30ms);  // time for the thread to return into a freed player
    EXPECT_EQ(host_.delivered.load(), 3);
    EXPECT_EQ(player, nullptr);
}

TEST_F(CompositePlayerTest, AnEmptyTimelineEndsAtOnce) {
    auto player = MakePlayer(0);
    player->Run();
    EXPECT_TRUE(support::Eventually([&] { return player->Ended(); }));
    EXPECT_TRUE(host_.seen.empty());
}

}  // namespace

}  // namespace tarn
