// Which tiles judge a task's size: never more than eight, never one outside
// the task, spread so that one corner of sea does not speak for a coast.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <utility>

#include "TileSetSelection.h"
#include "TileSizeSample.h"
#include "Unitclasstask.h"

namespace {

using Tile = std::pair<int32_t, int32_t>;

std::set<Tile> Distinct(const std::vector<TileKey>& tiles, int32_t zoom) {
  std::set<Tile> seen;
  for (const TileKey& tile : tiles) {
    EXPECT_EQ(tile.zoom, zoom);
    seen.insert({tile.x, tile.y});
  }
  EXPECT_EQ(seen.size(), tiles.size()) << "a tile sampled twice";
  return seen;
}

TEST(TileSizeSampleTest, ARangeGivesEveryTileUpToEightAndEightSpreadTilesBeyond) {
  struct Case {
    int32_t minX, minY, maxX, maxY;
    std::size_t expected;
  };
  for (const Case c : {Case{3, 4, 3, 4, 1}, Case{0, 0, 1, 3, 8}, Case{10, 10, 509, 11, 8}, Case{7, 0, 7, 999, 8},
                       Case{0, 0, 99, 99, 8}}) {
    TaskTileRange range;
    range.MinX = c.minX, range.MinY = c.minY, range.MaxX = c.maxX, range.MaxY = c.maxY;
    const std::vector<TileKey> tiles = SampleTiles(range, 9);
    ASSERT_EQ(tiles.size(), c.expected) << c.maxX << " x " << c.maxY;
    const std::set<Tile> seen = Distinct(tiles, 9);
    for (const auto& [x, y] : seen) {
      EXPECT_TRUE(x >= c.minX && x <= c.maxX && y >= c.minY && y <= c.maxY) << x << "," << y;
    }
    // Spread: the samples reach both halves of a long side.
    const auto reaches = [&](auto coordinate, int32_t low, int32_t high) {
      if (high - low < 8) return;
      int32_t least = high, most = low;
      for (const Tile& tile : seen) least = std::min(least, coordinate(tile)), most = std::max(most, coordinate(tile));
      EXPECT_LT(least, (low + high) / 2);
      EXPECT_GT(most, (low + high) / 2);
    };
    reaches([](const Tile& t) { return t.first; }, c.minX, c.maxX);
    reaches([](const Tile& t) { return t.second; }, c.minY, c.maxY);
  }
}

TEST(TileSizeSampleTest, AnAreaIsSampledOnlyInsideAndAlongItsWholeWalk) {
  // A diagonal band and a lone far tile: the rectangle's middle is outside.
  std::set<Tile> inside;
  for (int32_t x = 0; x < 40; ++x) inside.insert({x, x});
  inside.insert({0, 39});
  const TileSetSelection selection(inside, 0, 0, 39);
  const std::vector<TileKey> tiles = SampleTiles(selection, 6);
  ASSERT_EQ(tiles.size(), 8u);
  const std::set<Tile> seen = Distinct(tiles, 6);
  for (const Tile& tile : seen) EXPECT_TRUE(inside.count(tile)) << tile.first << "," << tile.second;
  EXPECT_LT(seen.begin()->first, 5);
  EXPECT_GT(seen.rbegin()->first, 34);

  const std::set<Tile> few = {{2, 3}, {2, 4}, {5, 1}};
  const std::vector<TileKey> all = SampleTiles(TileSetSelection(few, 0, 0, 9), 6);
  EXPECT_EQ(Distinct(all, 6), few);
  EXPECT_TRUE(SampleTiles(TileSetSelection({}, 0, 0, 9), 6).empty());
}

}  // namespace
