#include "AppPaths.h"

#include <gtest/gtest.h>

#include "AppTestSupport.h"

namespace {

struct LocationCase {
  const char* name;
  ConfigLocationInputs inputs;
  std::string expected;
};

class ConfigLocation : public ::testing::TestWithParam<LocationCase> {};

TEST_P(ConfigLocation, PicksTheFile) { EXPECT_EQ(ConfigFilePath(GetParam().inputs), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Table, ConfigLocation,
    ::testing::Values(
        LocationCase{"portable", {"/opt/q/", "", "/x", "/home/u", true}, "/opt/q/ini/config.ini"},
        LocationCase{"xdg", {"/usr/bin/", "", "/home/u/.cfg", "/home/u", false}, "/home/u/.cfg/quarnel/config.ini"},
        LocationCase{"xdgSlash", {"/usr/bin/", "", "/home/u/.cfg/", "/home/u", false},
                     "/home/u/.cfg/quarnel/config.ini"},
        LocationCase{"home", {"/usr/bin/", "", "", "/home/u", false}, "/home/u/.config/quarnel/config.ini"},
        LocationCase{"relativeXdgIgnored", {"/usr/bin/", "", "cfg", "/home/u", false},
                     "/home/u/.config/quarnel/config.ini"},
        LocationCase{"overrideWins", {"/opt/q/", "/tmp/my.ini", "/x", "/home/u", true}, "/tmp/my.ini"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConfigLocationOnDisk, UsesAWritableExecutableFolder) {
  ScratchFolder folder;
  EXPECT_EQ(ConfigFilePath(folder.Path(), ""), folder.Path() + "ini/config.ini");
  EXPECT_EQ(ConfigFilePath(folder.Path(), "/elsewhere/c.ini"), "/elsewhere/c.ini");
  EXPECT_NE(ConfigFilePath("/nonexistent/quarnel/", ""), "/nonexistent/quarnel/ini/config.ini");
}

TEST(FilesBesideTheExecutable, AreNamedAfterTheFolder) {
  EXPECT_EQ(HelpFilePathIn("/opt/q/"), "/opt/q/help/help.html");
  EXPECT_EQ(BlankImagePathIn("/opt/q/"), "/opt/q/blankimg/blank.png");
  EXPECT_EQ(MapViewerPathIn("/opt/q/"), "/opt/q/glimmet");
  EXPECT_EQ(MapCombinerPathIn("/opt/q/"), "/opt/q/stitchel");
}

}  // namespace
