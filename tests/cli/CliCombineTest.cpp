#include <gtest/gtest.h>

#include <filesystem>

#include "CliCombine.h"
#include "CliProcess.h"
#include "CombineTestSupport.h"
#include "TestFiles.h"

namespace {

struct ParseCase {
  std::vector<std::string> words;
  const char* error;  // part of the usage error; empty when accepted
};

class CliCombineParseTest : public testing::TestWithParam<ParseCase> {};

TEST_P(CliCombineParseTest, AcceptsProjectsThenOneOutput) {
  const auto parsed = ParseCombineArguments(GetParam().words);
  if (*GetParam().error) {
    ASSERT_TRUE(std::holds_alternative<std::string>(parsed));
    EXPECT_NE(std::get<std::string>(parsed).find(GetParam().error), std::string::npos) << std::get<std::string>(parsed);
  } else {
    ASSERT_TRUE(std::holds_alternative<CliCombineArguments>(parsed)) << std::get<std::string>(parsed);
  }
}

INSTANTIATE_TEST_SUITE_P(Words, CliCombineParseTest,
                         testing::Values(ParseCase{{"a.qrnl", "out.tif"}, ""},
                                         ParseCase{{"--force", "a.qrnl", "b.qrnl", "out.MBTiles", "--overviews"}, ""},
                                         ParseCase{{"a.qrnl", "tiles/"}, ""},
                                         ParseCase{{"out.tif"}, "needs PROJECT.qrnl"},
                                         ParseCase{{}, "needs PROJECT.qrnl"},
                                         ParseCase{{"a.qrnl", "out.bmp"}, "must end with"},
                                         ParseCase{{"a.qrnl", "out.tif", "--quick"}, "unknown combine option"}));

TEST(CliCombineParseTest, SplitsTheFlagsFromThePaths) {
  const auto parsed = std::get<CliCombineArguments>(
      ParseCombineArguments({"a_z3.qrnl", "--overviews", "a_z4.qrnl", "all.mbtiles", "--force"}));
  EXPECT_EQ(parsed.projectFiles, (std::vector<std::string>{"a_z3.qrnl", "a_z4.qrnl"}));
  EXPECT_EQ(parsed.outputPath, "all.mbtiles");
  EXPECT_TRUE(parsed.force);
  EXPECT_TRUE(parsed.overviews);
}

class CliCombineRunTest : public testing::Test {
 protected:
  ScratchFolder folder{"clicombine"};
  TaskOnDisk task = WriteTask(folder.Path(), "task", 8, 5, 0, 30, 30, 10);
  CliProcess::Result Run(std::vector<std::string> words) {
    words.insert(words.begin(), "combine");
    return CliProcess::Run(words);
  }
};

TEST_F(CliCombineRunTest, WritesThenRefusesToOverwriteUnlessForced) {
  const auto first = Run({task.projectPath, folder / "out.mbtiles"});
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_NE(first.err.find("tiles written to " + folder / "out.mbtiles"), std::string::npos) << first.err;
  const std::string written = ReadFile(folder / "out.mbtiles");
  EXPECT_EQ(written.substr(0, 15), "SQLite format 3");

  const auto again = Run({task.projectPath, folder / "out.mbtiles"});
  EXPECT_EQ(again.status, 2);
  EXPECT_NE(again.err.find("--force"), std::string::npos) << again.err;
  EXPECT_EQ(ReadFile(folder / "out.mbtiles"), written);

  EXPECT_EQ(Run({"--force", task.projectPath, folder / "out.mbtiles"}).status, 0);
}

TEST_F(CliCombineRunTest, BadTilesAreListedOnStdoutAndEndWithStatus1) {
  WriteFile(task.TilePath(task.minX, task.topMinRow), "not an image");
  const auto result = Run({task.projectPath, folder / "out.tif"});
  EXPECT_EQ(result.status, 1) << result.err;
  EXPECT_NE(result.out.find(task.TilePath(task.minX, task.topMinRow) + ": neither PNG nor JPEG\n"), std::string::npos)
      << result.out;
  EXPECT_NE(result.err.find("1 bad"), std::string::npos) << result.err;
  EXPECT_TRUE(Exists(folder / "out.tif"));
}

TEST_F(CliCombineRunTest, RefusalsEndWithStatus2AndNoOutput) {
  const auto zoom = WriteTask(folder.Path(), "deep", 8, 19, 10, 50.001, 10.001, 50).projectPath;  // beyond 18
  std::filesystem::remove_all(task.tileFolder);
  for (const auto& [project, message] : {std::pair{task.projectPath, "tile folder"}, std::pair{zoom, "zoom 19"}}) {
    const auto result = Run({project, folder / "out.tif"});
    EXPECT_EQ(result.status, 2) << result.err;
    EXPECT_NE(result.err.find(message), std::string::npos) << result.err;
    EXPECT_FALSE(Exists(folder / "out.tif"));
  }
  const auto usage = Run({task.projectPath});
  EXPECT_EQ(usage.status, 2);
  EXPECT_NE(usage.err.find("Usage:"), std::string::npos);
}

}  // namespace
