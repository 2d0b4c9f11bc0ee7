// The public header declares nothing but Feed-prefixed names: a C++ host with its own Feed,
// SourceKind and callback types compiles against it and calls the library.
#include <gtest/gtest.h>

// A host's own names, declared before the header as a host's own headers would be.
class Feed {
  public:
    int frames = 0;
};
enum class SourceKind { Camera, Microphone };
struct VideoFrameCallback {};
struct AudioBufferCallback {};
using FeedObjectOfTheHost = int;

#include <feed/feed.h>

namespace {

TEST(HeaderNamesTest, AHostWithItsOwnFeedAndSourceKindCompilesAndRuns) {
    Feed mine;
    mine.frames = 1;
    const SourceKind kind = SourceKind::Camera;
    FeedHandle handle = FeedCreate();
    ASSERT_NE(handle, nullptr);
    const FeedSourceKind video = FEED_SOURCE_VIDEO;
    EXPECT_EQ(video, 1);
    EXPECT_EQ(FeedGetState(handle), FEED_STATE_IDLE);
    FeedDestroy(handle);
    EXPECT_EQ(mine.frames, 1);
    EXPECT_EQ(kind, SourceKind::Camera);
}

}  // namespace
