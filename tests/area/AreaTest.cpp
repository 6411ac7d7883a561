#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "Area.h"

namespace {

Area Line(std::vector<LonLat> points) {
  Area area;
  area.lines.push_back(std::move(points));
  return area;
}

Area Polygon(AreaRing shell) {
  Area area;
  area.polygons.push_back({std::move(shell), {}});
  return area;
}

std::string RefusalOf(const Area& area) {
  try {
    ValidateArea(area, "The area file a.geojson");
  } catch (const AreaError& e) {
    return e.what();
  }
  return "";
}

struct ValidationCase {
  const char* name;
  Area area;
  const char* refusal;  // a part of the message; "" when accepted
};

class ValidateAreaTest : public testing::TestWithParam<ValidationCase> {};

TEST_P(ValidateAreaTest, RefusesWhatCannotBeDownloaded) {
  const ValidationCase& c = GetParam();
  const std::string refusal = RefusalOf(c.area);
  if (std::string(c.refusal).empty()) {
    EXPECT_EQ(refusal, "");
  } else {
    EXPECT_NE(refusal.find(c.refusal), std::string::npos) << refusal;
    EXPECT_EQ(refusal.rfind("The area file a.geojson ", 0), 0u) << refusal;
  }
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr const char* kSplit = "crosses the antimeridian (180 degrees of longitude). Split it into one area on each side";

INSTANTIATE_TEST_SUITE_P(
    Areas, ValidateAreaTest,
    testing::Values(
        ValidationCase{"a_route", Line({{10, 45}, {11, 46}}), ""},
        ValidationCase{"nothing", Area{}, "holds no geometry"},
        ValidationCase{"not_a_number", Line({{10, kNaN}, {11, 46}}), "not a number"},
        ValidationCase{"latitude_beyond_90", Line({{10, 91}, {11, 46}}), "latitude of 91, beyond 90"},
        ValidationCase{"longitude_beyond_180", Line({{179, 0}, {181, 0}}), kSplit},
        ValidationCase{"longitude_nowhere_on_earth", Line({{1e300, 0}, {11, 46}}), "longitude of 1E300, beyond 180"},
        ValidationCase{"longitude_nowhere_west", Line({{10, 0}, {-361, 46}}), "longitude of -361, beyond 180"},
        ValidationCase{"a_step_across_180", Line({{179, 0}, {-179, 1}}), kSplit},
        ValidationCase{"a_closing_edge_across_180", Polygon({{170, 0}, {175, 5}, {-175, 5}}), kSplit},
        ValidationCase{"the_whole_map_from_edge_to_edge", Polygon({{-180, -80}, {180, -80}, {180, 80}, {-180, 80}}), ""},
        ValidationCase{"a_ring_of_two_points", Polygon({{0, 0}, {1, 1}}), "fewer than 3 points"},
        ValidationCase{"a_line_of_one_point", Line({{0, 0}}), "fewer than 2 points"},
        ValidationCase{"a_polygon_beyond_the_map", Polygon({{0, 86}, {10, 86}, {5, 89}}), "lies wholly beyond the map"},
        ValidationCase{"a_polygon_on_the_map_edge_only",
                       Polygon({{0, kMapLatitudeLimit}, {10, kMapLatitudeLimit}, {5, 89}}), "lies wholly beyond"},
        ValidationCase{"a_polygon_reaching_into_the_map", Polygon({{0, 80}, {10, 86}, {5, 89}}), ""},
        ValidationCase{"a_line_on_the_map_edge", Line({{0, -kMapLatitudeLimit}, {10, -88}}), ""}),
    [](const testing::TestParamInfo<ValidationCase>& info) { return info.param.name; });

TEST(ParseBufferMetresTest, TakesOnlyAPlainNumberOfMetresFromZeroUp) {
  EXPECT_EQ(ParseBufferMetres("0"), 0);
  EXPECT_EQ(ParseBufferMetres("250"), 250);
  EXPECT_EQ(ParseBufferMetres("1.5e3"), 1500);
  for (const char* bad : {"", "abc", "5m", " 5", "1,5", "nan", "inf", "-1", "-0.5", "2e6"})
    EXPECT_THROW(ParseBufferMetres(bad), AreaError) << bad;
  EXPECT_THROW(CheckBufferMetres(kNaN), AreaError);
  EXPECT_NO_THROW(CheckBufferMetres(kMaxBufferMetres));
}

TEST(BoundsOfTest, SpansEveryPartWithLatitudesHeldToTheMap) {
  Area area = Polygon({{-10, 80}, {5, 80}, {0, 89}});
  area.lines.push_back({{20, -30}, {21, -31}});
  area.points.push_back({-40, -87});
  const AreaBounds b = BoundsOf(area);
  EXPECT_EQ(b.west, -40);
  EXPECT_EQ(b.east, 21);
  EXPECT_EQ(b.south, -kMapLatitudeLimit);
  EXPECT_EQ(b.north, kMapLatitudeLimit);
}

}  // namespace
