#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "CliArguments.h"
#include "CliProcess.h"
#include "CliZoomRange.h"
#include "ScriptedServer.h"
#include "TestFiles.h"

namespace {

namespace fs = std::filesystem;

struct RangeText {
  const char* text;
  bool accepted;
  int first, last;
};

class ZoomRangeTextTest : public testing::TestWithParam<RangeText> {};

TEST_P(ZoomRangeTextTest, TwoWholeNumbersAroundADash) {
  int first = -1, last = -1;
  ASSERT_EQ(ParseZoomRange(GetParam().text, first, last), GetParam().accepted) << GetParam().text;
  if (GetParam().accepted) {
    EXPECT_EQ(first, GetParam().first);
    EXPECT_EQ(last, GetParam().last);
  }
}

INSTANTIATE_TEST_SUITE_P(Texts, ZoomRangeTextTest,
                         testing::Values(RangeText{"3-5", true, 3, 5}, RangeText{"12-12", true, 12, 12},
                                         RangeText{"5-3", true, 5, 3}, RangeText{"5", false, 0, 0},
                                         RangeText{"-5", false, 0, 0}, RangeText{"3-", false, 0, 0},
                                         RangeText{"3-5x", false, 0, 0}, RangeText{"a-5", false, 0, 0}));

CliArguments Parsed(const std::vector<std::string>& args) { return std::get<CliArguments>(ParseCliArguments(args)); }

TEST(ZoomLevelRunsTest, OneNamedRunPerLevelInOrder) {
  const auto runs = std::get<std::vector<CliArguments>>(
      ZoomLevelRuns(Parsed({"--zoom", "3-5", "--task", "area.qrnl", "--threads", "2"}), 8));
  ASSERT_EQ(runs.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(runs[i].zoom, 3 + i);
    EXPECT_EQ(runs[i].taskName, "area_z" + std::to_string(3 + i) + ".qrnl");
    EXPECT_FALSE(runs[i].zoomRange);
    EXPECT_EQ(runs[i].threads, 2);
  }
  const auto opened = std::get<std::vector<CliArguments>>(ZoomLevelRuns(Parsed({"--open", "/d/city.qrnl", "--zoom=7-7"}), 8));
  EXPECT_EQ(opened.at(0).taskName, "city_z7.qrnl");
  // The last --zoom wins, a range or a level.
  EXPECT_FALSE(Parsed({"--zoom", "3-5", "--zoom", "4"}).zoomRange);
  EXPECT_FALSE(Parsed({"--zoom", "4", "--zoom", "3-5"}).zoom);
}

TEST(ZoomLevelRunsTest, RefusesABackwardRangeOneOutsideTheSliderOrNoName) {
  const std::pair<std::vector<std::string>, const char*> cases[] = {
      {{"--zoom", "5-3", "--task", "a"}, "first level comes first"},
      {{"--zoom", "0-3", "--task", "a"}, "between 1 and 18"},
      {{"--zoom", "17-19", "--task", "a"}, "between 1 and 18"},
      {{"--zoom", "3-5"}, "needs --task"},
  };
  for (const auto& [args, message] : cases) {
    const auto runs = ZoomLevelRuns(Parsed(args), 8);
    ASSERT_TRUE(std::holds_alternative<std::string>(runs)) << args[1];
    EXPECT_NE(std::get<std::string>(runs).find(message), std::string::npos) << std::get<std::string>(runs);
  }
  // Map type 1 reaches zoom 20.
  EXPECT_TRUE(std::holds_alternative<std::vector<CliArguments>>(ZoomLevelRuns(Parsed({"--zoom", "19-20", "--task", "a"}), 1)));
}

TEST(CliZoomRangeTest, RunsEachLevelAsItsOwnTaskWithItsOwnSummary) {
  ScratchFolder temp("clizoom");
  ScriptedServer server;
  WriteFile(temp / "config.ini", "[Hosts]\r\nOpenStreetMap=127.0.0.1:" + std::to_string(server.Port()) + "\r\n");
  const std::vector<std::string> args = {"--config", temp / "config.ini", "--left", "10", "--right", "20",
                                         "--top", "50", "--bottom", "40", "--zoom", "4-5", "--threads", "1",
                                         "--path", temp / "out", "--task", "area"};
  const CliProcess::Result run = CliProcess::Run(args);
  ASSERT_EQ(run.status, 0) << run.err;
  const auto z4 = run.err.find("quarnel-cli: zoom 4: area_z4.qrnl\n");
  const auto z5 = run.err.find("quarnel-cli: zoom 5: area_z5.qrnl\n");
  ASSERT_NE(z4, std::string::npos) << run.err;
  ASSERT_NE(z5, std::string::npos) << run.err;
  EXPECT_LT(z4, z5);
  EXPECT_NE(run.err.find("Summary: 2 saved, 0 failed.", z4), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Summary: 6 saved, 0 failed.", z5), std::string::npos) << run.err;
  EXPECT_TRUE(fs::exists(temp / "out/area_z4/os_8_5_4.png"));
  EXPECT_TRUE(fs::exists(temp / "out/area_z5/os_17_12_5.png"));
  EXPECT_NE(ReadFile(temp / "out/area_z5.qrnl").find("Zoom=5\r\n"), std::string::npos);
  EXPECT_EQ(server.RequestCount(), 8);

  // A level outside the slider is refused before any level runs.
  std::vector<std::string> wide = args;
  wide[11] = "18-19";
  const CliProcess::Result refused = CliProcess::Run(wide);
  EXPECT_EQ(refused.status, 2);
  EXPECT_FALSE(fs::exists(temp / "out/area_z18.qrnl"));
}

}  // namespace
