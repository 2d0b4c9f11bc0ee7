// A long list of clips costs no more file handles than a few: files are probed and closed
// while the session is built, and a timeline holds two clips' files open at a time, the one
// playing and the next, which is prepared ahead.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>

#include <feed/feed.h>

#include "tests/support/EngineHost.h"
#include "tests/support/ProcessFigures.h"
#include "tests/support/media/TestMedia.h"

namespace {

using namespace std::chrono_literals;

// The most file handles seen open at once.
struct Watch {
    std::mutex counting;  // one count at a time: each holds a descriptor of its own
    int mostOpen = 0;
    void Sample() {
        const std::lock_guard<std::mutex> lock(counting);
        mostOpen = std::max(mostOpen, figures::OpenFiles());
    }
};

// The long list has 1,000 clips of each kind; fewer under the sanitizers, which make every
// clip's thread and file far slower (the bound is the same for any count).
TEST(OpenFilesBoundTest, TwoThousandClipsHoldAtMostAFewFilesAtOnce) {
    testmedia::Media();  // written (once per process) before the count starts
    const int before = figures::OpenFiles();
    Watch watch;
    support::EngineHost host;
    host.onFrame = [&](const support::FrameArrival&) { watch.Sample(); };
    host.onBuffer = [&](const support::BufferArrival&) { watch.Sample(); };
    ASSERT_TRUE(support::AddLongClipList(host.feed()));
    ASSERT_TRUE(host.Start());
    // Also while the worker probes the files.
    ASSERT_TRUE(host.WaitUntilIdle(
        240s, [&] { watch.Sample(); }, 1ms));
    host.Destroy();

    EXPECT_EQ(host.frames.load(), support::kLongListClips);
    EXPECT_EQ(host.sampleFrames.load(), support::kLongListClips * 320);  // 40 ms at 8,000 Hz
    // Two files per timeline: the clip playing and the next one, prepared ahead.
    EXPECT_LE(watch.mostOpen - before, 4);
    EXPECT_EQ(figures::OpenFiles(), before);  // nothing left open
}

}  // namespace
