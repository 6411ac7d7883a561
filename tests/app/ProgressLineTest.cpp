#include "ProgressLine.h"

#include <gtest/gtest.h>

namespace {

struct EstimateCase {
  const char* name;
  TaskEntries entries;
  std::string text;
};

TaskEntries Rectangle(const char* left, const char* right, const char* top, const char* bottom, int32_t zoom) {
  TaskEntries entries;
  entries.left = left, entries.right = right, entries.top = top, entries.bottom = bottom;
  entries.zoom = zoom;
  return entries;
}

class Estimate : public ::testing::TestWithParam<EstimateCase> {};

TEST_P(Estimate, GivesTheCountAndSizeOrTheRefusal) { EXPECT_EQ(EstimateText(GetParam().entries), GetParam().text); }

INSTANTIATE_TEST_SUITE_P(
    Table, Estimate,
    ::testing::Values(
        EstimateCase{"notTypedYet", Rectangle("10", "", "50", "40", 4), ""},
        EstimateCase{"twoTiles", Rectangle("10", "20", "50", "40", 4), "2 tiles, about 30.0 KB"},
        EstimateCase{"oneTile", Rectangle("10", "10", "50", "50", 4), "1 tile, about 15.0 KB"},
        EstimateCase{"worldAtEight", Rectangle("-180", "179.9", "85", "-85", 8), "65536 tiles, about 960.0 MB"},
        EstimateCase{"noNumber", Rectangle("10", "2x", "50", "40", 4), "Longitude or latitude input error!"},
        EstimateCase{"leftOfRight", Rectangle("20", "10", "50", "40", 4),
                     "Left Longitude should less than Right Longitude!"},
        EstimateCase{"tooMany", Rectangle("-180", "179.9", "85", "-85", 18),
                     "Start would refuse this task: The range holds 68475744592 tiles, more than 2147483647 a task "
                     "can count"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SizeEstimateText, ScalesTheUnit) {
  EXPECT_EQ(SizeEstimateText(0), "about 0 bytes");
  EXPECT_EQ(SizeEstimateText(1), "about 15.0 KB");
  EXPECT_EQ(SizeEstimateText(1024), "about 15.0 MB");
  // A country at a deep zoom stays readable.
  EXPECT_EQ(SizeEstimateText(int64_t{10'000'000}), "about 143.1 GB");
}

}  // namespace
