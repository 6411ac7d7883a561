#include <gtest/gtest.h>

#include <string>

#include "LruCache.h"
#include "MapGeometry.h"

namespace {

TEST(LruCache, DropsTheLeastRecentlyUsed) {
  LruCache<int, std::string> cache(2);
  cache.Put(1, "a");
  cache.Put(2, "b");
  ASSERT_NE(cache.Find(1), nullptr);  // 1 is now the most recent
  cache.Put(3, "c");
  EXPECT_EQ(cache.Find(2), nullptr);
  ASSERT_NE(cache.Find(1), nullptr);
  EXPECT_EQ(*cache.Find(1), "a");
  EXPECT_EQ(*cache.Find(3), "c");
  cache.Put(3, "d");  // a replacement does not grow the cache
  EXPECT_EQ(cache.Size(), 2u);
  EXPECT_EQ(*cache.Find(3), "d");
  cache.Erase(3);
  EXPECT_EQ(cache.Find(3), nullptr);
  EXPECT_EQ(cache.Size(), 1u);
}

TEST(LruCache, StaysWithinItsBoundWhilePanningAcrossALargeTask) {
  // Pan a 1280x900 view row by row over a 1000x1000-tile task at zoom 12,
  // putting every visible tile as the widget does.
  constexpr std::size_t kBound = 200;
  LruCache<TileKey, int, TileKeyHash> cache(kBound);
  Viewport view{{100, 100}, 12, 1280, 900};
  std::size_t largest = 0;
  int64_t seen = 0;
  for (int step = 0; step < 400; ++step) {
    view = PanBy(view, step % 2 ? 640 : 0, step % 2 ? 0 : 450);
    const TileRange range = VisibleTiles(view);
    for (int32_t y = range.minY; y <= range.maxY; ++y)
      for (int32_t x = range.minX; x <= range.maxX; ++x) {
        if (!cache.Find({x, y, 12})) cache.Put({x, y, 12}, x ^ y);
        ++seen;
      }
    largest = std::max(largest, cache.Size());
  }
  EXPECT_GT(seen, int64_t{10} * kBound);
  EXPECT_EQ(largest, kBound);
  // What is in view right now is all still there.
  const TileRange range = VisibleTiles(view);
  for (int32_t y = range.minY; y <= range.maxY; ++y)
    for (int32_t x = range.minX; x <= range.maxX; ++x) EXPECT_NE(cache.Find({x, y, 12}), nullptr);
}

}  // namespace
