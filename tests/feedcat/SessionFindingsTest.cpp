// The library's account of a session as feedcat reports it: a source that did not play as
// asked warns once, in the library's words, unless feedcat's own check warned about it already.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "pipeline/SessionFindings.h"

namespace feedcat {
namespace {

struct FeedDeleter {
    void operator()(FeedHandle feed) const { FeedDestroy(feed); }
};

TEST(SessionFindings, ASourceThatDidNotPlayWarnsOnceUnlessTheCheckDidAlready) {
    const std::unique_ptr<FeedObject, FeedDeleter> feed(FeedCreate());
    const std::string missing = "/nonexistent/feedcat-findings.wav";
    std::vector<AddedSource> added{
        {"lavfi:sine=frequency=440",
         FeedAddAudioSource(feed.get(), "lavfi:sine=frequency=440", 0, 200)},
        {missing, FeedAddAudioSource(feed.get(), missing.c_str(), 0, 200)},
        {missing, FeedAddAudioSource(feed.get(), missing.c_str(), 0, 200)}};
    ASSERT_TRUE(FeedSetAudioSampleRate(feed.get(), 8000));
    ASSERT_TRUE(FeedStart(feed.get()));
    while (FeedGetState(feed.get()) != FEED_STATE_IDLE) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }

    const SessionFindings unknown = FindSessionOutcome(feed.get(), added, {});
    EXPECT_EQ(unknown.reason, FEED_END_FINISHED);
    ASSERT_EQ(unknown.warnings.size(), 1u);
    EXPECT_EQ(unknown.warnings[0].source, missing);
    EXPECT_NE(unknown.warnings[0].message.find("could not be opened"), std::string::npos)
        << unknown.warnings[0].message;

    const SessionFindings known =
        FindSessionOutcome(feed.get(), added, {SourceWarning{missing, "checked before the run"}});
    EXPECT_TRUE(known.warnings.empty());
}

}  // namespace
}  // namespace feedcat
