// A task over an area, with a selection of tiles given as a plain set: what
// the set-up counts, writes and lists, and what a resume counts as done.

#include <gtest/gtest.h>

#include <filesystem>

#include "AtomicFile.h"
#include "ProjectFile.h"
#include "TestFiles.h"
#include "TileSetSelection.h"
#include "Unitclasstask.h"

namespace {

// 10..40 east, 35..50 north at zoom 5: columns 16..19, rows 10..12.
TaskParameters Parameters(const std::string& savePath) {
  TaskParameters p;
  p.LeftLongitude = 10;
  p.RightLongitude = 40;
  p.TopLatitude = 50;
  p.BottomLatitude = 35;
  p.Zoom = 5;
  p.ThreadCount = 2;
  p.SavePath = savePath;
  p.TaskFileName = "route.qrnl";
  return p;
}

using Tiles = std::set<std::pair<int32_t, int32_t>>;

class TaskAreaTest : public testing::Test {
 protected:
  void SetUp() override {
    const TaskTileRange rectangle = TileRangeOf(10, 40, 50, 35, 5, 8);
    ASSERT_EQ(rectangle.MinX, 16);
    ASSERT_EQ(rectangle.MaxX, 19);
    ASSERT_EQ(rectangle.MinY, 10);
    ASSERT_EQ(rectangle.MaxY, 12);
    rectangleProject = ProjectFileText(p, rectangle);
  }
  void SetArea(Tiles tiles) { p.Area = std::make_shared<TileSetArea>(std::move(tiles), "{\"area\":1}"); }

  ScratchFolder folder;
  TaskParameters p = Parameters(folder.Path());
  std::string rectangleProject;
};

TEST_F(TaskAreaTest, CountsWritesAndListsOnlyTheTilesInside) {
  SetArea({{16, 11}, {17, 10}, {17, 11}, {19, 12}});
  const DownloadTask task(p);
  EXPECT_EQ(task.TotalTiles, 4);
  EXPECT_EQ(task.AreaFilePath, folder / "route_area.geojson");
  task.WriteFiles("now", nullptr);

  EXPECT_EQ(ReadWholeFile(task.AreaFilePath), "{\"area\":1}");
  std::string project = rectangleProject;
  project.insert(project.find("\r\n\r\n[Zoom]") + 2, "AreaFile=route_area.geojson\r\n");
  EXPECT_EQ(ReadWholeFile(folder / "route.qrnl"), project);

  std::string list = std::string(DownloadTask::kTileListHeader) + "\r\n";
  for (const auto& [x, y] : Tiles{{16, 11}, {17, 10}, {17, 11}, {19, 12}}) list += task.TileListLine(x, y) + "\r\n";
  EXPECT_EQ(ReadWholeFile(folder / "route_list.txt"), list);

  const std::string log = ReadWholeFile(folder / "route_log.txt");
  EXPECT_NE(log.find("Total count of images would be downloaded: 4\r\n"), std::string::npos);
  EXPECT_NE(log.find("Only the tiles inside the area " + task.AreaFilePath + " are downloaded.\r\n"),
            std::string::npos);

  const ProjectFile read = ProjectFile::Read(folder / "route.qrnl");
  EXPECT_EQ(read.AreaFile, "route_area.geojson");
  EXPECT_EQ(read.AreaPath(), task.AreaFilePath);
}

TEST_F(TaskAreaTest, AnAreaWithNoTileInsideIsRefusedBeforeAnythingIsMade) {
  SetArea({});
  try {
    const DownloadTask task(p);
    FAIL() << "set up";
  } catch (const TaskSetupError& refusal) {
    EXPECT_EQ(refusal.userMessage, "The area holds no tile at zoom 5.");
  }
  EXPECT_EQ(folder.EntryCount(), 0u);
}

// Seqs 1..12 run down columns 16..19 of three rows; inside: 2, 3, 5, 8, 12.
TEST_F(TaskAreaTest, TilesBeforePositionsCountOnlyTheTilesInside) {
  SetArea({{16, 11}, {16, 12}, {17, 11}, {18, 11}, {19, 12}});
  const DownloadTask task(p);
  const struct {
    std::vector<std::pair<int32_t, int32_t>> positions;
    int64_t done;
  } cases[] = {
      {{}, 0},
      {{{17, 10}, {0, 0}}, 1},           // worker 0 through seq 4: tile 2
      {{{17, 10}, {17, 11}}, 3},         // worker 1 through seq 5: tiles 3 and 5
      {{{19, 12}, {19, 11}}, 5},         // both at their ends
      {{{17, 10}, {21, 11}}, 1},         // a position off the range is none
  };
  for (const auto& c : cases) EXPECT_EQ(TilesBeforePositions(task, 2, c.positions, task.Inside.get()), c.done);
}

}  // namespace
