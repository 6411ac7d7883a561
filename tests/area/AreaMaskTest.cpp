#include <gtest/gtest.h>

#include <ostream>
#include <algorithm>
#include <string>

#include "AreaMask.h"
#include "AreaOracle.h"

void PrintTo(const MaskTile& t, std::ostream* os) { *os << "(" << t.x << "," << t.y << ")"; }

namespace {

struct MaskCase {
  std::string name;
  Area area;
  int zoom;
  RowOrigin origin;
  TileRect rect;
  bool exact = true;  // no edge passes a corner it does not meet within rounding
};

void PrintTo(const MaskCase& c, std::ostream* os) { *os << c.name; }

// Grid lines in the origin's own arithmetic, rows counted from the south,
// so that designed edges lie exactly on the tiles' borders.
struct Lines {
  int zoom;
  RowOrigin origin;
  double x(double k) const { return static_cast<double>(ColumnToLongitude(k, static_cast<uint8_t>(zoom))); }
  double y(double u) const {
    const double side = std::ldexp(1.0, zoom);
    return RowToLatitude(origin == RowOrigin::FromBottom ? u : side - u, static_cast<uint8_t>(zoom), origin);
  }
  // A point a fraction of the way across the tile whose south-west corner is (k, u).
  LonLat at(int k, double fx, int u, double fy) const {
    return {x(k) + fx * (x(k + 1) - x(k)), y(u) + fy * (y(u + 1) - y(u))};
  }
  AreaRing box(int k0, int u0, int k1, int u1) const { return {{x(k0), y(u0)}, {x(k1), y(u0)}, {x(k1), y(u1)}, {x(k0), y(u1)}}; }
};

TileRect RectOfArea(const Area& area, int zoom, RowOrigin origin) {
  const AreaBounds b = BoundsOf(area);
  return RectOver(b.west, b.east, b.south, b.north, zoom, origin);
}

TileRect Grown(TileRect r, int by) { return {r.MinX - by, r.MinY - by, r.MaxX + by, r.MaxY + by}; }

Area Polygons(std::vector<AreaPolygon> polygons) {
  Area area;
  area.polygons = std::move(polygons);
  return area;
}

MaskCase Designed(std::string name, Area area, const Lines& g) {
  const TileRect rect = Grown(RectOfArea(area, g.zoom, g.origin), 1);
  return {std::move(name), std::move(area), g.zoom, g.origin, rect};
}

void AddDesigned(std::vector<MaskCase>& cases, RowOrigin origin) {
  const std::string suffix = origin == RowOrigin::FromTop ? "_top" : "_bottom";
  const Lines g{4, origin};
  cases.push_back(Designed("square_on_borders" + suffix, Polygons({{g.box(5, 6, 8, 9), {}}}), g));
  cases.push_back(Designed("squares_touching_at_a_corner" + suffix,
                           Polygons({{g.box(2, 2, 4, 4), {}}, {g.box(4, 4, 6, 6), {}}}), g));
  cases.push_back(Designed("triangle_from_a_corner" + suffix,
                           Polygons({{{{g.x(5), g.y(5)}, g.at(5, 0.9, 5, 0.3), g.at(5, 0.4, 5, 0.95)}, {}}}), g));
  cases.push_back(Designed("triangle_touching_a_corner_from_outside" + suffix,
                           Polygons({{{{g.x(5), g.y(5)}, g.at(4, 0.1, 4, 0.6), g.at(4, 0.6, 4, 0.1)}, {}}}), g));
  cases.push_back(Designed("edge_on_a_column_border" + suffix,
                           Polygons({{{{g.x(7), g.y(3)}, g.at(10, 0.3, 5, 0.2), {g.x(7), g.y(9)}}, {}}}), g));
  cases.push_back(Designed("edge_on_a_row_border" + suffix,
                           Polygons({{{{g.x(3), g.y(6)}, {g.x(9), g.y(6)}, g.at(6, 0.5, 10, 0.7)}, {}}}), g));
  cases.push_back(Designed("hole_on_borders" + suffix, Polygons({{g.box(2, 2, 10, 10), {g.box(4, 4, 6, 6)}}}), g));
  cases.push_back(Designed("hole_partly_covered_by_another_polygon" + suffix,
                           Polygons({{g.box(2, 2, 10, 10), {g.box(4, 4, 8, 8)}},
                                     {{g.at(5, 0.5, 5, 0.5), g.at(6, 0.5, 5, 0.2), g.at(6, 0.1, 6, 0.9)}, {}}}),
                           g));
  cases.push_back(Designed("concave_notch_between_tiles" + suffix,
                           Polygons({{{{g.x(2), g.y(2)}, {g.x(9), g.y(2)}, {g.x(9), g.y(9)}, g.at(5, 0.5, 3, 0.5),
                                       {g.x(2), g.y(9)}},
                                      {}}}),
                           g));
  Area line;
  line.lines = {{{g.x(3), g.y(5)}, {g.x(8), g.y(5)}}, {{g.x(10), g.y(2)}, {g.x(10), g.y(4)}}};
  cases.push_back(Designed("lines_along_borders" + suffix, line, g));
  Area points;
  points.points = {{g.x(3), g.y(3)}, g.at(6, 0.5, 7, 0.5), {g.x(9), g.y(5) + 0.1}};
  cases.push_back(Designed("points_on_a_corner_inside_and_on_a_border" + suffix, points, g));

  // Longitude 0 at zoom 10 falls into the column west of it by the grid's own rounding.
  const Lines z10{10, origin};
  const Area meridian = Polygons({{z10.box(512, 600, 513, 602), {}}});
  cases.push_back({"square_east_of_the_prime_meridian" + suffix, meridian, 10, origin,
                   RectOfArea(meridian, 10, origin)});

  Area polar{{{{{-30, 70}, {40, 70}, {40, 89}, {-30, 89}}, {}}}, {}, {}};
  cases.push_back({"beyond_the_north_edge" + suffix, polar, 3, origin, Grown(RectOfArea(polar, 3, origin), 1)});

  Area big{{{{{-100, -40}, {60, -50}, {80, 30}, {-20, 60}, {-120, 20}}, {}}}, {}, {}};
  TileRect part = RectOfArea(big, 5, origin);
  part.MinX += 5;
  part.MaxX -= 7;
  part.MinY += 4;
  cases.push_back({"rectangle_smaller_than_the_area" + suffix, big, 5, origin, part});
}

// Concave polygons, some with a hole, some overlapping, with a route and a
// point now and then: across the world at zooms 0 to 8, or close up (all
// parts within a few tiles of one place) at zooms 12 to 24.
void AddRandom(std::vector<MaskCase>& cases, int count, bool closeUp) {
  for (int seed = 0; seed < count; ++seed) {
    std::mt19937 random(static_cast<unsigned>(closeUp ? 5000 + seed : seed));
    const auto pick = [&](double low, double high) { return std::uniform_real_distribution<double>(low, high)(random); };
    const int zoom = closeUp ? std::uniform_int_distribution<int>(12, 24)(random)
                             : std::uniform_int_distribution<int>(0, 8)(random);
    const RowOrigin origin = seed % 2 ? RowOrigin::FromBottom : RowOrigin::FromTop;
    const double tile = 360.0 / std::ldexp(1.0, zoom);
    const double scale = closeUp ? 3 * tile : std::max(0.5, tile);
    const LonLat place{pick(-120, 120), pick(-55, 55)};
    const auto somewhere = [&] {
      return closeUp ? LonLat{place.longitude + scale * pick(-5, 5), place.latitude + scale * pick(-5, 5)}
                     : LonLat{pick(-120, 120), pick(-55, 55)};
    };
    Area area;
    const int polygons = std::uniform_int_distribution<int>(seed % 5 == 4 ? 0 : 1, 3)(random);
    for (int i = 0; i < polygons; ++i) {
      const LonLat centre = somewhere();
      // Within the map: the area readers refuse anything else.
      const double r = std::min({scale * pick(0.5, 5), 179 - std::abs(centre.longitude), (84 - std::abs(centre.latitude)) / 0.7});
      const int corners = std::uniform_int_distribution<int>(3, 40)(random);
      AreaPolygon polygon{StarRing(random, centre, 0.6 * r, r, corners), {}};
      // With 8 corners or more the shell keeps 0.45 r around its centre free for the hole.
      if (corners >= 8 && pick(0, 1) < 0.5) polygon.holes.push_back(StarRing(random, centre, 0.1 * r, 0.3 * r, 12));
      area.polygons.push_back(std::move(polygon));
    }
    if (polygons == 0 || pick(0, 1) < 0.3) {
      std::vector<LonLat> route{somewhere()};
      for (int i = 0; i < 15; ++i)
        route.push_back({std::clamp(route.back().longitude + scale * pick(-2, 2), -179.0, 179.0),
                         std::clamp(route.back().latitude + scale * pick(-1, 1), -80.0, 80.0)});
      area.lines.push_back(route);
      area.points.push_back(closeUp ? somewhere() : LonLat{pick(-179, 179), pick(-80, 80)});
    }
    TileRect rect = RectOfArea(area, zoom, origin);
    if (seed % 3 == 0) rect.MaxX -= (rect.MaxX - rect.MinX) / 3;
    cases.push_back({(closeUp ? "close_up_" : "random_") + std::to_string(seed), area, zoom, origin, rect, false});
  }
}

// Boxes on tile borders, some with a hole on borders, and triangles with their
// corners on tile corners: every edge lies along a border or starts at a corner.
void AddOnTheGrid(std::vector<MaskCase>& cases, int count) {
  for (int seed = 0; seed < count; ++seed) {
    std::mt19937 random(static_cast<unsigned>(1000 + seed));
    const auto line = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    const Lines g{line(3, 6), seed % 2 ? RowOrigin::FromBottom : RowOrigin::FromTop};
    const int last = (1 << g.zoom) - 1;
    Area area;
    for (int i = line(1, 4); i > 0; --i) {
      const int k = line(1, last - 5), u = line(1, last - 5);
      if (line(0, 1) == 0) {
        const int k1 = k + line(1, 4), u1 = u + line(1, 4);
        AreaPolygon box{g.box(k, u, k1, u1), {}};
        if (k1 - k >= 3 && u1 - u >= 3) box.holes.push_back(g.box(k + 1, u + 1, k1 - 1, u1 - 1));
        area.polygons.push_back(box);
      } else {
        const int k1 = k + line(-1, 4), u1 = u + line(1, 4), k2 = k + line(1, 4), u2 = u + line(-1, 4);
        if ((k1 - k) * (u2 - u) == (k2 - k) * (u1 - u)) continue;  // all on one line
        area.polygons.push_back({{{g.x(k), g.y(u)}, {g.x(k1), g.y(u1)}, {g.x(k2), g.y(u2)}}, {}});
      }
    }
    if (area.Empty()) continue;
    cases.push_back(Designed("on_the_grid_" + std::to_string(seed), area, g));
    cases.back().exact = false;  // a long edge may pass another corner within 1e-14 degrees
  }
}

std::vector<MaskCase> AllCases() {
  std::vector<MaskCase> cases;
  AddDesigned(cases, RowOrigin::FromTop);
  AddDesigned(cases, RowOrigin::FromBottom);
  AddRandom(cases, 120, false);
  AddRandom(cases, 40, true);
  AddOnTheGrid(cases, 60);
  std::mt19937 random(7);
  Area town{{{StarRing(random, {11.4, 47.26}, 0.05, 0.15, 60), {}}}, {}, {}};
  cases.push_back({"town_at_zoom_14", town, 14, RowOrigin::FromTop, RectOfArea(town, 14, RowOrigin::FromTop)});
  return cases;
}

class AreaMaskOracleTest : public testing::TestWithParam<MaskCase> {};

TEST_P(AreaMaskOracleTest, HoldsExactlyTheTilesTheOracleFinds) {
  const MaskCase& c = GetParam();
  const AreaMask mask = BuildAreaMask(c.area, c.zoom, c.origin, c.rect);
  const OracleAnswer oracle = AskOracle(c.area, c.zoom, c.origin, c.rect);
  // Designed borders and corners are exact: no tile may be left to rounding.
  if (c.exact) {
    EXPECT_EQ(oracle.either, std::vector<MaskTile>{});
  }
  const auto isEither = [&](const MaskTile& t) {
    return std::find(oracle.either.begin(), oracle.either.end(), t) != oracle.either.end();
  };

  std::vector<MaskTile> walked(mask.begin(), mask.end());
  EXPECT_EQ(mask.TileCount(), static_cast<int64_t>(walked.size()));
  std::erase_if(walked, isEither);
  EXPECT_EQ(walked, oracle.inside);
  EXPECT_EQ(mask.Empty(), mask.TileCount() == 0);

  for (int32_t x = c.rect.MinX - 1; x <= c.rect.MaxX + 1; ++x) {
    for (int32_t y = c.rect.MinY - 1; y <= c.rect.MaxY + 1; ++y) {
      const MaskTile t{x, y};
      if (isEither(t)) continue;
      const bool inside = std::find(oracle.inside.begin(), oracle.inside.end(), t) != oracle.inside.end();
      ASSERT_EQ(mask.Contains(x, y), inside) << x << "," << y;
    }
  }
  int64_t before = 0;
  for (const int32_t x : mask.Columns()) {
    EXPECT_EQ(mask.TilesBefore(x), before);
    const auto runs = mask.Runs(x);
    ASSERT_FALSE(runs.empty());
    for (std::size_t i = 0; i < runs.size(); ++i) {
      EXPECT_LE(runs[i].first, runs[i].last);
      if (i > 0) {
        EXPECT_GT(runs[i].first, runs[i - 1].last + 1) << "runs must be apart";
      }
      before += runs[i].last - runs[i].first + 1;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Areas, AreaMaskOracleTest, testing::ValuesIn(AllCases()),
                         [](const testing::TestParamInfo<MaskCase>& info) { return info.param.name; });

TEST(AreaMaskTest, ARingThatCrossesItselfKeepsBothLobes) {
  // A figure eight crossing itself at (0, 0): the same tiles as its two lobes drawn apart.
  const Area bowtie{{{{{-40, -40}, {40, 40}, {-40, 40}, {40, -40}}, {}}}, {}, {}};
  const Area lobes{{{{{-40, -40}, {0, 0}, {40, -40}}, {}}, {{{0, 0}, {40, 40}, {-40, 40}}, {}}}, {}, {}};
  for (const RowOrigin origin : {RowOrigin::FromTop, RowOrigin::FromBottom}) {
    const TileRect rect{0, 0, 15, 15};
    const AreaMask mask = BuildAreaMask(bowtie, 4, origin, rect);
    const std::vector<MaskTile> walked(mask.begin(), mask.end());
    EXPECT_EQ(walked, AskOracle(lobes, 4, origin, rect).inside);
  }
}

TEST(AreaMaskTest, AnEmptyRectangleOrAnAreaOutsideItHoldsNoTile) {
  const Area area{{{{{10, 10}, {20, 10}, {20, 20}}, {}}}, {{{0, 0}, {1, 1}}}, {{5, 5}}};
  EXPECT_TRUE(BuildAreaMask(area, 6, RowOrigin::FromTop, {5, 5, 4, 4}).Empty());
  const AreaMask elsewhere = BuildAreaMask(area, 6, RowOrigin::FromTop, RectOver(-50, -40, -30, -20, 6, RowOrigin::FromTop));
  EXPECT_TRUE(elsewhere.Empty());
  EXPECT_EQ(elsewhere.TileCount(), 0);
  EXPECT_EQ(elsewhere.begin(), elsewhere.end());
  EXPECT_THROW(BuildAreaMask(area, 31, RowOrigin::FromTop, {0, 0, 1, 1}), AreaError);
}

}  // namespace
