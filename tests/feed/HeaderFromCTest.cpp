#include <gtest/gtest.h>

extern "C" int RunFeedFromC(void);
extern "C" int RunReaderWithoutEngineReaderFromC(void);

TEST(HeaderFromCTest, AHostWrittenInCBuildsAndGetsTheExpectedResults) {
    EXPECT_EQ(RunFeedFromC(), 0);
}

// The scripted engine has the contract's functions only: the reader says so.
TEST(HeaderFromCTest, ReaderCallsFailClearlyWithAnEngineThatHasNoReader) {
    EXPECT_EQ(RunReaderWithoutEngineReaderFromC(), 0);
}
