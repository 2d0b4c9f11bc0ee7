/* A small host built against an installed copy of the library. */
#include <feed/feed.h>
#include <stdio.h>

int main(void) {
    FeedHandle feed = FeedCreate();
    if (feed == NULL) {
        return 1;
    }
    int ok = FeedAddVideoSource(feed, "clip.mp4", 0, 1000) == 1 && FeedStart(feed) == 1;
    FeedStop(feed);
    ok = ok && FeedGetState(feed) == FEED_STATE_IDLE;
    FeedDestroy(feed);
    puts(ok ? "host ran" : "host failed");
    return ok ? 0 : 1;
}
