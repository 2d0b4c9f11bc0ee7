// libavdevice (with libavfilter and the libraries they bring) is loaded by the first lavfi
// graph only. This runs as its own program: nothing else in the process may have opened a
// graph before it looks.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "media/MediaInput.h"
#include "tests/support/media/TestMedia.h"

namespace {

bool DeviceLibraryLoaded() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line)) {
        if (line.find("libavdevice.so") != std::string::npos) {
            return true;
        }
    }
    return false;
}

TEST(LavfiDeviceTest, TheDeviceLibraryIsLoadedByTheFirstGraphOnly) {
    const testmedia::Files& media = testmedia::Media();
    ASSERT_FALSE(DeviceLibraryLoaded()) << "loaded before anything was opened";

    media::MediaInfo info;
    ASSERT_TRUE(media::ProbeMedia(media.av, &info));
    EXPECT_TRUE(info.hasVideo && info.hasAudio);
    EXPECT_FALSE(DeviceLibraryLoaded()) << "a file loaded it";

    ASSERT_TRUE(media::ProbeMedia("lavfi:testsrc2=size=64x48:rate=25:duration=1", &info));
    EXPECT_TRUE(info.hasVideo);
    EXPECT_EQ(info.displayWidth, 64);
    EXPECT_TRUE(DeviceLibraryLoaded());
    // Once loaded it serves every later graph.
    EXPECT_TRUE(media::OpenInput("lavfi:sine=frequency=440:duration=1") != nullptr);
}

}  // namespace
