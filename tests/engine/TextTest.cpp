#include <gtest/gtest.h>

#include <string_view>

#include "Text.h"

namespace {

// The one Trim serves blank sets its callers differ on: file values and
// headers (space and tab), ini lines (all white space), header lines (line
// ends at the back only).
struct TrimCase {
  std::string_view text, blanks, expected;
};

class TrimTest : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TrimTest, RemovesOnlyItsBlanks) { EXPECT_EQ(Trim(GetParam().text, GetParam().blanks), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(BlankSets, TrimTest,
                         ::testing::Values(TrimCase{" \tv a\t ", kBlanks, "v a"}, TrimCase{"\r\nv\r\n", kBlanks, "\r\nv\r\n"},
                                           TrimCase{" \t ", kBlanks, ""}, TrimCase{"", kBlanks, ""},
                                           TrimCase{"\v\f k=v \r\n", kWhiteSpace, "k=v"},
                                           TrimCase{"\n\t", kWhiteSpace, ""}));

TEST(TextTest, CaseFoldingIsAsciiOnly) {
  EXPECT_EQ(LowerAscii("HTTPS://Ä.Example"), "https://Ä.example");
  EXPECT_TRUE(StartsWithNoCase("Max-Age=5", "max-age="));
  EXPECT_FALSE(StartsWithNoCase("max", "max-age="));
  EXPECT_TRUE(EqualsIgnoringCase("Proxy", "pROXY"));
}

}  // namespace
