#include <gtest/gtest.h>

#include "Text.h"

namespace {

// One Trim for the blank sets its callers differ on: values and headers
// (space and tab) and ini lines (all white space).
struct TrimCase {
  std::string_view text, blanks, expected;
};

class TrimTest : public ::testing::TestWithParam<TrimCase> {};

TEST_P(TrimTest, RemovesOnlyItsBlanks) { EXPECT_EQ(Trim(GetParam().text, GetParam().blanks), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(BlankSets, TrimTest,
                         ::testing::Values(TrimCase{" \tv a\t ", kBlanks, "v a"}, TrimCase{"\r\nv\r\n", kBlanks, "\r\nv\r\n"},
                                           TrimCase{" \t ", kBlanks, ""}, TrimCase{"\v\f k=v \r\n", kWhiteSpace, "k=v"}));

}  // namespace
