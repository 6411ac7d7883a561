#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <vector>

#include "CombineReaders.h"
#include "TestFiles.h"
#include "TileImage.h"
#include "TileOrder.h"
#include "TileSet.h"
#include "TileSetReaders.h"

namespace {

using namespace combinetest;
namespace fs = std::filesystem;

struct KindCase {
  const char* name;
  OutputKind kind;
  const char* output;
};

class TileSetKindTest : public testing::TestWithParam<KindCase> {
 protected:
  void SetUp() override {
    if (GetParam().kind == OutputKind::PMTiles && !PMTilesReaderPresent())
      GTEST_SKIP() << "node or the PMTiles reader is missing: run scripts/setup.sh";
  }
  std::string Output() const { return folder / GetParam().output; }
  ScratchFolder folder{"tileset"};
};

// The colour a single-coloured task tile gives every pixel it covers in a
// lower tile; transparent where the task has no tile.
Rgba ExpectedPixel(const TaskOnDisk& base, const std::set<StoredTile>& missing, int32_t zoom, int32_t x, int32_t y,
                   int px, int py) {
  const int32_t shift = base.parameters.Zoom - zoom;
  const int32_t cell = 256 >> shift;
  const int32_t bx = (x << shift) + px / cell, by = (y << shift) + py / cell;
  if (bx < base.minX || bx > base.maxX || by < base.topMinRow || by > base.topMaxRow ||
      missing.count({base.parameters.Zoom, bx, by}))
    return {0, 0, 0, 0};
  return TileColour(bx, by);
}

// Two levels of one job, one tile missing, built down two levels below the
// lower one: every task tile keeps its bytes, and every lower tile is its
// children halved (single-coloured tiles make the check exact).
TEST_P(TileSetKindTest, HoldsTheTasksBytesAndTheLevelsBuiltFromThem) {
  const TaskOnDisk z5 = WriteTask(folder.Path(), "job_z5", 8, 5, 0, 40, 60, 5);
  const TaskOnDisk z6 = WriteTask(folder.Path(), "job_z6", 8, 6, 0, 40, 60, 5);
  const StoredTile gone{5, z5.minX + 1, z5.topMinRow + 1};
  fs::remove(z5.TilePath(std::get<1>(gone), std::get<2>(gone)));
  CombineRequest request;
  request.projectFiles = {z5.projectPath, z6.projectPath};
  request.outputPath = Output();
  request.blankImagePath = BlankImagePath();
  request.minZoom = 3;
  const CombineSummary summary = Combine(request);

  std::vector<StoredTile> asked = PlacesOver(5, z5.minX, z5.maxX, z5.topMinRow, z5.topMaxRow, 3);
  const std::vector<StoredTile> z6Places = PlacesOver(6, z6.minX, z6.maxX, z6.topMinRow, z6.topMaxRow, 6);
  asked.insert(asked.end(), z6Places.begin(), z6Places.end());
  const TileMap tiles = ReadTileSet(GetParam().kind, Output(), asked);

  int64_t taskTiles = 0, lowerTiles = 0;
  for (const auto& [key, bytes] : tiles) {
    const auto [zoom, x, y] = key;
    if (zoom >= 5) {
      const TaskOnDisk& task = zoom == 5 ? z5 : z6;
      EXPECT_EQ(bytes, ReadFile(task.TilePath(x, y))) << zoom << "/" << x << "/" << y;
      ++taskTiles;
      continue;
    }
    ++lowerTiles;
    std::vector<uint8_t> rgba(4 * 256 * 256);
    std::string problem;
    ASSERT_TRUE(DecodeTileRgba(bytes, rgba.data(), problem)) << zoom << "/" << x << "/" << y << ": " << problem;
    EXPECT_EQ(DetectTileFormat(bytes), TileFormat::Png);
    for (int py = 16; py < 256; py += 32)
      for (int px = 16; px < 256; px += 32) {
        const uint8_t* pixel = &rgba[4 * (py * 256 + px)];
        const Rgba expected = ExpectedPixel(z5, {gone}, zoom, x, y, px, py);
        ASSERT_EQ((Rgba{pixel[0], pixel[1], pixel[2], pixel[3]}), expected)
            << zoom << "/" << x << "/" << y << " pixel " << px << "," << py;
      }
  }
  const int64_t z5Tiles = int64_t{z5.maxX - z5.minX + 1} * (z5.topMaxRow - z5.topMinRow + 1);
  const int64_t z6Tiles = int64_t{z6.maxX - z6.minX + 1} * (z6.topMaxRow - z6.topMinRow + 1);
  EXPECT_EQ(taskTiles, z5Tiles - 1 + z6Tiles);
  EXPECT_EQ(summary.dataTiles, taskTiles);
  EXPECT_EQ(summary.noDataTiles, 1);
  EXPECT_GT(lowerTiles, 0);
  EXPECT_EQ(summary.lowerTiles, lowerTiles);
}

// Two tasks at one zoom that overlap: each place is written once, the later
// task's tile where both have one, and counted once.
TEST_P(TileSetKindTest, OverlappingTasksGiveEachPlaceOnce) {
  const TaskOnDisk west = WriteTask(folder.Path(), "west", 8, 6, 0, 40, 30, 20);
  const TaskOnDisk east = WriteTask(folder.Path(), "east", 8, 6, 20, 40, 50, 20);
  const std::string later = EncodeSolidImage({9, 9, 9, 255}, "png");
  for (int32_t x = east.minX; x <= east.maxX; ++x)
    for (int32_t y = east.topMinRow; y <= east.topMaxRow; ++y) WriteFile(east.TilePath(x, y), later);
  const CombineSummary summary = RunCombine({west.projectPath, east.projectPath}, Output());

  const TileMap tiles = ReadTileSet(GetParam().kind, Output(),
                                    PlacesOver(6, west.minX, east.maxX, west.topMinRow, west.topMaxRow, 6));
  std::set<std::pair<int32_t, int32_t>> places;
  for (const TaskOnDisk* task : {&west, &east})
    for (int32_t x = task->minX; x <= task->maxX; ++x)
      for (int32_t y = task->topMinRow; y <= task->topMaxRow; ++y) places.insert({x, y});
  EXPECT_EQ(tiles.size(), places.size());
  EXPECT_EQ(summary.dataTiles, static_cast<int64_t>(places.size()));
  EXPECT_EQ(tiles.at({6, east.minX, east.topMinRow}), later);
  EXPECT_EQ(tiles.at({6, west.minX, west.topMinRow}), ReadFile(west.TilePath(west.minX, west.topMinRow)));
}

INSTANTIATE_TEST_SUITE_P(Kinds, TileSetKindTest,
                         testing::Values(KindCase{"mbtiles", OutputKind::MBTiles, "out.mbtiles"},
                                         KindCase{"pmtiles", OutputKind::PMTiles, "out.pmtiles"},
                                         KindCase{"geopackage", OutputKind::GeoPackage, "out.gpkg"},
                                         KindCase{"sqlitedb", OutputKind::SqliteDb, "out.sqlitedb"},
                                         KindCase{"folder", OutputKind::TileTree, "tree/"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LowerLevelsTest, JpegTilesMakeJpegLevelsWithBlackWhereNoTileIs) {
  ScratchFolder folder("lowerlevels");
  const TaskOnDisk task = WriteTask(folder.Path(), "sat", 1, 6, 150, -30, 155, -36);  // a JPEG service
  fs::remove(task.TilePath(task.minX, task.topMinRow));
  CombineRequest request;
  request.projectFiles = {task.projectPath};
  request.outputPath = folder / "sat.mbtiles";
  request.minZoom = 5;
  Combine(request);
  const PyramidTile parent{5, task.minX / 2, task.topMinRow / 2};
  const std::string bytes = ReadTileSet(OutputKind::MBTiles, folder / "sat.mbtiles").at({5, parent.x, parent.y});
  EXPECT_EQ(DetectTileFormat(bytes), TileFormat::Jpeg);
  std::vector<uint8_t> rgba(4 * 256 * 256);
  std::string problem;
  ASSERT_TRUE(DecodeTileRgba(bytes, rgba.data(), problem)) << problem;
  for (const PyramidTile& child : ChildrenInOrder(parent)) {
    const bool there = child.x >= task.minX && child.x <= task.maxX && child.y >= task.topMinRow &&
                       child.y <= task.topMaxRow && !(child.x == task.minX && child.y == task.topMinRow);
    const Rgba expected = there ? TileColour(child.x, child.y) : Rgba{0, 0, 0, 255};
    const uint8_t* pixel = &rgba[4 * (((child.y & 1) * 128 + 64) * 256 + (child.x & 1) * 128 + 64)];
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(pixel[c], expected[c], 4) << child.x << "," << child.y;
  }
}

TEST(PMTilesTest, HeaderAndMetadataThroughTheReferenceReader) {
  if (!PMTilesReaderPresent()) GTEST_SKIP() << "node or the PMTiles reader is missing: run scripts/setup.sh";
  ScratchFolder folder("pmtiles");
  const TaskOnDisk task = WriteTask(folder.Path(), "sea_z7", 8, 7, -40, 30, -20, 10);
  // The same bytes everywhere, as over the sea: one copy, runs of entries.
  const std::string sea = EncodeSolidImage({20, 60, 200, 255}, "png");
  WriteEveryTile(task, sea);
  CombineRequest request;
  request.projectFiles = {task.projectPath};
  request.outputPath = folder / "sea.pmtiles";
  request.attribution = "© Example \"tiles\"";
  Combine(request);

  const auto asked = PlacesOver(7, task.minX, task.maxX, task.topMinRow, task.topMaxRow, 7);
  const PMTilesRead read = ReadPMTiles(folder / "sea.pmtiles", asked);
  EXPECT_EQ(read.tiles.size(), asked.size());
  for (const auto& [key, bytes] : read.tiles) EXPECT_EQ(bytes, sea);
  EXPECT_EQ(JsonField(read.header, "tileType"), "2");
  EXPECT_EQ(JsonField(read.header, "minZoom"), "7");
  EXPECT_EQ(JsonField(read.header, "maxZoom"), "7");
  EXPECT_EQ(JsonField(read.header, "clustered"), "true");
  EXPECT_EQ(JsonField(read.header, "numTileContents"), "1");
  EXPECT_EQ(JsonField(read.header, "numAddressedTiles"), std::to_string(asked.size()));
  EXPECT_LT(std::stoll(JsonField(read.header, "numTileEntries")), static_cast<long long>(asked.size()));
  EXPECT_NEAR(std::stod(JsonField(read.header, "minLon")), task.west, 1e-7);
  EXPECT_NEAR(std::stod(JsonField(read.header, "maxLat")), task.north, 1e-7);
  EXPECT_EQ(JsonField(read.metadata, "name"), "sea");
  EXPECT_EQ(JsonField(read.metadata, "format"), "png");
  EXPECT_NE(read.metadata.find("\"attribution\":\"© Example \\\"tiles\\\"\""), std::string::npos) << read.metadata;
}

// More entries than a leaf holds: the root points at leaves, and tiles on
// both sides of a leaf's edge are found.
TEST(PMTilesTest, LeafDirectoriesAreFoundByTheReferenceReader) {
  if (!PMTilesReaderPresent()) GTEST_SKIP() << "node or the PMTiles reader is missing: run scripts/setup.sh";
  ScratchFolder folder("pmtiles");
  const std::string target = folder / "many.pmtiles";
  auto sink = MakePMTilesSink(target, 6400);
  std::vector<PyramidTile> order;
  ForEachInHilbertOrder(10, {{10, 300, 379, 400, 479}}, [&](const PyramidTile& place) { order.push_back(place); });
  const auto bytesOf = [](std::size_t i) { return "tile " + std::to_string(i % 7) + std::string(i % 5, '+'); };
  for (std::size_t i = 0; i < order.size(); ++i) sink->Put(order[i], bytesOf(i), TileFormat::Png, "");
  TileSetFacts facts{"many", "", 0, 0, 1, 1, 10, 10, TileFormat::Png};
  sink->Finish(facts);
  sink->MoveInto(target);

  const std::vector<std::size_t> probes = {0, 4095, 4096, 4097, order.size() - 1};  // a leaf holds 4096
  std::vector<StoredTile> asked;
  for (const std::size_t i : probes) asked.emplace_back(order[i].zoom, order[i].x, order[i].y);
  const PMTilesRead read = ReadPMTiles(target, asked);
  EXPECT_NE(JsonField(read.header, "leafDirectoryLength"), "0");
  for (const std::size_t i : probes) EXPECT_EQ(read.tiles.at({order[i].zoom, order[i].x, order[i].y}), bytesOf(i)) << i;
}

TEST(PMTilesTest, AJpegTileAmongPngTilesFailsAndLeavesNothing) {
  ScratchFolder folder("pmtiles");
  const TaskOnDisk task = WriteTask(folder.Path(), "task", 8, 5, 0, 30, 30, 10);
  WriteFile(task.TilePath(task.maxX, task.topMaxRow), EncodeSolidImage({1, 2, 3, 255}, "jpg"));
  const std::string out = folder.MakeFolder("out") + "/";
  try {
    RunCombine({task.projectPath}, out + "x.pmtiles");
    ADD_FAILURE() << "no failure";
  } catch (const CombineWriteFailure& failure) {
    EXPECT_NE(std::string(failure.what()).find("mix PNG and JPEG"), std::string::npos) << failure.what();
  }
  EXPECT_TRUE(fs::is_empty(out));
}

TEST(GeoPackageTest, GdalReadsThePyramidWhereTheTaskLies) {
  ScratchFolder folder("geopackage");
  const TaskOnDisk task = WriteTask(folder.Path(), "area", 8, 6, 10, 50, 30, 40);
  CombineRequest request;
  request.projectFiles = {task.projectPath};
  request.outputPath = folder / "area.gpkg";
  request.attribution = "Tiles: example";
  request.minZoom = 4;
  Combine(request);

  const Sqlite db(folder / "area.gpkg");
  EXPECT_EQ(db.Rows("PRAGMA application_id"), (std::vector<std::vector<std::string>>{{"1196444487"}}));
  EXPECT_EQ(db.Rows("SELECT identifier, description, srs_id FROM gpkg_contents"),
            (std::vector<std::vector<std::string>>{{"area", "Tiles: example", "3857"}}));
  EXPECT_EQ(db.Rows("SELECT zoom_level, matrix_width, matrix_height FROM gpkg_tile_matrix ORDER BY zoom_level"),
            (std::vector<std::vector<std::string>>{{"4", "16", "16"}, {"5", "32", "32"}, {"6", "64", "64"}}));

  const Dataset reader(folder / "area.gpkg");
  ASSERT_NE(reader.handle, nullptr);
  const int columns = task.maxX - task.minX + 1, rows = task.topMaxRow - task.topMinRow + 1;
  EXPECT_EQ(GDALGetRasterXSize(reader.handle), columns * 256);
  EXPECT_EQ(GDALGetRasterYSize(reader.handle), rows * 256);
  double transform[6];
  ASSERT_EQ(GDALGetGeoTransform(reader.handle, transform), CE_None);
  EXPECT_NEAR(transform[0], MercatorX(task.west), 1e-3);
  EXPECT_NEAR(transform[3], MercatorY(task.north), 1e-3);
  EXPECT_EQ(reader.Pixel((columns - 1) * 256 + 128, 128), TileColour(task.maxX, task.topMinRow));
  EXPECT_EQ(GDALGetOverviewCount(GDALGetRasterBand(reader.handle, 1)), 2);  // zooms 5 and 4
}

TEST(SqliteDbTest, InfoNamesTheBigPlanetNumbering) {
  ScratchFolder folder("sqlitedb");
  const TaskOnDisk task = WriteTask(folder.Path(), "area", 8, 9, 10, 50, 11, 49);
  CombineRequest request;
  request.projectFiles = {task.projectPath};
  request.outputPath = folder / "area.sqlitedb";
  request.minZoom = 7;
  Combine(request);
  const Sqlite db(folder / "area.sqlitedb");
  EXPECT_EQ(db.Rows("SELECT minzoom, maxzoom, tilenumbering FROM info"),
            (std::vector<std::vector<std::string>>{{"8", "10", "BigPlanet"}}));
  EXPECT_EQ(db.Rows("SELECT DISTINCT z, s FROM tiles ORDER BY z"),
            (std::vector<std::vector<std::string>>{{"8", "0"}, {"9", "0"}, {"10", "0"}}));
}

TEST(CombineProgressTest, TheBarMovesThroughLowerLevelsAndOverviews) {
  ScratchFolder folder("progress");
  const TaskOnDisk task = WriteTask(folder.Path(), "task", 8, 8, 0, 30, 30, 0);
  const int64_t tiles = int64_t{task.maxX - task.minX + 1} * (task.topMaxRow - task.topMinRow + 1);
  for (const char* output : {"p.mbtiles", "p.pmtiles", "p.tif"}) {
    CombineRequest request;
    request.projectFiles = {task.projectPath};
    request.outputPath = folder / output;
    const bool tiff = std::string(output) == "p.tif";
    if (tiff)
      request.overviews = true;
    else
      request.minZoom = 3;
    const CombineStage later = tiff ? CombineStage::Overviews : CombineStage::LowerLevels;
    CombineStage current = CombineStage::Tiles;
    int64_t lastDone = 0, lastTotal = 0, callsInLater = 0;
    request.stage = [&](CombineStage stage) { current = stage; };
    request.progress = [&](int64_t done, int64_t total) {
      EXPECT_GE(done, lastDone) << output;
      callsInLater += current == later && done < total;
      lastDone = done;
      lastTotal = total;
      return true;
    };
    Combine(request);
    EXPECT_EQ(lastDone, lastTotal) << output;
    EXPECT_GT(lastTotal, tiles) << output;
    EXPECT_GT(callsInLater, 0) << output << ": the bar stood still while the later stage ran";
  }
}

}  // namespace

// A task made with a source credits it, whatever the configuration says now;
// a request's own attribution still wins.
TEST(TileSetAttributionTest, ATaskCreditsItsOwnSource) {
  ScratchFolder folder("attribution");
  const TaskOnDisk task = WriteTask(folder.Path(), "own", 8, 5, 10, 50, 20, 40);
  WriteFile(task.projectPath, ReadFile(task.projectPath) +
                                  "[Source]\r\nName=Topo\r\nTemplate=http://127.0.0.1:9/{z}/{x}/{y}.png\r\n"
                                  "Attribution=© Topo makers\r\n");
  WriteFile(folder / "config.ini", "[Hosts]\r\nAttribution=© Configured now\r\n");
  for (const char* given : {"", "Tiles: given"}) {
    CombineRequest request;
    request.projectFiles = {task.projectPath};
    request.outputPath = folder / (std::string(*given ? "given" : "own") + ".mbtiles");
    request.configPath = folder / "config.ini";
    request.attribution = given;
    Combine(request);
    const Sqlite db(request.outputPath);
    EXPECT_EQ(db.Rows("SELECT value FROM metadata WHERE name = 'attribution'"),
              (std::vector<std::vector<std::string>>{{*given ? given : "© Topo makers"}}));
  }
}
