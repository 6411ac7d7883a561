#include <gtest/gtest.h>

#include "MapGeometry.h"

namespace {

struct ScreenCase {
  int zoom;
  TilePoint center;
  ScreenPoint screen;
  RowOrigin origin;
  TileKey tile;
};

class ScreenToTile : public testing::TestWithParam<ScreenCase> {};

TEST_P(ScreenToTile, FindsTheTileUnderThePixel) {
  const ScreenCase& c = GetParam();
  const Viewport view{c.center, c.zoom, 800, 600};
  EXPECT_EQ(TileAtScreen(view, c.screen, c.origin), c.tile);
}

INSTANTIATE_TEST_SUITE_P(
    SeveralZooms, ScreenToTile,
    testing::Values(
        // The middle pixel shows the centre; a tile is 256 pixels wide.
        ScreenCase{0, {0.5, 0.5}, {400, 300}, RowOrigin::FromTop, {0, 0, 0}},
        ScreenCase{4, {8, 5}, {400, 300}, RowOrigin::FromTop, {8, 5, 4}},
        ScreenCase{4, {8, 5}, {399, 299}, RowOrigin::FromTop, {7, 4, 4}},
        ScreenCase{4, {8, 5}, {400 + 256, 300 + 512}, RowOrigin::FromTop, {9, 7, 4}},
        // Bottom-counted services: row 0 is the southernmost.
        ScreenCase{4, {8, 5}, {400, 300}, RowOrigin::FromBottom, {8, 10, 4}},
        ScreenCase{1, {1, 1}, {300, 200}, RowOrigin::FromBottom, {0, 1, 1}},
        ScreenCase{18, {131072.25, 87000.75}, {400, 300}, RowOrigin::FromTop, {131072, 87000, 18}},
        // Off the grid the numbers fall as they are.
        ScreenCase{2, {0, 0}, {0, 0}, RowOrigin::FromTop, {-2, -2, 2}}));

struct DegreesCase {
  int zoom;
  TilePoint point;
  GeoPoint degrees;
};

class TileToDegrees : public testing::TestWithParam<DegreesCase> {};

TEST_P(TileToDegrees, ConvertsBothWays) {
  const DegreesCase& c = GetParam();
  const GeoPoint g = TilePointToDegrees(c.point, c.zoom);
  EXPECT_NEAR(g.longitude, c.degrees.longitude, 1e-9);
  EXPECT_NEAR(g.latitude, c.degrees.latitude, 1e-9);
  const TilePoint back = DegreesToTilePoint(c.degrees, c.zoom);
  EXPECT_NEAR(back.x, c.point.x, 1e-6);
  EXPECT_NEAR(back.y, c.point.y, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(SeveralZooms, TileToDegrees,
                         testing::Values(DegreesCase{0, {0, 0}, {-180, 85.0511287798066}},
                                         DegreesCase{0, {1, 1}, {180, -85.0511287798066}},
                                         DegreesCase{1, {1, 1}, {0, 0}},
                                         DegreesCase{3, {1, 4}, {-135, 0}},
                                         DegreesCase{4, {8, 5}, {0, 55.7765730186677}},
                                         DegreesCase{10, {512.5, 512}, {0.17578125, 0}}));

TEST(DegreesToTilePoint, HoldsPolesAtTheGridEdge) {
  EXPECT_NEAR(DegreesToTilePoint({0, 90}, 3).y, 0, 1e-9);
  EXPECT_NEAR(DegreesToTilePoint({0, -90}, 3).y, 8, 1e-9);
}

TEST(ServiceRow, CountsFromTheChosenEdge) {
  EXPECT_EQ(ServiceRow(0, 3, RowOrigin::FromBottom), 7);
  EXPECT_EQ(ServiceRow(7, 3, RowOrigin::FromBottom), 0);
  EXPECT_EQ(ServiceRow(5, 3, RowOrigin::FromTop), 5);
  EXPECT_EQ(ServiceRow(ServiceRow(2, 10, RowOrigin::FromBottom), 10, RowOrigin::FromBottom), 2);
}

TEST(VisibleTiles, CoversTheViewAndClipsToTheGrid) {
  // 512x512 view centred on a grid line: exactly 2x2 tiles.
  TileRange r = VisibleTiles({{8, 8}, 4, 512, 512});
  EXPECT_EQ(r.minX, 7);
  EXPECT_EQ(r.maxX, 8);
  EXPECT_EQ(r.minY, 7);
  EXPECT_EQ(r.maxY, 8);
  EXPECT_EQ(r.Count(), 4);
  // Half a tile off: one more column and row.
  r = VisibleTiles({{8.5, 8.5}, 4, 512, 512});
  EXPECT_EQ(r.Count(), 9);
  // Zoom 0 in a large window: the one tile only.
  r = VisibleTiles({{0.5, 0.5}, 0, 1280, 900});
  EXPECT_EQ(r.Count(), 1);
  // Wholly off the grid, and an empty window.
  EXPECT_TRUE(VisibleTiles({{-10, -10}, 2, 100, 100}).Empty());
  EXPECT_TRUE(VisibleTiles({{1, 1}, 2, 0, 100}).Empty());
}

TEST(ZoomAround, KeepsThePointUnderTheCursor) {
  const Viewport view{{8.3, 5.7}, 4, 800, 600};
  const ScreenPoint cursor{123, 456};
  const GeoPoint before = TilePointToDegrees(ScreenToTilePoint(view, cursor), view.zoom);
  for (int zoom : {5, 3, 9}) {
    const Viewport zoomed = ZoomAround(view, zoom, cursor);
    EXPECT_EQ(zoomed.zoom, zoom);
    const GeoPoint after = TilePointToDegrees(ScreenToTilePoint(zoomed, cursor), zoomed.zoom);
    EXPECT_NEAR(after.longitude, before.longitude, 1e-9);
    EXPECT_NEAR(after.latitude, before.latitude, 1e-9);
  }
  EXPECT_EQ(ZoomAround(view, 40, cursor).zoom, kMaxViewZoom);
  EXPECT_EQ(ZoomAround(view, -1, cursor).zoom, 0);
}

TEST(PanBy, StaysOnTheGrid) {
  const Viewport view{{1, 1}, 1, 100, 100};
  EXPECT_DOUBLE_EQ(PanBy(view, 128, -128).center.x, 1.5);
  EXPECT_DOUBLE_EQ(PanBy(view, 128, -128).center.y, 0.5);
  EXPECT_DOUBLE_EQ(PanBy(view, 10000, 0).center.x, 2);
  EXPECT_DOUBLE_EQ(PanBy(view, 0, -10000).center.y, 0);
}

TEST(FitRectangle, PicksTheDeepestZoomThatHoldsIt) {
  // 10 degrees is 455 pixels wide at zoom 6 and 910 at zoom 7.
  const Viewport view = FitRectangle({10, 5}, {20, -5}, 800, 800, 18);
  EXPECT_EQ(view.zoom, 6);
  const GeoPoint middle = TilePointToDegrees(view.center, view.zoom);
  EXPECT_NEAR(middle.longitude, 15, 1e-9);
  EXPECT_NEAR(middle.latitude, 0, 1e-9);
  EXPECT_EQ(FitRectangle({-180, 85}, {180, -85}, 100, 100, 18).zoom, 0);
}

}  // namespace

namespace {

// A task at zoom 10 seen from views at other zooms.
TEST(TilesAtAnotherZoom, SizeRangeAndTileUnderThePixel) {
  const Viewport view{{128, 85}, 8, 800, 600};  // the middle shows zoom 10's tile point (512, 340)
  EXPECT_DOUBLE_EQ(TileScreenSize(view, 10), 64);
  EXPECT_DOUBLE_EQ(TileScreenSize(view, 6), 1024);
  // 800x600 pixels at zoom 8 span 3.125x2.34 view tiles: 12.5x9.4 tiles at zoom 10,
  // from 505.75 to 518.25 and 335.3 to 344.7.
  const TileRange range = VisibleTilesAtZoom(view, 10);
  EXPECT_EQ(range.minX, 505);
  EXPECT_EQ(range.maxX, 518);
  EXPECT_EQ(range.minY, 335);
  EXPECT_EQ(range.maxY, 344);
  EXPECT_EQ(TileUnder(view, {400, 300}, 10, RowOrigin::FromTop), (TileKey{512, 340, 10}));
  EXPECT_EQ(TileUnder(view, {400, 300}, 10, RowOrigin::FromBottom), (TileKey{512, 1023 - 340, 10}));
  EXPECT_EQ(TileUnder(view, {400, 300}, 6, RowOrigin::FromTop), (TileKey{32, 21, 6}));
  const ScreenPoint corner = TileCornerOnScreen(view, 512, 340, 10);
  EXPECT_DOUBLE_EQ(corner.x, 400);
  EXPECT_DOUBLE_EQ(corner.y, 300);
  // Clipped to the grid of the other zoom.
  const TileRange world = VisibleTilesAtZoom({{0.5, 0.5}, 0, 800, 600}, 1);
  EXPECT_EQ(world.minX, 0);
  EXPECT_EQ(world.maxX, 1);
  EXPECT_EQ(world.maxY, 1);
}

}  // namespace
