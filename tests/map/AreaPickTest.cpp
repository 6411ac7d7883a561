#include <gtest/gtest.h>

#include "AreaPick.h"
#include "MapServices.h"
#include "TextFormat.h"

namespace {

TEST(AreaBetween, OrdersAndClampsTheCorners) {
  const AreaPick a = AreaBetween({20, -10}, {-200, 89});
  EXPECT_EQ(a.left, -180);
  EXPECT_EQ(a.right, 20);
  EXPECT_EQ(a.top, kEntryLatitudeLimit);
  EXPECT_EQ(a.bottom, -10);
}

TEST(EntryText, WritesSixDecimals) {
  EXPECT_EQ(EntryText(10), "10.000000");
  EXPECT_EQ(EntryText(-85.0511), "-85.051100");
  EXPECT_EQ(EntryText(0.1234567), "0.123457");
  EXPECT_EQ(EntryText(-0.0000001), "0.000000");
}

TEST(CheckArea, GivesTheEntriesOrTheRefusal) {
  AreaCheck check = CheckArea({10, 20, 50, 40}, 4, 8);
  ASSERT_TRUE(check.entries);
  EXPECT_EQ(check.entries->left, "10.000000");
  EXPECT_EQ(check.entries->right, "20.000000");
  EXPECT_EQ(check.entries->top, "50.000000");
  EXPECT_EQ(check.entries->bottom, "40.000000");
  EXPECT_EQ(check.tiles, 2);
  EXPECT_EQ(CheckArea({10, 20, 50, 40}, 4, 5).tiles, 2);  // bottom-counted rows

  // Narrower than the entries' last decimal: nothing the set-up would take.
  EXPECT_FALSE(CheckArea({10, 10.0000001, 50, 40}, 4, 8).entries);
  EXPECT_FALSE(CheckArea({10, 20, 40, 40}, 4, 8).entries);
  // The whole world at zoom 17 is 2^34 tiles, more than a task counts.
  check = CheckArea(AreaBetween({-180, 90}, {180, -90}), 17, 8);
  EXPECT_FALSE(check.entries);
  EXPECT_GT(check.tiles, int64_t{1} << 33);
  EXPECT_FALSE(check.refusal.empty());
  EXPECT_TRUE(CheckArea(AreaBetween({-180, 90}, {180, -90}), 15, 8).entries);
}

TEST(AreaFromEntries, ReadsOnlyUsableEntries) {
  const auto area = AreaFromEntries({"10", "20", "50", "40"});
  ASSERT_TRUE(area);
  EXPECT_EQ(area->left, 10);
  EXPECT_EQ(area->bottom, 40);
  EXPECT_FALSE(AreaFromEntries({"", "20", "50", "40"}));
  EXPECT_FALSE(AreaFromEntries({"10", "200", "50", "40"}));
  EXPECT_FALSE(AreaFromEntries({"10", "20", "abc", "40"}));
}

}  // namespace

namespace {

// At zoom 2 a tile is 90 degrees wide and the rows meet at 66.51, 0 and
// -66.51 degrees. The triangle's long side runs from (170, 60) to (-170, -60)
// and passes exactly through the corner (0, 0) of four tiles.
const std::vector<GeoPoint> kTriangle{{-170, 60}, {170, 60}, {-170, -60}};

TEST(CheckPolygonPick, CountsTheTilesInsideAtEachLevel) {
  // Its bounding rectangle takes columns 0..3 of rows 1 and 2; the triangle
  // leaves out the two tiles east of the corner it only touches.
  PickCheck check = CheckPolygonPick(kTriangle, 2, kOpenStreetMap);
  ASSERT_TRUE(check.picked) << check.refusal;
  ASSERT_EQ(check.levels.size(), 1u);
  EXPECT_EQ(check.levels[0].tiles, 6);
  EXPECT_EQ(CheckRectanglePick({-170, 170, 60, -60}, 2, kOpenStreetMap).total, 8);
  EXPECT_EQ(check.picked->entries.left, "-170.000000");
  EXPECT_EQ(check.picked->entries.bottom, "-60.000000");
  ASSERT_TRUE(check.picked->area);
  // The 340-degree edge runs across the middle of the map, as drawn, not
  // the short way over 180 degrees: a corner halfway keeps it there.
  const AreaRing& shell = check.picked->area->polygons.at(0).shell;
  ASSERT_EQ(shell.size(), 5u);
  EXPECT_EQ(shell[1], (LonLat{0, 60}));
  EXPECT_EQ(shell[3], (LonLat{0, 0}));

  // A range counts every level; a polygon over a whole rectangle's tiles
  // counts as the rectangle, whichever way the service counts rows.
  const std::vector<GeoPoint> box{{10.3, 50.7}, {20.9, 50.7}, {20.9, 40.2}, {10.3, 40.2}};
  for (const int32_t mapsType : {kOpenStreetMap, 5}) {
    check = CheckPolygonPick(box, ZoomLevels(9, 7), mapsType);
    const PickCheck rectangle = CheckRectanglePick({10.3, 20.9, 50.7, 40.2}, ZoomLevels(7, 9), mapsType);
    ASSERT_EQ(check.levels.size(), 3u);
    EXPECT_EQ(check.levels[0].zoom, 7);
    EXPECT_EQ(check.levels[2].zoom, 9);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(check.levels[i].tiles, rectangle.levels[i].tiles);
    EXPECT_EQ(check.total, rectangle.levels[0].tiles + rectangle.levels[1].tiles + rectangle.levels[2].tiles);
  }
}

TEST(CheckPolygonPick, RefusesWhatTheTaskWouldRefuse) {
  struct Case {
    std::vector<GeoPoint> corners;
    int zoom;
    std::string refusal;
  };
  const Case cases[] = {
      {{{0, 0}, {10, 10}}, 5, "A polygon needs three corners or more"},
      {{{0, 10}, {5, 10}, {10, 10}}, 5, "The polygon has no width or height"},
      {{{-179, 80}, {179, 80}, {179, -80}, {0, -80}}, 18, "More tiles than a task can count at zoom 18"},
  };
  for (const Case& c : cases) {
    const PickCheck check = CheckPolygonPick(c.corners, c.zoom, kOpenStreetMap);
    EXPECT_FALSE(check.picked);
    EXPECT_NE(check.refusal.find(c.refusal), std::string::npos) << check.refusal;
  }
}

TEST(PolygonArea, RoundsCornersSoTheEntriesHoldItsBoundsExactly) {
  const Area area = PolygonArea({{10.12345678, 47.98765432}, {11.5, 48.1}, {10.9, 46.00000049}});
  const PickCheck check = CheckPolygonPick({{10.12345678, 47.98765432}, {11.5, 48.1}, {10.9, 46.00000049}}, 10, 8);
  ASSERT_TRUE(check.picked);
  EXPECT_EQ(*check.picked->area, area);
  const AreaBounds bounds = BoundsOf(area);
  EXPECT_EQ(check.picked->entries.left, "10.123457");
  EXPECT_EQ(EntryText(bounds.west), check.picked->entries.left);
  EXPECT_EQ(std::stod(check.picked->entries.left), bounds.west);
  EXPECT_EQ(std::stod(check.picked->entries.bottom), bounds.south);
  EXPECT_EQ(std::stod(check.picked->entries.top), bounds.north);
}

TEST(PickTilesText, OneLevelOrARange) {
  PickCheck check;
  EXPECT_EQ(PickTilesText(check), "");
  check.picked = PickedArea{};
  check.levels = {{12, 66306}};
  check.total = 66306;
  EXPECT_EQ(PickTilesText(check), "66306 tiles at zoom 12, " + SizeEstimateText(66306));
  check.levels = {{12, 6}, {13, 20}, {14, 80}};
  check.total = 106;
  EXPECT_EQ(PickTilesText(check), "106 tiles at zooms 12 to 14 (12: 6, 13: 20, 14: 80), " + SizeEstimateText(106));
}

}  // namespace
