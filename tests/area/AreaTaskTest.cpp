// Areas as tasks have them: the engine's selection over a mask, and a task's
// area read back through its project file.

#include <gtest/gtest.h>

#include <filesystem>

#include "AreaGeoJson.h"
#include "AreaTask.h"
#include "TestFiles.h"
#include "Unitclasstask.h"

namespace {

Area Triangle() { return Area{{{{{10, 45}, {13, 45}, {11, 47.5}}, {}}}, {}, {}}; }

TEST(AreaTaskTest, SelectsTheMasksTilesForTheTasksRange) {
  const auto area = std::make_shared<const Area>(Triangle());
  const std::shared_ptr<const TaskArea> taskArea = TaskAreaOf(area);
  EXPECT_EQ(taskArea->FileText(), AreaGeoJsonText(*area));

  const TaskTileRange range = TileRangeOf(10, 13, 47.5, 45, 9, 8);
  const AreaMask mask = BuildAreaMask(*area, 9, RowOrigin::FromTop, {range.MinX, range.MinY, range.MaxX, range.MaxY});
  const std::shared_ptr<const TileSelection> inside = taskArea->TilesInside(9, RowOrigin::FromTop, range);
  ASSERT_GT(mask.TileCount(), 0);
  EXPECT_EQ(inside->Count(), mask.TileCount());

  std::vector<MaskTile> visited;
  inside->ForEachRun([&](int32_t x, int32_t first, int32_t last) {
    for (int32_t y = first; y <= last; ++y) visited.push_back({x, y});
  });
  EXPECT_EQ(visited, std::vector<MaskTile>(mask.begin(), mask.end()));
  EXPECT_TRUE(inside->Contains(visited.front().x, visited.front().y));
  EXPECT_FALSE(inside->Contains(range.MaxX, range.MinY)) << "the triangle's north-east corner is outside";
}

class TaskAreaFileTest : public testing::Test {
 protected:
  ProjectFile Project(const std::string& areaFile) {
    WriteFile(folder / "t.qrnl", "[AREA]\r\nLeftLongitude=10\r\nRightLongitude=13\r\nTopLatitude=47.5\r\n"
                                 "BottomLatitude=45\r\n" + areaFile + "[Zoom]\r\nZoom=9\r\n[THREADS]\r\nThreadCount=1\r\n");
    return ProjectFile::Read(folder / "t.qrnl");
  }
  ScratchFolder folder;
};

TEST_F(TaskAreaFileTest, ARectangleHasNoAreaAndAnAreaTaskReadsItsFile) {
  EXPECT_FALSE(ReadTaskArea(Project("")));
  WriteAreaGeoJson(folder / "t_area.geojson", Triangle());
  const ProjectFile project = Project("AreaFile=t_area.geojson\r\n");
  const std::optional<Area> area = ReadTaskArea(project);
  ASSERT_TRUE(area);
  EXPECT_EQ(*area, Triangle());
  EXPECT_EQ(TaskAreaMask(project, *area).TileCount(),
            TaskAreaOf(std::make_shared<const Area>(Triangle()))
                ->TilesInside(9, RowOrigin::FromTop, TileRangeOf(10, 13, 47.5, 45, 9, 8))
                ->Count());
}

TEST_F(TaskAreaFileTest, AMissingOrDamagedAreaFileIsRefusedNamingIt) {
  for (const char* damage : {"", "{\"type\":\"Polygon\",\"coordinates\":[[[10,45],[13,45]", "{\"type\":\"Point\"}"}) {
    std::filesystem::remove(folder / "t_area.geojson");
    if (*damage) WriteFile(folder / "t_area.geojson", damage);
    try {
      ReadTaskArea(Project("AreaFile=t_area.geojson\r\n"));
      FAIL() << "read: " << damage;
    } catch (const AreaError& refusal) {
      EXPECT_NE(std::string(refusal.what()).find(folder / "t_area.geojson"), std::string::npos) << refusal.what();
      EXPECT_NE(std::string(refusal.what()).find("cannot be used"), std::string::npos) << refusal.what();
    }
  }
}

}  // namespace
