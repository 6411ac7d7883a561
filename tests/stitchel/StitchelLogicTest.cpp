#include <gtest/gtest.h>

#include <filesystem>

#include "CombineRun.h"
#include "CombineTestSupport.h"
#include "RecentTask.h"
#include "StitchelLogic.h"
#include "StitchelTestSupport.h"
#include "TestFiles.h"

namespace {

TEST(StitchelArgumentsTest, OneTaskAndAnOptionalConfiguration) {
  const auto both = std::get<StitchelArguments>(ParseStitchelArguments({"--config", "c.ini", "a.qrnl"}));
  EXPECT_EQ(both.configPath, "c.ini");
  EXPECT_EQ(both.projectPath, "a.qrnl");
  EXPECT_TRUE(std::get<StitchelArguments>(ParseStitchelArguments({})).projectPath.empty());
  for (const std::vector<std::string>& wrong :
       {std::vector<std::string>{"a.qrnl", "b.qrnl"}, {"--config"}, {"--zoom", "3"}})
    EXPECT_TRUE(std::holds_alternative<std::string>(ParseStitchelArguments(wrong))) << wrong[0];
}

TEST(StitchelArgumentsTest, TheTaskGivenElseTheLastOneStarted) {
  ScratchFolder folder("stitchel");
  const std::string config = folder / "config.ini";
  EXPECT_EQ(InitialTask({}, config), "");
  WriteFile(folder / "last.qrnl", "");
  RememberLastTask(config, folder / "last.qrnl");
  EXPECT_EQ(InitialTask({}, config), folder / "last.qrnl");
  EXPECT_EQ(InitialTask({"", "given.qrnl"}, config), "given.qrnl");
}

struct SuggestionCase {
  const char* current;
  OutputKind kind;
  const char* expected;
};

class SuggestedOutputTest : public testing::TestWithParam<SuggestionCase> {};

TEST_P(SuggestedOutputTest, SwapsTheEndingOnly) {
  EXPECT_EQ(SuggestedOutputPath("/d/task.qrnl", GetParam().current, GetParam().kind), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, SuggestedOutputTest,
    testing::Values(SuggestionCase{"", OutputKind::GeoTiff, "/d/task.tif"},
                    SuggestionCase{"", OutputKind::TileTree, "/d/task_tiles/"},
                    SuggestionCase{"/e/mine.tif", OutputKind::MBTiles, "/e/mine.mbtiles"},
                    SuggestionCase{"/e/mine_tiles/", OutputKind::JpegWorldImage, "/e/mine.jpg"},
                    SuggestionCase{"/e/mine.png", OutputKind::TileTree, "/e/mine_tiles/"},
                    SuggestionCase{"/e/mine", OutputKind::PngWorldImage, "/e/mine.png"}));

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
