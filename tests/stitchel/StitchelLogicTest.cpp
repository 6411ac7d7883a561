#include <gtest/gtest.h>

#include <filesystem>

#include "CombineRun.h"
#include "CombineTestSupport.h"
#include "RecentTask.h"
#include "StitchelLogic.h"
#include "StitchelTestSupport.h"
#include "TestFiles.h"

namespace {

TEST(StitchelArgumentsTest, TasksAndAnOptionalConfiguration) {
  const auto both = std::get<StitchelArguments>(ParseStitchelArguments({"--config", "c.ini", "a.qrnl", "b.qrnl"}));
  EXPECT_EQ(both.configPath, "c.ini");
  EXPECT_EQ(both.projectPaths, (std::vector<std::string>{"a.qrnl", "b.qrnl"}));
  EXPECT_TRUE(std::get<StitchelArguments>(ParseStitchelArguments({})).projectPaths.empty());
  for (const std::vector<std::string>& wrong : {std::vector<std::string>{"--config"}, {"--zoom", "3"}})
    EXPECT_TRUE(std::holds_alternative<std::string>(ParseStitchelArguments(wrong))) << wrong[0];
}

TEST(StitchelArgumentsTest, TheTasksGivenElseTheLastOneStarted) {
  ScratchFolder folder("stitchel");
  const std::string config = folder / "config.ini";
  EXPECT_TRUE(InitialTasks({}, config).empty());
  WriteFile(folder / "last.qrnl", "");
  RememberLastTask(config, folder / "last.qrnl");
  EXPECT_EQ(InitialTasks({}, config), std::vector<std::string>{folder / "last.qrnl"});
  EXPECT_EQ(InitialTasks({"", {"given.qrnl"}}, config), std::vector<std::string>{"given.qrnl"});
}

// The levels of a --zoom A-B job, by zoom (10 after 9), and nothing else.
TEST(SiblingLevelsTest, TheJobsLevelsByZoom) {
  ScratchFolder folder("stitchel");
  for (const char* name : {"alps_z10.qrnl", "alps_z9.qrnl", "alps_z12.qrnl", "alps_z10.txt", "other_z10.qrnl",
                           "alps.qrnl", "my_alps_z11.qrnl"})
    WriteFile(folder / name, "");
  EXPECT_EQ(SiblingLevels(folder / "alps_z10.qrnl"),
            (std::vector<std::string>{folder / "alps_z9.qrnl", folder / "alps_z10.qrnl", folder / "alps_z12.qrnl"}));
  EXPECT_EQ(SiblingLevels(folder / "alps.qrnl"), std::vector<std::string>{folder / "alps.qrnl"});
}

TEST(StitchelLogicTest, TheFolderToOpen) {
  EXPECT_EQ(FolderToOpen("/maps/alps.pmtiles"), "/maps");
  EXPECT_EQ(FolderToOpen("/maps/alps_tiles/"), "/maps/alps_tiles/");
  EXPECT_EQ(FolderToOpen("alps.gpkg"), ".");
}

struct SuggestionCase {
  const char* current;
  OutputKind kind;
  const char* expected;
};

class SuggestedOutputTest : public testing::TestWithParam<SuggestionCase> {};

TEST_P(SuggestedOutputTest, SwapsTheEndingOnly) {
  EXPECT_EQ(SuggestedOutputPath({"/d/task.qrnl"}, GetParam().current, GetParam().kind), GetParam().expected);
}

TEST(SuggestedOutputTest, AJobIsNamedWithoutItsLevel) {
  EXPECT_EQ(SuggestedOutputPath({"/d/alps_z9.qrnl", "/d/alps_z10.qrnl"}, "", OutputKind::PMTiles), "/d/alps.pmtiles");
  EXPECT_EQ(SuggestedOutputPath({}, "", OutputKind::PMTiles), "");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SuggestedOutputTest,
    testing::Values(SuggestionCase{"", OutputKind::GeoTiff, "/d/task.tif"},
                    SuggestionCase{"", OutputKind::TileTree, "/d/task_tiles/"},
                    SuggestionCase{"/e/mine.tif", OutputKind::MBTiles, "/e/mine.mbtiles"},
                    SuggestionCase{"/e/mine_tiles/", OutputKind::JpegWorldImage, "/e/mine.jpg"},
                    SuggestionCase{"/e/mine.png", OutputKind::TileTree, "/e/mine_tiles/"},
                    SuggestionCase{"/e/mine", OutputKind::PngWorldImage, "/e/mine.png"},
                    SuggestionCase{"/e/mine.gpkg", OutputKind::SqliteDb, "/e/mine.sqlitedb"}));

TEST(CombineRunTest, ReportsLinesAndTheOutcomeFromItsThread) {
  ScratchFolder folder("stitchel");
  const TaskOnDisk task = WriteTask(folder.Path(), "task", 8, 4, 10, 50, 20, 40);
  WriteFile(task.TilePath(task.minX, task.topMinRow), "junk");
  CombineRun run(StitchelRequestFor(task.projectPath, folder / "out.mbtiles"));
  std::optional<CombineRun::Outcome> outcome;
  while (!(outcome = run.Finished())) std::this_thread::yield();
  EXPECT_TRUE(outcome->written) << outcome->message;
  EXPECT_EQ(outcome->summary.badTiles, 1);
  EXPECT_EQ(run.TakeLines().size(), 1u);
  EXPECT_EQ(run.Done(), 2);
}

TEST(CombineRunTest, DestroyedWhileRunningLeavesNothing) {
  ScratchFolder folder("stitchel");
  const TaskOnDisk task = WriteTask(folder.Path(), "task", 8, 9, 0, 10, 10, 0);
  const std::string out = folder.MakeFolder("out") + "/";
  {
    CombineRun run(StitchelRequestFor(task.projectPath, out + "out.tif"));
    run.Cancel();
  }
  EXPECT_TRUE(std::filesystem::is_empty(out));
}

}  // namespace
