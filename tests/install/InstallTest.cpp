// The installed tree (cmake --install into QUARNEL_TEST_PREFIX, done by the
// install_into_prefix fixture): its files, and its programs run from there
// with a home of their own, against the scripted server on 127.0.0.1.

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "AppPaths.h"
#include "CliProcess.h"
#include "ScriptedServer.h"
#include "TestFiles.h"
#include "TextFormat.h"

namespace {

namespace fs = std::filesystem;

const std::string kPrefix = QUARNEL_TEST_PREFIX;
const std::string kBin = kPrefix + "bin/";
const std::string kData = kPrefix + "share/quarnel/";

std::string Sorted(std::vector<std::string> lines) {
  std::sort(lines.begin(), lines.end());
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// ---- The files.

std::vector<std::string> ExpectedFiles() {
  std::vector<std::string> files = {
      "share/quarnel/blankimg/blank.png",
      "share/quarnel/help/help.html",
      "share/quarnel/sources/NASA-GIBS-Landsat-WELD.ini",
      "share/quarnel/sources/OpenStreetMap.ini",
      "share/metainfo/org.example.quarnel.metainfo.xml",
      "share/bash-completion/completions/quarnel-cli",
      "share/doc/quarnel/copyright",
      "share/doc/quarnel/changelog.gz",
  };
  for (const char* program : {"quarnel", "quarnel-cli", "quarnel-cli-combine", "quarnel-area-import", "glimmet", "stitchel"}) {
    files.push_back(std::string("bin/") + program);
    files.push_back(std::string("share/man/man1/") + program + ".1.gz");
  }
  for (const char* window : {"quarnel", "glimmet", "stitchel"}) {
    files.push_back(std::string("share/applications/") + window + ".desktop");
    files.push_back(std::string("share/icons/hicolor/scalable/apps/") + window + ".svg");
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
      const std::string folder = std::to_string(size) + "x" + std::to_string(size);
      files.push_back("share/icons/hicolor/" + folder + "/apps/" + window + ".png");
    }
  }
  return files;
}

class InstalledFile : public ::testing::TestWithParam<std::string> {};

TEST_P(InstalledFile, IsThere) {
  const std::string path = kPrefix + GetParam();
  ASSERT_TRUE(fs::is_regular_file(path)) << path;
  EXPECT_GT(fs::file_size(path), 0u);
  if (GetParam().rfind("bin/", 0) == 0) {
    EXPECT_EQ(::access(path.c_str(), X_OK), 0) << path;
  }
}

INSTANTIATE_TEST_SUITE_P(Tree, InstalledFile, ::testing::ValuesIn(ExpectedFiles()), [](const auto& info) {
  std::string name = info.param;
  std::replace_if(name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
  return name;
});

TEST(InstalledTree, PngIconsAreRenderedAtTheirSize) {
  // A PNG's width and height are the big-endian words at bytes 16 and 20.
  for (int size : {16, 256}) {
    const std::string folder = std::to_string(size) + "x" + std::to_string(size);
    const std::string png = ReadFile(kPrefix + "share/icons/hicolor/" + folder + "/apps/quarnel.png");
    ASSERT_GE(png.size(), 24u);
    auto word = [&](std::size_t at) {
      return (static_cast<unsigned char>(png[at]) << 24) | (static_cast<unsigned char>(png[at + 1]) << 16) |
             (static_cast<unsigned char>(png[at + 2]) << 8) | static_cast<unsigned char>(png[at + 3]);
    };
    EXPECT_EQ(png.substr(1, 3), "PNG");
    EXPECT_EQ(word(16), size);
    EXPECT_EQ(word(20), size);
  }
}

TEST(InstalledTree, TheProgramsFindTheirFilesInShareQuarnel) {
  EXPECT_TRUE(RunsFromAnInstall(kBin));
  EXPECT_EQ(fs::weakly_canonical(BlankImagePathIn(kBin)), fs::weakly_canonical(kData + "blankimg/blank.png"));
  EXPECT_EQ(fs::weakly_canonical(HelpFilePathIn(kBin)), fs::weakly_canonical(kData + "help/help.html"));
  EXPECT_FALSE(fs::exists(kBin + "ini")) << "an install has no configuration beside the programs";
}

TEST(InstalledTree, TheMetadataNamesTheAboutBoxsAddresses) {
  const std::string metainfo = ReadFile(kPrefix + "share/metainfo/org.example.quarnel.metainfo.xml");
  EXPECT_NE(metainfo.find(std::string(">") + kHomepageAddress + "<"), std::string::npos);
  EXPECT_NE(metainfo.find(std::string(">") + kSupportMailAddress + "<"), std::string::npos);
  EXPECT_NE(metainfo.find(std::string("version=\"") + QUARNEL_VERSION + "\""), std::string::npos);
}

// ---- The programs.

class InstalledProgram : public ::testing::TestWithParam<std::string> {};

TEST_P(InstalledProgram, AnswersVersionWithTheProjectsVersion) {
  const CliProcess::Result run = CliProcess(kBin + GetParam(), {"--version"}).Finish();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, GetParam() + " " + QUARNEL_VERSION + "\n");
}

INSTANTIATE_TEST_SUITE_P(Bin, InstalledProgram,
                         ::testing::Values("quarnel", "quarnel-cli", "quarnel-cli-combine", "quarnel-area-import",
                                           "glimmet", "stitchel"),
                         [](const auto& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

// A home of the test's own: the installed programs keep their configuration
// in its XDG folder, and their cache there too.
class InstalledRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("HOME", home.Path().c_str(), 1);
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("XDG_CACHE_HOME");
  }

  // Zoom 4 over 10..20 east, 40..50 north: tiles (8, 5) and (8, 6).
  CliProcess::Result RunTask(const std::string& task) {
    return CliProcess::Run({"--left", "10", "--right", "20", "--top", "50", "--bottom", "40", "--zoom", "4",
                            "--threads", "1", "--path", out, "--task", task});
  }

  void WriteXdgConfig() {
    WriteFile(home.MakeFolder(".config/quarnel") + "/config.ini",
              "[Hosts]\r\nOpenStreetMap=127.0.0.1:" + std::to_string(server.Port()) + "\r\n");
  }

  ScratchFolder home{"install-home"};
  std::string out = home.Path() + "maps/";
  ScriptedServer server{[](const ScriptedRequest& request) {
    return request.target == "/4/8/6.png" ? Respond::Status(404, "Not Found") : ServeBodyFor(request);
  }};
};

TEST_F(InstalledRun, TheCliDownloadsWithTheXdgConfigurationAndTheInstalledBlankImage) {
  WriteXdgConfig();
  // A configuration beside the programs would send the task to a closed port.
  struct Decoy {
    Decoy() {
      fs::create_directories(kBin + "ini");
      WriteFile(kBin + "ini/config.ini",
                "[Hosts]\r\nOpenStreetMap=127.0.0.1:" + std::to_string(UnusedLocalPort()) + "\r\n");
    }
    ~Decoy() { fs::remove_all(kBin + "ini"); }
  } decoy;
  const CliProcess::Result run = RunTask("installed");

  EXPECT_EQ(run.status, 1) << "one tile failed\n" << run.err;
  EXPECT_EQ(Sorted(server.Targets()), Sorted({"/4/8/5.png", "/4/8/6.png"}));
  EXPECT_EQ(ReadFile(out + "installed/os_8_5_4.png"), BodyFor("/4/8/5.png"));
  const std::string blank = ReadFile(kData + "blankimg/blank.png");
  ASSERT_FALSE(blank.empty());
  EXPECT_EQ(ReadFile(out + "installed/os_8_6_4.png"), blank);
}

TEST_F(InstalledRun, TheCliReadsAnAreaThroughTheInstalledImportProgram) {
  WriteXdgConfig();
  WriteFile(home.Path() + "tri.geojson", R"({"type":"Polygon","coordinates":[[[10,40],[20,40],[10,50],[10,40]]]})");
  const CliProcess::Result run = CliProcess::Run({"--area", home.Path() + "tri.geojson", "--zoom", "5", "--threads",
                                                  "1", "--path", out, "--task", "area"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(ReadFile(out + "area.qrnl").find("AreaFile=area_area.geojson\r\n"), std::string::npos);
}

// Each window program starts from the installed tree on the offscreen
// platform and is still running when the guard ends it.
class InstalledWindow : public InstalledRun, public ::testing::WithParamInterface<std::string> {};

TEST_P(InstalledWindow, StartsOffscreen) {
  WriteXdgConfig();
  ASSERT_EQ(RunTask("shown").status, 1);
  std::vector<std::string> args;
  if (GetParam() != "quarnel") args.push_back(out + "shown.qrnl");
  const CliProcess::Result run = CliProcess(kBin + GetParam(), args).Finish(std::chrono::seconds(3));
  EXPECT_EQ(run.status, 128 + SIGKILL) << GetParam() << " ended by itself with " << run.status << ":\n" << run.err;
}

INSTANTIATE_TEST_SUITE_P(Bin, InstalledWindow, ::testing::Values("quarnel", "glimmet", "stitchel"),
                         [](const auto& info) { return info.param; });

// ---- Bash completion of quarnel-cli, run by bash in a folder of sample files.

struct CompletionCase {
  const char* name;
  std::vector<std::string> words;  // the last one is being completed
  std::vector<std::string> expected;
};

void PrintTo(const CompletionCase& c, std::ostream* os) { *os << c.name; }

class Completion : public ::testing::TestWithParam<CompletionCase> {};

TEST_P(Completion, OffersTheWordsThatFit) {
  ScratchFolder folder("completion");
  for (const char* file : {"alps.qrnl", "alps_failed.ftl", "notes.txt", "route.gpx"}) WriteFile(folder / file, "");
  folder.MakeFolder("maps");
  const std::string script = "cd '" + folder.Path() + "' && source '" + kPrefix +
                             "share/bash-completion/completions/quarnel-cli' && complete -p quarnel-cli >/dev/null && "
                             "COMP_WORDS=(\"$@\") && COMP_CWORD=$(($# - 1)) && _quarnel_cli && "
                             "printf '%s\\n' \"${COMPREPLY[@]}\"";
  std::vector<std::string> args = {"-c", script, "bash"};
  args.insert(args.end(), GetParam().words.begin(), GetParam().words.end());
  const CliProcess::Result run = CliProcess("/bin/bash", args).Finish();
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<std::string> offered;
  for (const std::string& line : SplitTextLines(run.out))
    if (!line.empty()) offered.push_back(line);
  EXPECT_EQ(Sorted(offered), Sorted(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Completion,
    ::testing::Values(
        CompletionCase{"commands", {"quarnel-cli", ""}, {"combine", "convert", "redownload", "refresh", "repack", "sources"}},
        CompletionCase{"option", {"quarnel-cli", "--thr"}, {"--threads"}},
        CompletionCase{"threadCounts", {"quarnel-cli", "--threads", ""}, {"1", "2", "3", "4", "5", "6", "7", "8"}},
        CompletionCase{"noCommandAfterATaskOption", {"quarnel-cli", "--left", "10", ""}, {}},
        CompletionCase{"flagTakesNoValue", {"quarnel-cli", "--replace", "--thr"}, {"--threads"}},
        CompletionCase{"flags", {"quarnel-cli", "--re"}, {"--replace"}},
        CompletionCase{"sourceOption", {"quarnel-cli", "--sou"}, {"--source"}},
        CompletionCase{"sourcesActions", {"quarnel-cli", "sources", ""}, {"add", "show", "remove", "test", "key"}},
        CompletionCase{"sourcesAddDocument",
                       {"quarnel-cli", "sources", "add", ""},
                       {"alps.qrnl", "alps_failed.ftl", "notes.txt", "route.gpx", "maps"}},
        CompletionCase{"sourcesAddName", {"quarnel-cli", "sources", "add", "tiles.json", "--"}, {"--name"}},
        CompletionCase{"projectToOpen", {"quarnel-cli", "--open", ""}, {"alps.qrnl", "maps"}},
        CompletionCase{"areaFile", {"quarnel-cli", "--area", ""}, {"route.gpx", "maps"}},
        CompletionCase{"bufferTakesANumber", {"quarnel-cli", "--area", "route.gpx", "--buffer", ""}, {}},
        CompletionCase{"failedList", {"quarnel-cli", "redownload", ""}, {"alps_failed.ftl", "maps"}},
        CompletionCase{"refreshProject", {"quarnel-cli", "refresh", ""}, {"alps.qrnl", "maps"}},
        CompletionCase{"refreshOption", {"quarnel-cli", "refresh", "alps.qrnl", "--o"}, {"--older-than"}},
        CompletionCase{"combineProjects", {"quarnel-cli", "combine", ""}, {"alps.qrnl", "maps"}},
        CompletionCase{"combineOutputEnding", {"quarnel-cli", "combine", "alps.qrnl", "out.t"}, {"out.tif", "out.tiff"}},
        CompletionCase{"combineOptions",
                       {"quarnel-cli", "combine", "alps.qrnl", "--"},
                       {"--force", "--overviews", "--clip", "--min-zoom", "--tile-size", "--palette", "--config"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
