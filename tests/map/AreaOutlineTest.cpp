#include <gtest/gtest.h>

#include <cmath>

#include "AreaOutline.h"

namespace {

Area Polygon(std::vector<LonLat> shell) {
  Area area;
  area.polygons.push_back({std::move(shell), {}});
  return area;
}

ScreenPoint Projected(const Viewport& view, LonLat p) {
  return TilePointToScreen(view, DegreesToTilePoint({p.longitude, p.latitude}, view.zoom));
}

double Distance(ScreenPoint a, ScreenPoint b) { return std::hypot(a.x - b.x, a.y - b.y); }

// The distance from p to the nearest point of the outline's paths.
double NearestOnPaths(const OutlineInView& outline, ScreenPoint p) {
  double best = 1e300;
  for (const ScreenPath& path : outline.paths)
    for (const ScreenPoint& q : path.points) best = std::min(best, Distance(p, q));
  return best;
}

TEST(OutlineOf, AWholeRingInViewIsOneClosedPathAlongItsCurvedEdges) {
  const Viewport view{{8, 5.5}, 4, 1024, 768};  // 0..45 E, about 30..66 N
  const Area area = Polygon({{5, 60}, {40, 60}, {5, 35}});
  const OutlineInView outline = OutlineOf(area, view);
  ASSERT_EQ(outline.paths.size(), 1u);
  const std::vector<ScreenPoint>& points = outline.paths[0].points;
  EXPECT_LT(Distance(points.front(), Projected(view, {5, 60})), 1e-6);
  EXPECT_LT(Distance(points.back(), Projected(view, {5, 60})), 1e-6);
  for (const LonLat corner : area.polygons[0].shell) EXPECT_LT(NearestOnPaths(outline, Projected(view, corner)), 1e-6);
  // The diagonal's middle in degrees lies on the outline, well off the straight chord between its ends.
  const ScreenPoint middle = Projected(view, {22.5, 47.5});
  const ScreenPoint a = Projected(view, {40, 60}), b = Projected(view, {5, 35});
  const ScreenPoint chord{(a.x + b.x) / 2, (a.y + b.y) / 2};
  EXPECT_GT(Distance(middle, chord), 10);
  EXPECT_LT(NearestOnPaths(outline, middle), kOutlinePiecePixels);
  for (std::size_t i = 1; i < points.size(); ++i)
    EXPECT_LE(Distance(points[i - 1], points[i]), kOutlinePiecePixels * 1.1);
}

TEST(OutlineOf, ADeepZoomGivesOnlyWhatLiesInViewAndNearIt) {
  // Zoom 19 near (11.0, 48.0): the triangle's edges are hundreds of
  // kilometres long; one crosses the view.
  const Viewport far{DegreesToTilePoint({11.0, 48.0}, 19), 19, 800, 600};
  const Area area = Polygon({{9, 46}, {13, 50}, {13, 46}});
  const OutlineInView outline = OutlineOf(area, far);
  ASSERT_EQ(outline.paths.size(), 1u);
  for (const ScreenPoint& p : outline.paths[0].points) {
    EXPECT_GE(p.x, -kOutlineMarginPixels - 1e-6);
    EXPECT_LE(p.x, 800 + kOutlineMarginPixels + 1e-6);
    EXPECT_GE(p.y, -kOutlineMarginPixels - 1e-6);
    EXPECT_LE(p.y, 600 + kOutlineMarginPixels + 1e-6);
  }
  EXPECT_GT(outline.paths[0].points.size(), 50u);
  // Away from the edges nothing is drawn; a line and a point out of view neither.
  Area elsewhere = Polygon({{9, 46}, {10, 47}, {10, 46}});
  elsewhere.lines.push_back({{0, 0}, {1, 1}});
  elsewhere.points.push_back({12, 48});
  EXPECT_TRUE(OutlineOf(elsewhere, far).paths.empty());
  EXPECT_TRUE(OutlineOf(elsewhere, far).points.empty());
}

TEST(OutlineOf, ARingLeavingTheViewJoinsAtItsFirstCorner) {
  // The first corner is in view, the middle of the ring is not: one path
  // through the first corner, however the ring is started.
  const Viewport view{DegreesToTilePoint({10, 50}, 8), 8, 400, 400};
  const Area area = Polygon({{10, 50}, {30, 50}, {30, 30}, {10, 30}});
  const OutlineInView outline = OutlineOf(area, view);
  ASSERT_EQ(outline.paths.size(), 1u);
  EXPECT_LT(NearestOnPaths(outline, Projected(view, {10, 50})), 1e-6);
  // It enters at the bottom (the closing edge) and leaves on the right (the first edge).
  EXPECT_NEAR(outline.paths[0].points.front().y, 400 + kOutlineMarginPixels, 1e-6);
  EXPECT_NEAR(outline.paths[0].points.back().x, 400 + kOutlineMarginPixels, 1e-6);
  // Points and open lines.
  Area marks;
  marks.points = {{10, 50}, {10.1, 50.05}};
  marks.lines.push_back({{9.9, 50}, {10.1, 50}});
  const OutlineInView drawn = OutlineOf(marks, view);
  EXPECT_EQ(drawn.points.size(), 2u);
  ASSERT_EQ(drawn.paths.size(), 1u);
}

}  // namespace
