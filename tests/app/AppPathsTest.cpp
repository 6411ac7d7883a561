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
        LocationCase{"overrideWins", {"/opt/q/", "/tmp/my.ini", "/x", "/home/u", true}, "/tmp/my.ini"},
        LocationCase{"writableInstallUsesXdg", {"/home/u/.local/bin/", "", "", "/home/u", true, true},
                     "/home/u/.config/quarnel/config.ini"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConfigLocationOnDisk, UsesAWritableExecutableFolder) {
  ScratchFolder folder;
  EXPECT_EQ(ConfigFilePath(folder.Path(), ""), folder.Path() + "ini/config.ini");
  EXPECT_EQ(ConfigFilePath(folder.Path(), "/elsewhere/c.ini"), "/elsewhere/c.ini");
  EXPECT_NE(ConfigFilePath("/nonexistent/quarnel/", ""), "/nonexistent/quarnel/ini/config.ini");
}

// Where the program's files are found, for the layouts a program runs from.
struct LayoutCase {
  const char* name;
  bool beside;     // blankimg/ and help/ beside the executable (build tree, portable folder)
  bool installed;  // the same under ../share/quarnel
  bool expectInstalled;
};

class ProgramFileLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(ProgramFileLayout, FindsTheFilesBesideFirstThenInTheInstall) {
  ScratchFolder prefix;
  const std::string bin = prefix.MakeFolder("bin") + "/";
  const std::string share = prefix.Path() + "share/quarnel/";
  auto put = [](const std::string& path) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteFile(path, "x");
  };
  for (const std::string file : {"blankimg/blank.png", "help/help.html"}) {
    if (GetParam().beside) put(bin + file);
    if (GetParam().installed) put(share + file);
  }
  const std::string folder = GetParam().expectInstalled ? share : bin;
  EXPECT_EQ(BlankImagePathIn(bin), folder + "blankimg/blank.png");
  EXPECT_EQ(HelpFilePathIn(bin), folder + "help/help.html");
  EXPECT_EQ(RunsFromAnInstall(bin), GetParam().expectInstalled);
  // The folder is writable either way; only a build tree or portable folder keeps its configuration there.
  EXPECT_EQ(ConfigFilePath(bin, "") == bin + "ini/config.ini", !GetParam().expectInstalled);
}

INSTANTIATE_TEST_SUITE_P(Table, ProgramFileLayout,
                         ::testing::Values(LayoutCase{"buildTree", true, false, false},
                                           LayoutCase{"install", false, true, true},
                                           LayoutCase{"besideWins", true, true, false},
                                           LayoutCase{"neither", false, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(InstalledDataFolder, IsShareQuarnelBesideBin) {
  EXPECT_EQ(InstalledDataFolder("/usr/bin/"), "/usr/share/quarnel/");
  EXPECT_EQ(InstalledDataFolder("/opt/q/bin/"), "/opt/q/share/quarnel/");
}

TEST(FilesBesideTheExecutable, AreNamedAfterTheFolder) {
  EXPECT_EQ(HelpFilePathIn("/opt/q/"), "/opt/q/help/help.html");
  EXPECT_EQ(BlankImagePathIn("/opt/q/"), "/opt/q/blankimg/blank.png");
  EXPECT_EQ(MapViewerPathIn("/opt/q/"), "/opt/q/glimmet");
  EXPECT_EQ(MapCombinerPathIn("/opt/q/"), "/opt/q/stitchel");
}

}  // namespace
