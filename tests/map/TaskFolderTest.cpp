#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "AreaGeoJson.h"
#include "CoverageGrid.h"
#include "MapServices.h"
#include "TaskFolder.h"
#include "TestFiles.h"

namespace {

const std::string kBlank = std::string("\x89PNG blank", 10);

std::string ProjectText(int mapsType, const char* left, const char* right, const char* top, const char* bottom,
                        int zoom) {
  return "[MapsType]\r\nMapsType=" + std::to_string(mapsType) + "\r\n\r\n[AREA]\r\nLeftLongitude=" + left +
         "\r\nRightLongitude=" + right + "\r\nTopLatitude=" + top + "\r\nBottomLatitude=" + bottom +
         "\r\n\r\n[Zoom]\r\nZoom=" + std::to_string(zoom) + "\r\n\r\n[THREADS]\r\nThreadCount=1\r\n";
}

struct FolderCase {
  int mapsType;
  // Rows in the service's count for a 2x2-tile task at zoom 4 near (10..20 E, 40..50 N).
  int32_t minY;
};

class TaskFolderStates : public testing::TestWithParam<FolderCase> {};

TEST_P(TaskFolderStates, FindsSavedBlankFailedAndMissing) {
  const FolderCase& c = GetParam();
  ScratchFolder folder("map");
  WriteFile(folder / "area.qrnl", ProjectText(c.mapsType, "10", "20", "50", "40", 4));
  const TaskExtent extent = ReadTaskExtent(folder / "area.qrnl");
  EXPECT_EQ(extent.minX, 8);
  EXPECT_EQ(extent.maxX, 8);
  EXPECT_EQ(extent.minY, c.minY);
  EXPECT_EQ(extent.maxY, c.minY + 1);
  EXPECT_EQ(extent.origin, RowOriginOf(c.mapsType));
  EXPECT_EQ(extent.tileFolder, folder / "area/");

  folder.MakeFolder("area");
  const int32_t y0 = c.minY, y1 = c.minY + 1;
  WriteFile(extent.FilePath(8, y0), "a real tile, longer than the blank");
  WriteFile(extent.FilePath(8, y1), kBlank);
  // Not tiles of this task: another zoom, another type, outside the range, a folder.
  WriteFile(extent.tileFolder + BuildTileFileName(c.mapsType, 8, y0, 5), "x");
  WriteFile(extent.tileFolder + BuildTileFileName(c.mapsType == 8 ? 0 : 8, 8, y0, 4), "x");
  WriteFile(extent.FilePath(9, y0), "x");
  folder.MakeFolder("area/" + extent.FileName(8, y0) + "x");
  // The listed failures: one blanked in place, one re-fetched since, one absent.
  WriteFile(extent.failedListPath, extent.FilePath(8, y1) + "|http://127.0.0.1/a\r\n" + extent.FilePath(8, y0) +
                                       "|http://127.0.0.1/b\r\nnot a tile line\r\n");

  TaskScan scan = ScanTaskFolder(extent, kBlank);
  EXPECT_TRUE(scan.problems.empty());
  EXPECT_EQ(scan.states.At(8, y0), TileState::Saved);
  EXPECT_EQ(scan.states.At(8, y1), TileState::Failed);
  EXPECT_EQ(scan.states.Count(TileState::Saved), 1);
  EXPECT_EQ(scan.states.Count(TileState::Failed), 1);
  EXPECT_EQ(scan.states.Count(TileState::Missing), 0);
  EXPECT_EQ(scan.states.At(9, y0), TileState::Missing);  // outside the range

  // Without the list the placeholder is a blank; without the tile, missing.
  std::remove(extent.failedListPath.c_str());
  std::remove(extent.FilePath(8, y0).c_str());
  scan = ScanTaskFolder(extent, kBlank);
  EXPECT_EQ(scan.states.At(8, y0), TileState::Missing);
  EXPECT_EQ(scan.states.At(8, y1), TileState::Blank);
  EXPECT_EQ(scan.states.Count(TileState::Blank), 1);
  EXPECT_EQ(scan.states.Count(TileState::Missing), 1);
}

// Top-counted OpenStreetMap and bottom-counted VirtualEarth road rows.
INSTANTIATE_TEST_SUITE_P(BothRowCounts, TaskFolderStates, testing::Values(FolderCase{8, 5}, FolderCase{5, 9}));

// A vector task: .pbf files, an empty one the placeholder (blank, or failed when listed).
TEST(TaskFolder, AVectorTaskShowsItsStatesByItsOwnFiles) {
  ScratchFolder folder("map");
  WriteFile(folder / "v.qrnl", ProjectText(8, "10", "20", "50", "40", 4) + "[Tiles]\r\nFormat=mvt\r\n");
  const TaskExtent extent = ReadTaskExtent(folder / "v.qrnl");
  ASSERT_TRUE(extent.vector);
  EXPECT_EQ(extent.FileName(8, 5), "os_8_5_4.pbf");
  folder.MakeFolder("v");
  WriteFile(extent.FilePath(8, 5), std::string("\x1a\x02\x0a\x00", 4));
  WriteFile(extent.FilePath(8, 6), "");
  TaskScan scan = ScanTaskFolder(extent, kBlank);
  EXPECT_EQ(scan.states.At(8, 5), TileState::Saved);
  EXPECT_EQ(scan.states.At(8, 6), TileState::Blank);
  const auto tiles = OpenViewedTiles(extent, kBlank);
  EXPECT_EQ(ProbeTile(*tiles, 8, 6, true), TileState::Failed);
  EXPECT_EQ(ProbeTile(*tiles, 8, 5, true), TileState::Saved);
}

TEST(TaskFolder, AMissingFolderIsAProblemNotAFailure) {
  ScratchFolder folder("map");
  WriteFile(folder / "t.qrnl", ProjectText(8, "10", "20", "50", "40", 4));
  const TaskScan scan = ScanTaskFolder(ReadTaskExtent(folder / "t.qrnl"), kBlank);
  ASSERT_EQ(scan.problems.size(), 1u);
  EXPECT_NE(scan.problems[0].find("Tile folder"), std::string::npos);
  EXPECT_EQ(scan.states.Count(TileState::Missing), 2);
}

TEST(TaskFolder, RefusesProjectFilesThatGiveNoRange) {
  ScratchFolder folder("map");
  const struct {
    std::string text;
  } cases[] = {
      {ProjectText(8, "", "20", "50", "40", 4)},
      {ProjectText(8, "10", "2x", "50", "40", 4)},
      {ProjectText(8, "30", "20", "50", "40", 4)},     // left east of right
      {ProjectText(12, "10", "20", "50", "40", 4)},    // no such map type
      {ProjectText(8, "10", "20", "50", "40", 31)},    // zoom off the scale
      {ProjectText(8, "-180", "180", "85", "-85", 20)},  // far more tiles than a view holds
  };
  for (const auto& c : cases) {
    WriteFile(folder / "bad.qrnl", c.text);
    EXPECT_THROW(ReadTaskExtent(folder / "bad.qrnl"), TaskFolderError) << c.text;
  }
  EXPECT_THROW(ReadTaskExtent(folder / "absent.qrnl"), TaskFolderError);
  EXPECT_THROW(ReadTaskExtent(folder.Path()), TaskFolderError);
}

TEST(ParseTileFileName, AcceptsOnlyTheEngineSpelling) {
  EXPECT_EQ(ParseTileFileName("os_8_5_4.png", 8, 4), (TileKey{8, 5, 4}));
  EXPECT_EQ(ParseTileFileName("ms_3_-1_2.jpg", 6, 2), (TileKey{3, -1, 2}));
  EXPECT_EQ(ParseTileFileName("os_8_5_4.jpg", 8, 4), (TileKey{8, 5, 4})) << "a JPEG tile of a PNG map type";
  EXPECT_EQ(ParseTileFileName("ms_3_-1_2.webp", 6, 2), (TileKey{3, -1, 2}));
  for (const char* name : {"os_8_5_4.bmp", "os_8_5_4", "os_08_5_4.png", "os_8_5_5.png", "gm_8_5_4.png", "os_8__4.png",
                           "os_8_5_4.png.tmp", "os_+8_5_4.png", "os_8_5_x_4.png", "os__4.png"})
    EXPECT_FALSE(ParseTileFileName(name, 8, 4)) << name;
}

TEST(ProbeTile, ReadsOneTileAfterARefetch) {
  ScratchFolder folder("map");
  WriteFile(folder / "t.qrnl", ProjectText(8, "10", "20", "50", "40", 4));
  const TaskExtent extent = ReadTaskExtent(folder / "t.qrnl");
  folder.MakeFolder("t");
  const auto tiles = OpenViewedTiles(extent, kBlank);
  const std::string path = extent.FilePath(8, 5);
  EXPECT_EQ(ProbeTile(*tiles, 8, 5, false), TileState::Missing);
  EXPECT_EQ(ProbeTile(*tiles, 8, 5, true), TileState::Failed);
  WriteFile(path, kBlank);
  EXPECT_EQ(ProbeTile(*tiles, 8, 5, false), TileState::Blank);
  EXPECT_EQ(ProbeTile(*tiles, 8, 5, true), TileState::Failed);
  WriteFile(path, "tile bytes");
  EXPECT_EQ(ProbeTile(*tiles, 8, 5, true), TileState::Saved);
}

}  // namespace

namespace {

// A task at zoom 5 over 0..40 E, 20..60 N whose area is a triangle: the
// rectangle's south-east tiles lie outside it.
class TaskWithArea : public testing::Test {
 protected:
  void SetUp() override {
    area_.polygons.push_back({{{0, 60}, {40, 60}, {0, 20}}, {}});
    WriteAreaGeoJson(folder_ / "tri_area.geojson", area_);
    std::string project = ProjectText(8, "0", "40", "60", "20", 5);
    project.insert(project.find("[Zoom]"), "AreaFile=tri_area.geojson\r\n");
    WriteFile(folder_ / "tri.qrnl", project);
  }
  ScratchFolder folder_{"map"};
  Area area_;
};

TEST_F(TaskWithArea, CountsAndScansOnlyTheTilesInside) {
  const TaskExtent extent = ReadTaskExtent(folder_ / "tri.qrnl");
  ASSERT_TRUE(extent.area);
  EXPECT_EQ(extent.area->path, folder_ / "tri_area.geojson");
  ASSERT_EQ(extent.area->area.polygons.size(), 1u);
  for (const LonLat& corner : area_.polygons[0].shell)
    EXPECT_NE(std::ranges::find(extent.area->area.polygons[0].shell, corner),
              extent.area->area.polygons[0].shell.end());
  const int64_t inside = extent.InsideCount();
  EXPECT_LT(inside, extent.TileCount());
  EXPECT_GT(inside, extent.TileCount() / 2);
  // The triangle's south-eastern corner tile lies outside it, and so does the
  // rectangle's western column: longitude 0 counts in the column west of it.
  const int32_t eastX = extent.maxX, southY = extent.maxY;
  ASSERT_FALSE(extent.Inside(eastX, southY));
  ASSERT_FALSE(extent.Inside(extent.minX, extent.minY));
  const MaskTile first = *extent.area->mask.begin();
  ASSERT_TRUE(extent.Inside(first.x, first.y));

  folder_.MakeFolder("tri");
  WriteFile(extent.FilePath(first.x, first.y), "a tile");
  WriteFile(extent.FilePath(eastX, southY), "a tile outside the area");  // left by an earlier task, say
  WriteFile(extent.failedListPath, extent.FilePath(eastX, southY) + "|http://127.0.0.1/x\r\n");
  TaskScan scan = ScanTaskFolder(extent, kBlank);
  EXPECT_EQ(scan.states.Count(TileState::Saved), 1);
  EXPECT_EQ(scan.states.Count(TileState::Failed), 0);
  EXPECT_EQ(scan.states.Count(TileState::Missing), inside - 1);  // the outside is never missing
  EXPECT_EQ(scan.states.At(eastX, southY), TileState::Missing);
  scan.states.Set(eastX, southY, TileState::Saved);
  EXPECT_EQ(scan.states.Count(TileState::Saved), 1);

  // Each tile inside has its own slot, whatever its column's runs.
  int64_t visited = 0;
  scan.states.ForEach([&](int32_t x, int32_t y, TileState) {
    EXPECT_TRUE(extent.Inside(x, y));
    scan.states.Set(x, y, TileState::Blank);
    ++visited;
  });
  EXPECT_EQ(visited, inside);
  EXPECT_EQ(scan.states.Count(TileState::Blank), inside);

  // Zoomed out, cells of no tile inside are no part of the task.
  const CoverageGrid grid(scan.states, 64);
  EXPECT_EQ(grid.At(grid.Columns() - 1, grid.Rows() - 1), CoverageGrid::kNoTaskCell);
  EXPECT_EQ(grid.At(0, 0), CoverageGrid::kNoTaskCell);
  EXPECT_EQ(grid.At(1, 0), static_cast<uint8_t>(TileState::Blank));
  EXPECT_EQ(OutlineOfTask(extent), extent.area->area);
}

TEST_F(TaskWithArea, AMissingOrDamagedAreaIsRefusedNamingIt) {
  const std::string areaPath = folder_ / "tri_area.geojson";
  std::remove(areaPath.c_str());
  const auto refusal = [&] {
    try {
      ReadTaskExtent(folder_ / "tri.qrnl");
    } catch (const TaskFolderError& error) {
      return std::string(error.what());
    }
    return std::string("no refusal");
  };
  EXPECT_NE(refusal().find(areaPath), std::string::npos) << refusal();
  WriteFile(areaPath, "{\"type\": \"FeatureCollection\", \"features\": [");
  EXPECT_NE(refusal().find(areaPath), std::string::npos) << refusal();
  // An area with no tile in the task's range.
  Area away;
  away.polygons.push_back({{{100, 10}, {110, 10}, {100, 0}}, {}});
  WriteAreaGeoJson(areaPath, away);
  EXPECT_NE(refusal().find("holds no tile"), std::string::npos) << refusal();
}

TEST(TaskFolder, ATaskWithoutAreaIsOutlinedByItsRectangle) {
  ScratchFolder folder("map");
  WriteFile(folder / "r.qrnl", ProjectText(8, "10", "20", "50", "40", 4));
  const TaskExtent extent = ReadTaskExtent(folder / "r.qrnl");
  EXPECT_FALSE(extent.area);
  EXPECT_EQ(extent.InsideCount(), extent.TileCount());
  const Area outline = OutlineOfTask(extent);
  ASSERT_EQ(outline.polygons.size(), 1u);
  EXPECT_EQ(outline.polygons[0].shell.front(), (LonLat{10, 50}));
  EXPECT_EQ(outline.polygons[0].shell[2], (LonLat{20, 40}));
}

}  // namespace
