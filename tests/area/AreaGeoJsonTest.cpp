#include <gtest/gtest.h>

#include <sys/stat.h>

#include <clocale>
#include <filesystem>
#include <ostream>
#include <string>

#include "AreaGeoJson.h"
#include "TestFiles.h"

void PrintTo(const Area& area, std::ostream* os) {
  const auto path = [&](const std::vector<LonLat>& points) {
    *os << "[";
    for (const LonLat& p : points) *os << "(" << p.longitude << " " << p.latitude << ")";
    *os << "]";
  };
  os->precision(17);
  for (const AreaPolygon& polygon : area.polygons) {
    *os << "polygon ";
    path(polygon.shell);
    for (const AreaRing& hole : polygon.holes) path(hole);
  }
  for (const auto& line : area.lines) {
    *os << " line ";
    path(line);
  }
  *os << " points ";
  path(area.points);
}

namespace {

std::string ReadRefusal(const std::string& path) {
  try {
    ReadAreaGeoJson(path);
  } catch (const AreaError& e) {
    return e.what();
  }
  return "";
}

TEST(AreaGeoJsonTest, WritesRingsClosedAndWoundAsTheRfcAsks) {
  Area area;
  // A clockwise shell and an anticlockwise hole: both are turned round.
  area.polygons.push_back({{{0, 0}, {0, 2}, {2, 2}, {2, 0}}, {{{0.5, 0.5}, {1.5, 0.5}, {1.5, 1.5}}}});
  area.lines.push_back({{10.25, -3}, {11, -3.5}});
  area.points.push_back({-0.1, 1e-7});
  EXPECT_EQ(AreaGeoJsonText(area),
            "{\"type\":\"FeatureCollection\",\"features\":[\n"
            "{\"type\":\"Feature\",\"properties\":{},\"geometry\":{\"type\":\"MultiPolygon\",\"coordinates\":"
            "[[[[2,0],[2,2],[0,2],[0,0],[2,0]],[[1.5,1.5],[1.5,0.5],[0.5,0.5],[1.5,1.5]]]]}},\n"
            "{\"type\":\"Feature\",\"properties\":{},\"geometry\":{\"type\":\"MultiLineString\",\"coordinates\":"
            "[[[10.25,-3],[11,-3.5]]]}},\n"
            "{\"type\":\"Feature\",\"properties\":{},\"geometry\":{\"type\":\"MultiPoint\",\"coordinates\":"
            "[[-0.1,1e-07]]}}\n"
            "]}\n");
  EXPECT_THROW(AreaGeoJsonText(Area{}), AreaError);
}

TEST(AreaGeoJsonTest, ReadsBackWhatItWroteToTheLastBitInAnyLocale) {
  // A decimal comma in the process's locale must not reach the file.
  const bool comma = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  Area area;
  area.polygons.push_back({{{-179.99999999999997, -85.0511287798066}, {-100.1, -85}, {-20.300000000000004, 80.123456789012345}},
                           {{{-1, 0}, {-2, 0}, {-1.5, 1}}}});
  area.polygons.push_back({{{5, 5}, {6, 5}, {6, 6}}, {}});
  area.lines.push_back({{1.0 / 3, 2.0 / 3}, {180, 45}});
  area.points = {{12.5, 47.25}, {-33.3, -5e-320}};
  ScratchFolder folder("area-geojson");
  WriteAreaGeoJson(folder / "t_area.geojson", area);
  EXPECT_EQ(ReadAreaGeoJson(folder / "t_area.geojson"), area);
  EXPECT_EQ(folder.EntryCount(), 1u) << "no temporary is left beside the file";
  if (comma) std::setlocale(LC_ALL, "C");
}

TEST(AreaGeoJsonTest, ReadsEveryKindOfGeometryAtAnyDepth) {
  ScratchFolder folder("area-geojson");
  WriteFile(folder / "all.geojson", R"({"type": "FeatureCollection", "name": "x", "features": [
    {"type": "Feature", "properties": {"name": "nothing"}, "geometry": null},
    {"type": "Feature", "properties": null, "geometry": {"type": "Point", "coordinates": [1, 2, 300]}},
    {"type": "Feature", "geometry": {"type": "GeometryCollection", "geometries": [
      {"type": "MultiPoint", "coordinates": [[3, 4], [5, 6]]},
      {"type": "LineString", "coordinates": [[0, 0], [1, 1]]},
      {"type": "MultiLineString", "coordinates": [[[2, 2], [3, 3]], []]},
      {"type": "GeometryCollection", "geometries": [
        {"type": "Polygon", "coordinates": [[[0, 0], [4, 0], [4, 4], [0, 0]], [[1, 1], [2, 1], [2, 2]]]}]}]}},
    {"type": "MultiPolygon", "coordinates": [[[[10, 10], [11, 10], [11, 11]]], []]}]})");
  Area expected;
  expected.points = {{1, 2}, {3, 4}, {5, 6}};
  expected.lines = {{{0, 0}, {1, 1}}, {{2, 2}, {3, 3}}};
  expected.polygons = {{{{0, 0}, {4, 0}, {4, 4}}, {{{1, 1}, {2, 1}, {2, 2}}}}, {{{10, 10}, {11, 10}, {11, 11}}, {}}};
  EXPECT_EQ(ReadAreaGeoJson(folder / "all.geojson"), expected);
}

struct DamagedCase {
  const char* name;
  std::string text;
  const char* refusal;
};

class DamagedAreaFileTest : public testing::TestWithParam<DamagedCase> {};

TEST_P(DamagedAreaFileTest, IsRefusedWithAMessageNamingTheFile) {
  ScratchFolder folder("area-geojson");
  const std::string path = folder / "task_area.geojson";
  WriteFile(path, GetParam().text);
  const std::string refusal = ReadRefusal(path);
  EXPECT_EQ(refusal.rfind("The area file " + path + " ", 0), 0u) << refusal;
  EXPECT_NE(refusal.find(GetParam().refusal), std::string::npos) << refusal;
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedAreaFileTest,
    testing::Values(
        DamagedCase{"empty", "", "is damaged: unexpected end of the file at line 1, column 1"},
        DamagedCase{"cut_short", "{\"type\":\"Point\",\"coordinates\":[1,", "is damaged: unexpected end"},
        DamagedCase{"text_after_the_end", "{\"type\":\"Point\",\"coordinates\":[1,2]} x", "after the end"},
        DamagedCase{"bad_number", "{\"type\":\"Point\",\"coordinates\":[1,01]}", "not a number at line 1"},
        DamagedCase{"number_out_of_range", "{\"type\":\"Point\",\"coordinates\":[1,1e999]}", "out of range"},
        DamagedCase{"too_deep", std::string(150, '[') + std::string(150, ']'), "nesting too deep"},
        DamagedCase{"no_type", "{\"coordinates\":[1,2]}", "an object without a type"},
        DamagedCase{"unknown_type", "{\"type\":\"Circle\",\"coordinates\":[1,2]}", "unknown type \"Circle\""},
        DamagedCase{"position_of_one_number", "{\"type\":\"Point\",\"coordinates\":[1]}", "not a longitude and a latitude"},
        DamagedCase{"polygon_too_shallow", "{\"type\":\"Polygon\",\"coordinates\":[[1,2],[3,4]]}", "nested too shallow"},
        DamagedCase{"features_missing", "{\"type\":\"FeatureCollection\"}", "without a list of features"},
        DamagedCase{"no_geometry", "{\"type\":\"FeatureCollection\",\"features\":[]}", "holds no geometry"},
        DamagedCase{"only_empty_features", "{\"type\":\"Feature\",\"geometry\":null}", "holds no geometry"},
        DamagedCase{"another_system",
                    "{\"type\":\"Point\",\"crs\":{\"type\":\"name\",\"properties\":{\"name\":\"EPSG:3857\"}},"
                    "\"coordinates\":[1000,2000]}",
                    "is not in WGS84"},
        DamagedCase{"across_the_antimeridian", "{\"type\":\"LineString\",\"coordinates\":[[179,0],[-179,0]]}",
                    "crosses the antimeridian"},
        DamagedCase{"beyond_the_map", "{\"type\":\"Point\",\"coordinates\":[0,89]}", "lies wholly beyond the map"},
        DamagedCase{"ring_of_two_points", "{\"type\":\"Polygon\",\"coordinates\":[[[0,0],[1,1],[0,0]]]}",
                    "fewer than 3 points"}),
    [](const testing::TestParamInfo<DamagedCase>& info) { return info.param.name; });

TEST(AreaGeoJsonTest, OnlyARegularFileOfBoundedSizeIsRead) {
  ScratchFolder folder("area-geojson");
  const std::string fifo = folder / "fifo_area.geojson";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Sparse: one byte past the bound costs no disk.
  const std::string huge = folder / "huge_area.geojson";
  WriteFile(huge, "");
  std::filesystem::resize_file(huge, kMaxAreaFileBytes + 1);
  const struct {
    std::string path;
    std::string refusal;
  } cases[] = {
      {folder / "gone_area.geojson", " is missing"},
      {folder.Path(), " cannot be read: it is not a regular file"},
      {fifo, " cannot be read: it is not a regular file"},
      {"/dev/zero", " cannot be read: it is not a regular file"},
      {huge, " is larger than 256 MiB, more than an area needs"},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadRefusal(c.path), "The area file " + c.path + c.refusal);
}

}  // namespace
