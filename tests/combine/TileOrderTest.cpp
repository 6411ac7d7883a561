#include <gtest/gtest.h>

#include <set>
#include <tuple>
#include <vector>

#include "TileOrder.h"

namespace {

// Ids the reference PMTiles reader gives (its zxyToTileId).
struct IdCase {
  PyramidTile place;
  uint64_t id;
};

class HilbertTileIdTest : public testing::TestWithParam<IdCase> {};

TEST_P(HilbertTileIdTest, MatchesTheReferenceReader) { EXPECT_EQ(HilbertTileId(GetParam().place), GetParam().id); }

INSTANTIATE_TEST_SUITE_P(Places, HilbertTileIdTest,
                         testing::Values(IdCase{{0, 0, 0}, 0}, IdCase{{1, 0, 0}, 1}, IdCase{{1, 0, 1}, 2},
                                         IdCase{{1, 1, 1}, 3}, IdCase{{1, 1, 0}, 4}, IdCase{{2, 0, 0}, 5},
                                         IdCase{{2, 3, 0}, 20}, IdCase{{2, 1, 2}, 12}, IdCase{{3, 7, 7}, 63},
                                         IdCase{{3, 2, 5}, 50}, IdCase{{12, 3000, 1000}, 20287189},
                                         IdCase{{16, 34000, 22000}, 5081465343},
                                         IdCase{{20, 500000, 700000}, 852422192469},
                                         IdCase{{26, 67108863, 0}, 6004799503160660}));

struct WalkCase {
  const char* name;
  int32_t zoom;
  std::vector<TileRange> ranges;
};

class HilbertWalkTest : public testing::TestWithParam<WalkCase> {};

// Every tile of the ranges, once, ids rising; and a parent's children in a row.
TEST_P(HilbertWalkTest, VisitsEachTileOfTheRangesOnceInIdOrder) {
  std::set<std::pair<int32_t, int32_t>> expected;
  for (const TileRange& range : GetParam().ranges)
    for (int32_t x = range.minX; x <= range.maxX; ++x)
      for (int32_t y = range.minY; y <= range.maxY; ++y) expected.insert({x, y});
  std::set<std::pair<int32_t, int32_t>> seen;
  uint64_t last = 0;
  bool first = true;
  ForEachInHilbertOrder(GetParam().zoom, GetParam().ranges, [&](const PyramidTile& place) {
    EXPECT_EQ(place.zoom, GetParam().zoom);
    const uint64_t id = HilbertTileId(place);
    EXPECT_TRUE(first || id > last) << place.x << "," << place.y;
    first = false;
    last = id;
    EXPECT_TRUE(seen.insert({place.x, place.y}).second) << "twice: " << place.x << "," << place.y;
  });
  EXPECT_EQ(seen, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, HilbertWalkTest,
    testing::Values(WalkCase{"world_z3", 3, {{3, 0, 7, 0, 7}}},
                    WalkCase{"one_tile", 15, {{15, 17300, 17300, 11500, 11500}}},
                    WalkCase{"odd_rectangle", 9, {{9, 250, 263, 170, 176}}},
                    WalkCase{"two_overlapping", 6, {{6, 10, 20, 5, 9}, {6, 15, 30, 8, 12}}},
                    WalkCase{"edge_of_the_grid", 4, {{4, 14, 15, 0, 15}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ChildrenInOrderTest, FollowTheCurveOfTheLevelBelow) {
  for (const PyramidTile parent : {PyramidTile{0, 0, 0}, PyramidTile{3, 5, 2}, PyramidTile{9, 300, 211}}) {
    const auto children = ChildrenInOrder(parent);
    for (std::size_t i = 1; i < children.size(); ++i)
      EXPECT_EQ(HilbertTileId(children[i]), HilbertTileId(children[i - 1]) + 1);
    for (const PyramidTile& child : children) {
      EXPECT_EQ(child.zoom, parent.zoom + 1);
      EXPECT_EQ(child.x / 2, parent.x);
      EXPECT_EQ(child.y / 2, parent.y);
    }
  }
}

}  // namespace
