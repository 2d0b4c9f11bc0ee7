// Times as users write them: every accepted form, the rounding of fractions, and what is
// refused (including a bare number with a fraction, which would be a fraction of a
// millisecond).
#include "cli/TimeSyntax.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace feedcat {
namespace {

TEST(TimeSyntax, AcceptedForms) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"0", 0},
        {"1500", 1500},  // bare whole numbers stay milliseconds
        {"1500ms", 1500},
        {"0ms", 0},
        {"1.5s", 1500},
        {"2s", 2000},
        {"0.001s", 1},
        {"0.0004s", 0},  // rounded to the nearest millisecond
        {"0.0005s", 1},
        {"1.23456s", 1235},
        {"0:01", 1000},
        {"1:30", 90000},
        {"1:30.25", 90250},
        {"90:00", 5400000},  // the leading field may be any size
        {"1:00:00", 3600000},
        {"01:02:03.004", 3723004},
        {"596:31:23.647", 2147483647},
    };
    for (const auto& [text, expected] : cases) {
        std::int32_t ms = -1;
        EXPECT_TRUE(ParseTimeMs(text, &ms)) << text;
        EXPECT_EQ(ms, expected) << text;
    }
}

TEST(TimeSyntax, Refusals) {
    for (const char* text :
         {"", "1.5", "-1", "1.5ms", "s", "ms", ".5s", "1.s", "1:60", "1:00:60", "1:60:00",
          "1:2:3:4", ":30", "1:", "1h", "1 s", "1e3", "596:31:23.648", "99999999999999"}) {
        std::int32_t ms = -7;
        EXPECT_FALSE(ParseTimeMs(text, &ms)) << text;
        EXPECT_EQ(ms, -7) << text << " was written";
    }
}

TEST(TimeSyntax, SecondsForMessages) {
    EXPECT_EQ(FormatSeconds(0), "0.000 s");
    EXPECT_EQ(FormatSeconds(3000), "3.000 s");
    EXPECT_EQ(FormatSeconds(90250), "90.250 s");
}

}  // namespace
}  // namespace feedcat
