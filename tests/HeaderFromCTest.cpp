#include <gtest/gtest.h>

extern "C" int RunFeedFromC(void);

TEST(HeaderFromCTest, AHostWrittenInCBuildsAndGetsTheExpectedResults) {
    EXPECT_EQ(RunFeedFromC(), 0);
}
