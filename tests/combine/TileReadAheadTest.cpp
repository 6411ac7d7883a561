#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "CombineTestSupport.h"
#include "TestFiles.h"
#include "TileReadAhead.h"

namespace {

// More tiles than the ring holds, so both threads wait on each other, in a
// mix whose every kind follows every other one through a reused buffer.
TEST(TileReadAheadTest, GivesEveryTileInTheWalksOrderWithNothingLeftOverFromTheLast) {
  ScratchFolder folder("readahead");
  const std::vector<std::string> contents = {EncodeSolidImage({1, 2, 3, 255}, "png"), "<html>404</html>", "",
                                             EncodeSolidImage({9, 8, 7, 255}, "jpg"), BlankImageBytes()};
  const TileBytes::Kind kinds[] = {TileBytes::Kind::Data, TileBytes::Kind::Bad, TileBytes::Kind::NoData,
                                   TileBytes::Kind::Data, TileBytes::Kind::NoData};
  std::vector<std::string> paths;
  for (int i = 0; i < 500; ++i) {
    paths.push_back(folder / ("t" + std::to_string(i)));
    if (i % 5 != 2) WriteFile(paths.back(), contents[i % 5]);  // the third of each five is missing
  }

  TileReadAhead tiles(BlankImageBytes(), [&paths](const TileReadAhead::Visit& visit) {
    for (const auto& path : paths) visit(path, {});
  });
  std::string path;
  TileBytes tile;
  for (int i = 0; i < 500; ++i) {
    ASSERT_TRUE(tiles.Next(path, tile)) << i;
    ASSERT_EQ(path, paths[i]);
    ASSERT_EQ(tile.kind, kinds[i % 5]) << i;
    EXPECT_EQ(tile.bytes, tile.kind == TileBytes::Kind::NoData ? "" : contents[i % 5]) << i;
    EXPECT_EQ(tile.problem.empty(), tile.kind != TileBytes::Kind::Bad) << i << tile.problem;
  }
  EXPECT_FALSE(tiles.Next(path, tile));
  EXPECT_FALSE(tiles.Next(path, tile));
}

TEST(TileReadAheadTest, AWalkThatThrowsDeliversTheTilesBeforeAndThenTheError) {
  ScratchFolder folder("readahead");
  TileReadAhead tiles("", [&folder](const TileReadAhead::Visit& visit) {
    for (int i = 0; i < 100; ++i) visit(folder / std::to_string(i), {});
    throw std::runtime_error("no more names");
  });
  std::string path;
  TileBytes tile;
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(tiles.Next(path, tile)) << i;
  EXPECT_THROW(tiles.Next(path, tile), std::runtime_error);
}

// A writer that fails or is cancelled leaves with the walk unfinished; an
// endless walk shows the reader is stopped, not waited out.
TEST(TileReadAheadTest, LeavingEarlyStopsTheWalk) {
  ScratchFolder folder("readahead");
  int visited = 0;
  {
    TileReadAhead tiles("", [&](const TileReadAhead::Visit& visit) {
      for (;;) {
        visit(folder / "absent", {});
        ++visited;
      }
    });
    std::string path;
    TileBytes tile;
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(tiles.Next(path, tile));
  }
  EXPECT_GE(visited, 10);
}

}  // namespace
