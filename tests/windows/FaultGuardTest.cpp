// A structured exception raised while the session worker leaves the component runtime is
// caught and ignored: the frames inside are unwound (their clean-up runs), the session ends as
// it would have, the feed goes back to Idle and the next session runs.
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "session/ComRuntime.h"
#include "session/FaultGuard.h"
#include "tests/feed/FeedTestSupport.h"

namespace session {

namespace {

std::atomic<int> gUninitializeCalls{0};

// An access violation the compiler can neither see coming nor leave out.
__attribute__((noinline)) void WriteThroughNull() {
    volatile int* volatile nowhere = nullptr;
    *nowhere = 1;
}

#if defined(__x86_64__)
// The fault inside a frame with a termination handler, as system code compiled with __finally
// has: the handler must run as the frame is unwound, so that such code releases its locks.
// (GCC runs no C++ destructors for a fault: its unwinder leaves exceptions not its own alone.)
// Written for x86_64, the processor the tests run on under wine64.
bool gTerminationRan = false;

extern "C" __attribute__((used)) void FeedTestTermination(BOOLEAN abnormal, void* /*frame*/) {
    gTerminationRan = abnormal != 0;
}

// Called through a pointer, so that the call stays inside the handler's range.
void (*volatile gFault)() = WriteThroughNull;

// clang-format off
__attribute__((noinline, noclone)) void FaultInsideATerminationHandler() {
    __asm__ __volatile__(
        "\t.l_finally_start:\n"
        "\t.seh_handler __C_specific_handler, @unwind\n"
        "\t.seh_handlerdata\n"
        "\t.long 1\n"
        "\t.rva .l_finally_start, .l_finally_end, FeedTestTermination\n"
        "\t.long 0\n"
        "\t.text\n");
    gFault();
    __asm__ __volatile__("\tnop\n\t.l_finally_end: nop\n");
}
// clang-format on
#endif

void CountCall() {
    ++gUninitializeCalls;
}

// Leaves the runtime, then faults, as a broken system's CoUninitialize might.
void FaultingUninitialize() {
    ++gUninitializeCalls;
    CoUninitialize();
    WriteThroughNull();
}

TEST(FaultGuardTest, AFaultInsideTheCallIsCaughtAfterItsFramesAreUnwound) {
    gUninitializeCalls = 0;
    EXPECT_EQ(CallCatchingFaults(CountCall), 0u);
    EXPECT_EQ(gUninitializeCalls.load(), 1);

    EXPECT_EQ(CallCatchingFaults(WriteThroughNull),
              static_cast<std::uint32_t>(EXCEPTION_ACCESS_VIOLATION));
#if defined(__x86_64__)
    gTerminationRan = false;
    EXPECT_EQ(CallCatchingFaults(FaultInsideATerminationHandler),
              static_cast<std::uint32_t>(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_TRUE(gTerminationRan) << "the frame inside was not unwound";
#endif

    // Caught again and again on one thread, and on others.
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(CallCatchingFaults(WriteThroughNull),
                  static_cast<std::uint32_t>(EXCEPTION_ACCESS_VIOLATION));
    }
    std::uint32_t onAnotherThread = 0;
    std::thread([&] { onAnotherThread = CallCatchingFaults(WriteThroughNull); }).join();
    EXPECT_EQ(onAnotherThread, static_cast<std::uint32_t>(EXCEPTION_ACCESS_VIOLATION));
    EXPECT_EQ(CallCatchingFaults(CountCall), 0u);  // nothing left over from the last one
}

class ComRuntimeFaultTest : public FeedFixture {
  protected:
    void TearDown() override {
        ComRuntime::SetUninitializeForTesting(nullptr);
        FeedFixture::TearDown();
    }
};

TEST_F(ComRuntimeFaultTest, AFaultLeavingTheRuntimeEndsTheSessionAsUsual) {
    gUninitializeCalls = 0;
    ComRuntime::SetUninitializeForTesting(FaultingUninitialize);
    { const ComRuntime runtime; }
    EXPECT_EQ(gUninitializeCalls.load(), 1);

    fake::engine().addFile("clip.mp4", true, false);
    ASSERT_EQ(FeedAddVideoSource(feed, "clip.mp4", 0, 1000), 1);
    for (int session = 1; session <= 2; ++session) {
        ASSERT_EQ(FeedStart(feed), 1) << "session " << session;
        ASSERT_TRUE(WaitUntilIdle(feed)) << "session " << session;
        EXPECT_EQ(FeedStop(feed), 0);
        EXPECT_EQ(gUninitializeCalls.load(), 1 + session);
        EXPECT_EQ(CountCalls("C" + std::to_string(session) + ".Stop"), 1u);
    }
}

}  // namespace

}  // namespace session
