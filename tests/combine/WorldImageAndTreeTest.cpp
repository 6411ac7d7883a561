#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>

#include "CombineReaders.h"
#include "TestFiles.h"

namespace {

using namespace combinetest;

namespace fs = std::filesystem;

class WorldImageTest : public testing::TestWithParam<int32_t> {  // map type
 protected:
  ScratchFolder folder{"worldimage"};
};

TEST_P(WorldImageTest, ImageWithWorldFileLiesOnTheGrid) {
  const TaskOnDisk task = WriteTask(folder.Path(), "task", GetParam(), 6, 10, 50, 30, 40);
  fs::remove(task.TilePath(task.minX, task.topMinRow));
  const bool png = task.extension == "png";
  const std::string image = folder / (png ? "map.png" : "map.jpg");
  RunCombine({task.projectPath}, image);

  EXPECT_TRUE(Exists(folder / (png ? "map.pgw" : "map.jgw")));
  EXPECT_NE(ReadFile(folder / "map.prj").find("Mercator"), std::string::npos);
  // gdalinfo, as a user runs it, finds the coordinate system in the .aux.xml.
  const std::string info = CommandOutput("gdalinfo '" + image + "'");
  EXPECT_NE(info.find("Coordinate System is:"), std::string::npos) << info;
  EXPECT_NE(info.find("Pseudo-Mercator"), std::string::npos) << info;
  const Dataset reader(image);  // GDAL reads the world file beside the image
  ASSERT_NE(reader.handle, nullptr);
  const int columns = task.maxX - task.minX + 1, rows = task.topMaxRow - task.topMinRow + 1;
  EXPECT_EQ(GDALGetRasterXSize(reader.handle), columns * 256);
  EXPECT_EQ(GDALGetRasterYSize(reader.handle), rows * 256);
  double transform[6];
  ASSERT_EQ(GDALGetGeoTransform(reader.handle, transform), CE_None);
  EXPECT_NEAR(transform[0], MercatorX(task.west), 1e-3);
  EXPECT_NEAR(transform[3], MercatorY(task.north), 1e-3);
  EXPECT_NEAR(transform[3] + transform[5] * rows * 256, MercatorY(task.south), 1e-3);
  EXPECT_EQ(GDALGetRasterCount(reader.handle), png ? 4 : 3);
  Rgba last = reader.Pixel((columns - 1) * 256 + 128, (rows - 1) * 256 + 128, png ? 4 : 3);
  if (!png) last[3] = 255;  // JPEG has no alpha
  EXPECT_TRUE(Near(last, TileColour(task.maxX, task.topMaxRow), png ? 0 : 4));
  const Rgba missing = reader.Pixel(128, 128, png ? 4 : 3);
  EXPECT_EQ(missing[png ? 3 : 0], 0);  // transparent, or black in JPEG
  EXPECT_EQ(fs::directory_iterator(folder.Path()) == fs::directory_iterator(), false);
  for (const auto& entry : fs::directory_iterator(folder.Path()))
    EXPECT_NE(entry.path().filename().string()[0], '.') << "temporary left: " << entry.path();
}

INSTANTIATE_TEST_SUITE_P(MapTypes, WorldImageTest, testing::Values(8, 5, 6));

TEST(WorldImageRefusalTest, LargeMosaicsAndExistingWorldFilesAreRefused) {
  ScratchFolder folder("worldimage");
  const TaskOnDisk wide = WriteTask(folder.Path(), "wide", 8, 8, -80, 1, 90, 0, false);  // 122 columns
  try {
    RunCombine({wide.projectPath}, folder / "wide.png");
    ADD_FAILURE() << "no refusal";
  } catch (const CombineError& error) {
    EXPECT_NE(std::string(error.what()).find("GeoTIFF (.tif)"), std::string::npos) << error.what();
  }
  const TaskOnDisk task = WriteTask(folder.Path(), "task", 8, 4, 10, 50, 20, 40);
  WriteFile(folder / "map.pgw", "mine");
  EXPECT_THROW(RunCombine({task.projectPath}, folder / "map.png"), CombineError);
  EXPECT_EQ(ReadFile(folder / "map.pgw"), "mine");
  EXPECT_FALSE(Exists(folder / "map.png"));
}

// x.png and x.jpg have their own world file and .aux.xml and share x.prj,
// which says the same for both.
TEST(WorldImageRefusalTest, APngAndAJpegOfOneNameLieSideBySide) {
  ScratchFolder folder("worldimage");
  const TaskOnDisk task = WriteTask(folder.Path(), "task", 8, 4, 10, 50, 20, 40);
  RunCombine({task.projectPath}, folder / "map.jpg");
  const std::string prj = ReadFile(folder / "map.prj");
  RunCombine({task.projectPath}, folder / "map.png");
  for (const char* name : {"map.jpg", "map.jgw", "map.jpg.aux.xml", "map.png", "map.pgw", "map.png.aux.xml"})
    EXPECT_TRUE(Exists(folder / name)) << name;
  EXPECT_EQ(ReadFile(folder / "map.prj"), prj);
  WriteFile(folder / "other.prj", "another system");
  EXPECT_THROW(RunCombine({task.projectPath}, folder / "other.png"), CombineError) << "a .prj that says otherwise";
  EXPECT_EQ(ReadFile(folder / "other.prj"), "another system");
}

TEST(TileTreeTest, TilesLinkedUnderTopCountedRowsWithoutTheBlankOnes) {
  ScratchFolder folder("tiletree");
  const TaskOnDisk z5 = WriteTask(folder.Path(), "area_z5", 5, 5, 139, 37, 150, 30);  // bottom-counted rows
  const TaskOnDisk z6 = WriteTask(folder.Path(), "area_z6", 5, 6, 139, 37, 150, 30);
  WriteFile(z5.TilePath(z5.minX, z5.topMinRow), BlankImageBytes());
  const std::string tree = folder / "tree/";
  const CombineSummary summary = RunCombine({z5.projectPath, z6.projectPath}, tree);
  EXPECT_EQ(summary.noDataTiles, 1);

  int64_t files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(tree)) files += entry.is_regular_file();
  EXPECT_EQ(files, summary.dataTiles);
  EXPECT_FALSE(Exists(tree + "5/" + std::to_string(z5.minX) + "/" + std::to_string(z5.topMinRow) + ".png"));
  for (const TaskOnDisk* task : {&z5, &z6}) {
    const std::string zoom = std::to_string(task->parameters.Zoom);
    const std::string tile =
        tree + zoom + "/" + std::to_string(task->maxX) + "/" + std::to_string(task->topMaxRow) + ".png";
    EXPECT_EQ(ReadFile(tile), ReadFile(task->TilePath(task->maxX, task->topMaxRow))) << tile;
    struct stat info {};
    ASSERT_EQ(::stat(tile.c_str(), &info), 0) << tile;
    EXPECT_EQ(info.st_nlink, 2u) << "not a hard link: " << tile;
  }

  // Again without --force: refused, the tree as it was.
  EXPECT_THROW(RunCombine({z5.projectPath}, tree), CombineError);
  EXPECT_TRUE(Exists(tree + "6"));
}

TEST(WorldImageRefusalTest, CancelWhileEncodingLeavesNothing) {
  ScratchFolder folder("worldimage");
  const TaskOnDisk task = WriteTask(folder.Path(), "task", 8, 4, 10, 50, 20, 40);  // two tiles
  const std::string out = folder.MakeFolder("out") + "/";
  CombineRequest request;
  request.projectFiles = {task.projectPath};
  request.outputPath = out + "map.png";
  int calls = 0;
  request.progress = [&](int64_t, int64_t) { return ++calls < 2; };  // the mosaic passes, its encode stops
  EXPECT_THROW(Combine(request), CombineCancelled);
  EXPECT_GE(calls, 2);
  EXPECT_TRUE(fs::is_empty(out));
}

TEST(TileTreeTest, CancelLeavesNoFolder) {
  ScratchFolder folder("tiletree");
  const TaskOnDisk task = WriteTask(folder.Path(), "task", 8, 8, 0, 10, 10, 0);
  const std::string out = folder.MakeFolder("out") + "/";
  CombineRequest request;
  request.projectFiles = {task.projectPath};
  request.outputPath = out + "tree/";
  request.progress = [](int64_t done, int64_t) { return done < 64; };
  EXPECT_THROW(Combine(request), CombineCancelled);
  EXPECT_TRUE(fs::is_empty(out));
}

}  // namespace
