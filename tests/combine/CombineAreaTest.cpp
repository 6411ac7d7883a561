// Tasks over an area: tile sets hold only the tiles inside, a mosaic leaves
// the rest as no data, and a clip cuts it to the outline pixel by pixel.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>

#include "AreaTask.h"
#include "CombineReaders.h"
#include "MapServices.h"
#include "ProjectFile.h"
#include "TestFiles.h"
#include "TileSetReaders.h"

namespace {

using namespace combinetest;
namespace fs = std::filesystem;

constexpr int32_t kZoom = 7;

// A pentagon with a diagonal edge and a hole smaller than a tile, and apart
// from it a triangle, so whole columns between them are empty.
Area TestArea() {
  return Area{{{{{10.3, 40.2}, {24.6, 40.2}, {24.6, 45.1}, {17.2, 51.7}, {10.3, 51.7}},
                {{{15.1, 43.1}, {16.9, 43.1}, {16.9, 44.4}, {15.1, 44.4}}}},
               {{{30, 41}, {33, 41}, {31, 44}}, {}}},
              {},
              {}};
}

// The tiles inside as the download counted them, rows from the top.
std::set<StoredTile> TilesInside(const TaskOnDisk& task, const Area& area) {
  std::set<StoredTile> tiles;
  const bool fromTop = RowOriginOf(task.parameters.MapsType) == RowOrigin::FromTop;
  for (const MaskTile& tile : TaskAreaMask(ProjectFile::Read(task.projectPath), area))
    tiles.insert({kZoom, tile.x, fromTop ? tile.y : (1 << kZoom) - 1 - tile.y});
  return tiles;
}

struct SetCase {
  const char* name;
  OutputKind kind;
  const char* output;
  int32_t mapsType;
};

class AreaTileSetTest : public testing::TestWithParam<SetCase> {
 protected:
  ScratchFolder folder{"areatileset"};
};

// Every tile of the rectangle is on disk; the tile set takes those inside,
// and the lower levels only the places over them.
TEST_P(AreaTileSetTest, HoldsExactlyTheTilesInsideAndTheLevelsOverThem) {
  if (GetParam().kind == OutputKind::PMTiles && !PMTilesReaderPresent())
    GTEST_SKIP() << "node or the PMTiles reader is missing: run scripts/setup.sh";
  const TaskOnDisk task = WriteAreaTask(folder.Path(), "area", GetParam().mapsType, kZoom, TestArea());
  const std::set<StoredTile> inside = TilesInside(task, TestArea());
  ASSERT_LT(inside.size(), std::size_t((task.maxX - task.minX + 1) * (task.topMaxRow - task.topMinRow + 1)));
  std::set<StoredTile> expected = inside;
  for (const auto& [zoom, x, y] : inside)
    for (int32_t up = 1; up <= kZoom - 4; ++up) expected.insert({zoom - up, x >> up, y >> up});

  CombineRequest request;
  request.projectFiles = {task.projectPath};
  request.outputPath = folder / GetParam().output;
  request.blankImagePath = BlankImagePath();
  request.minZoom = 4;
  const CombineSummary summary = Combine(request);

  const TileMap tiles = ReadTileSet(GetParam().kind, request.outputPath,
                                    PlacesOver(kZoom, task.minX, task.maxX, task.topMinRow, task.topMaxRow, 4));
  std::set<StoredTile> found;
  for (const auto& [key, bytes] : tiles) {
    found.insert(key);
    if (std::get<0>(key) == kZoom) {
      EXPECT_EQ(bytes, ReadFile(task.TilePath(std::get<1>(key), std::get<2>(key))));
    }
  }
  EXPECT_EQ(found, expected);
  EXPECT_EQ(summary.dataTiles, static_cast<int64_t>(inside.size()));
  EXPECT_EQ(summary.lowerTiles, static_cast<int64_t>(expected.size() - inside.size()));
  EXPECT_EQ(summary.noDataTiles, 0);

  if (GetParam().kind == OutputKind::MBTiles) {  // the bounds are the area's, not its tiles'
    double west = 0, south = 0, east = 0, north = 0;
    ASSERT_EQ(std::sscanf(Sqlite(request.outputPath).Metadata()["bounds"].c_str(), "%lf,%lf,%lf,%lf", &west, &south,
                          &east, &north),
              4);
    EXPECT_DOUBLE_EQ(west, 10.3);
    EXPECT_DOUBLE_EQ(south, 40.2);
    EXPECT_DOUBLE_EQ(east, 33);
    EXPECT_DOUBLE_EQ(north, 51.7);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, AreaTileSetTest,
    testing::Values(SetCase{"mbtiles", OutputKind::MBTiles, "out.mbtiles", 8},
                    SetCase{"mbtilesRowsFromBottom", OutputKind::MBTiles, "out.mbtiles", 0},
                    SetCase{"pmtiles", OutputKind::PMTiles, "out.pmtiles", 8},
                    SetCase{"geopackage", OutputKind::GeoPackage, "out.gpkg", 8},
                    SetCase{"sqlitedb", OutputKind::SqliteDb, "out.sqlitedb", 8},
                    SetCase{"folder", OutputKind::TileTree, "tree/", 8},
                    SetCase{"folderRowsFromBottom", OutputKind::TileTree, "tree/", 0}),
    [](const auto& info) { return std::string(info.param.name); });

// A mosaic over a task's rectangle, read back by pixel.
class Mosaic {
 public:
  Mosaic(const TaskOnDisk& task, const std::string& path) : task_(task), image_(path) {
    const double side = 2 * kHalfWidth / (1 << kZoom);
    west_ = -kHalfWidth + task.minX * side;
    north_ = kHalfWidth - task.topMinRow * side;
    pixel_ = side / 256;
  }
  bool Opened() const { return image_.handle != nullptr; }
  // The pixel whose corner lies nearest a place, moved by dx, dy pixels.
  std::pair<int, int> At(double longitude, double latitude, int dx = 0, int dy = 0) const {
    return {static_cast<int>(std::lround((MercatorX(longitude) - west_) / pixel_)) + dx,
            static_cast<int>(std::lround((north_ - MercatorY(latitude)) / pixel_)) + dy};
  }
  Rgba Pixel(std::pair<int, int> at) const { return image_.Pixel(at.first, at.second); }
  // The colour the task's tile gives a pixel.
  Rgba TileColourAt(std::pair<int, int> at) const {
    return TileColour(task_.minX + at.first / 256, task_.topMinRow + at.second / 256);
  }

 private:
  const TaskOnDisk& task_;
  Dataset image_;
  double west_ = 0, north_ = 0, pixel_ = 0;
};

constexpr Rgba kNoData{0, 0, 0, 0};

class AreaMosaicTest : public testing::TestWithParam<const char*> {  // the output's name
 protected:
  CombineSummary Run(const TaskOnDisk& task, bool clip) {
    CombineRequest request;
    request.projectFiles = {task.projectPath};
    request.outputPath = Output(clip);
    request.blankImagePath = BlankImagePath();
    request.clip = clip;
    return Combine(request);
  }
  std::string Output(bool clip) const { return folder / ((clip ? "clipped_" : "") + std::string(GetParam())); }
  ScratchFolder folder{"areamosaic"};
};

TEST_P(AreaMosaicTest, TilesOutsideAreNoDataAndAClipCutsToTheOutline) {
  const TaskOnDisk task = WriteAreaTask(folder.Path(), "area", 8, kZoom, TestArea());
  const std::set<StoredTile> inside = TilesInside(task, TestArea());
  EXPECT_EQ(Run(task, false).dataTiles, static_cast<int64_t>(inside.size()));
  EXPECT_EQ(Run(task, true).dataTiles, static_cast<int64_t>(inside.size()));
  const Mosaic whole(task, Output(false)), clipped(task, Output(true));
  ASSERT_TRUE(whole.Opened() && clipped.Opened());

  for (int32_t x = task.minX; x <= task.maxX; ++x)
    for (int32_t y = task.topMinRow; y <= task.topMaxRow; ++y) {
      const std::pair<int, int> corner{(x - task.minX) * 256, (y - task.topMinRow) * 256};
      const std::pair<int, int> middle{corner.first + 128, corner.second + 128};
      EXPECT_EQ(whole.Pixel(middle), inside.count({kZoom, x, y}) ? TileColour(x, y) : kNoData) << x << "/" << y;
      if (!inside.count({kZoom, x, y})) {
        EXPECT_EQ(clipped.Pixel(middle), kNoData) << x << "/" << y;
      }
    }

  // Beside each edge: the pixel two inside keeps its colour, the one two
  // outside is cleared; dx, dy point inside.
  struct Probe {
    const char* edge;
    double longitude, latitude;
    int dx, dy;
  };
  for (const Probe& probe : {Probe{"west", 10.3, 46, 1, 0}, Probe{"south", 17, 40.2, 0, -1},
                             Probe{"diagonal", 20.9, 48.4, -1, 0}, Probe{"hole's east", 16.9, 43.7, 1, 0},
                             Probe{"hole's north", 16, 44.4, 0, -1}, Probe{"triangle's", 30.5, 42.5, 1, 0}}) {
    const auto in = clipped.At(probe.longitude, probe.latitude, 2 * probe.dx, 2 * probe.dy);
    const auto out = clipped.At(probe.longitude, probe.latitude, -2 * probe.dx, -2 * probe.dy);
    EXPECT_EQ(clipped.Pixel(in), clipped.TileColourAt(in)) << probe.edge;
    EXPECT_EQ(clipped.Pixel(out), kNoData) << probe.edge;
  }
  const auto hole = whole.At(16, 43.7);
  EXPECT_EQ(whole.Pixel(hole), whole.TileColourAt(hole)) << "without a clip the hole's tile is whole";
  EXPECT_EQ(clipped.Pixel(hole), kNoData);
}

// A task without an area is cut to the entries of its rectangle.
TEST_P(AreaMosaicTest, ATaskWithoutAnAreaIsCutToItsEntries) {
  const TaskOnDisk task = WriteTask(folder.Path(), "plain", 8, kZoom, 10.3, 51.7, 24.6, 40.2);
  Run(task, true);
  const Mosaic clipped(task, Output(true));
  ASSERT_TRUE(clipped.Opened());
  for (const auto& [longitude, latitude, dx, dy] : {std::tuple{10.3, 46.0, 1, 0}, std::tuple{24.6, 46.0, -1, 0},
                                                    std::tuple{17.0, 51.7, 0, 1}, std::tuple{17.0, 40.2, 0, -1}}) {
    const auto in = clipped.At(longitude, latitude, 2 * dx, 2 * dy);
    EXPECT_EQ(clipped.Pixel(in), clipped.TileColourAt(in)) << longitude << "," << latitude;
    EXPECT_EQ(clipped.Pixel(clipped.At(longitude, latitude, -2 * dx, -2 * dy)), kNoData) << longitude << "," << latitude;
  }
}

INSTANTIATE_TEST_SUITE_P(Outputs, AreaMosaicTest, testing::Values("out.tif", "out.png"),
                         [](const auto& info) { return std::string(info.param).substr(4); });

class AreaRefusalTest : public testing::Test {
 protected:
  void ExpectRefused(const std::string& output, const std::string& message, bool clip = false) {
    CombineRequest request;
    request.projectFiles = {task.projectPath};
    request.outputPath = folder / output;
    request.clip = clip;
    try {
      Combine(request);
      ADD_FAILURE() << output << " written";
    } catch (const CombineError& refusal) {
      EXPECT_NE(std::string(refusal.what()).find(message), std::string::npos) << refusal.what();
    }
    EXPECT_FALSE(Exists(folder / output));
  }
  ScratchFolder folder{"arearefusal"};
  TaskOnDisk task = WriteAreaTask(folder.Path(), "area", 8, 5, TestArea());
};

TEST_F(AreaRefusalTest, AMissingOrDamagedAreaFileIsNamedAndNothingWritten) {
  const std::string areaFile = folder / "area_area.geojson";
  WriteFile(areaFile, "{\"type\":\"Polygon\",\"coordinates\":[[[10,45],[13,45]");
  ExpectRefused("out.mbtiles", areaFile);
  fs::remove(areaFile);
  ExpectRefused("out.tif", areaFile);
}

TEST_F(AreaRefusalTest, AClipIsRefusedForATileSet) {
  for (const char* output : {"out.mbtiles", "tree/"}) ExpectRefused(output, "a tile set holds whole tiles", true);
}

}  // namespace
