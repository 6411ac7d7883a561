#include <gtest/gtest.h>

#include <string>

#include "TestFiles.h"
#include "TileDiskCache.h"

namespace {

TEST(TileDiskCache, KeepsTilesWithinItsBoundDroppingTheLeastRecentlyUsed) {
  ScratchFolder folder("cache");
  const std::string tile(400, 'x');
  {
    TileDiskCache cache(folder / "tiles", 1000);
    cache.Put({1, 1, 3}, tile);
    cache.Put({2, 1, 3}, tile);
    ASSERT_TRUE(cache.Get({1, 1, 3}));  // now the most recent
    cache.Put({3, 1, 3}, tile);         // over 1000 bytes: {2,1,3} goes
    EXPECT_EQ(cache.Get({1, 1, 3}), tile);
    EXPECT_FALSE(cache.Get({2, 1, 3}));
    EXPECT_FALSE(cache.Contains({2, 1, 3}));
    EXPECT_TRUE(cache.Contains({3, 1, 3}));
    EXPECT_EQ(cache.Bytes(), 800);
    cache.Put({4, 1, 3}, std::string(2000, 'y'));  // larger than the whole cache: not kept
    EXPECT_FALSE(cache.Contains({4, 1, 3}));
  }
  // A later run finds what is on disk, and a smaller bound trims it.
  TileDiskCache again(folder / "tiles", 500);
  EXPECT_EQ(again.Bytes(), 400);
  EXPECT_EQ(again.Folder(), folder / "tiles/");
}

TEST(TileDiskCache, FolderFollowsTheUsersCacheHome) {
  EXPECT_EQ(UserCacheFolder("/xdg/cache", "/home/u"), "/xdg/cache/quarnel/");
  EXPECT_EQ(UserCacheFolder("", "/home/u"), "/home/u/.cache/quarnel/");
  EXPECT_EQ(UserCacheFolder("relative", "/home/u"), "/home/u/.cache/quarnel/");
  EXPECT_NE(TileCacheFolderFor("/c/", "http://a/{z}/{x}/{y}.png"), TileCacheFolderFor("/c/", "http://b/{z}/{x}/{y}.png"));
  EXPECT_EQ(TileCacheFolderFor("/c/", "a").rfind("/c/tiles-", 0), 0u);
}

}  // namespace
