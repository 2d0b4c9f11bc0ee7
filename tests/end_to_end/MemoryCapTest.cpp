// Running out of memory on one of the engine's threads ends the session, not the host: a
// session at the largest frame size, in a process whose address space is capped as a 32-bit
// host's is, returns to Idle and the process goes on.
//
// The cap is set in a child process (a death test), so the rest of the suite keeps its memory.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdlib>

#include <feed/feed.h>

#include "tests/support/Waiting.h"

namespace {

using namespace std::chrono_literals;

constexpr rlim_t kThreeGigabytes = 3ull << 30;

// Runs a 16384x16384 session of both kinds with the address space capped; exits 0 once the
// feed is Idle again, 1 when it does not get there in time.
[[noreturn]] void RunHugeSessionUnderTheCap() {
    const rlimit cap{kThreeGigabytes, kThreeGigabytes};
    if (setrlimit(RLIMIT_AS, &cap) != 0) {
        std::_Exit(2);
    }
    FeedHandle feed = FeedCreate();
    FeedAddVideoSource(feed, "lavfi:testsrc2=size=64x64:rate=25:duration=1", 0, 400);
    FeedAddAudioSource(feed, "lavfi:sine=frequency=440:sample_rate=44100:duration=1", 0, 400);
    FeedSetVideoSize(feed, 16384, 16384);
    FeedSetFrameRate(feed, 25.0);
    FeedSetVideoFade(feed, 1, 1000, 0, 1, 1000, 0);  // the scratch frame is one more gigabyte
    if (FeedStart(feed) != 1) {
        std::_Exit(3);
    }
    const bool ended = support::WaitUntilIdle(feed, 120s, 10ms);
    FeedDestroy(feed);
    std::_Exit(ended ? 0 : 1);
}

TEST(MemoryCapDeathTest, ASessionTooLargeForTheAddressSpaceEndsAndTheHostLives) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(RunHugeSessionUnderTheCap(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
