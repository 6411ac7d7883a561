#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sqlite3.h>

#include <filesystem>
#include <map>

#include "CliCombine.h"
#include "CliProcess.h"
#include "CombineReaders.h"
#include "CombineTestSupport.h"
#include "TestFiles.h"

namespace {

std::map<std::string, std::string> ReadTileSetMetadata(const std::string& mbtiles) {
  std::map<std::string, std::string> values;
  sqlite3* db = nullptr;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_open_v2(mbtiles.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
      sqlite3_prepare_v2(db, "SELECT name, value FROM metadata", -1, &statement, nullptr) == SQLITE_OK)
    while (sqlite3_step(statement) == SQLITE_ROW)
      values[reinterpret_cast<const char*>(sqlite3_column_text(statement, 0))] =
          reinterpret_cast<const char*>(sqlite3_column_text(statement, 1));
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return values;
}

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
                                         ParseCase{{"a.qrnl", "out.tif", "--quick"}, "unknown combine option"},
                                         ParseCase{{"a.qrnl", "out.pmtiles", "--min-zoom", "3"}, ""},
                                         ParseCase{{"--min-zoom=0", "a.qrnl", "out.gpkg"}, ""},
                                         ParseCase{{"a.qrnl", "out.sqlitedb", "--min-zoom", "x"}, "--min-zoom needs"},
                                         ParseCase{{"a.qrnl", "out.sqlitedb", "--min-zoom", "-1"}, "--min-zoom needs"},
                                         ParseCase{{"a.qrnl", "out.mbtiles", "--min-zoom"}, "needs a value"},
                                         ParseCase{{"a.qrnl", "out.mbtiles", "--tile-size", "1024"}, "--tile-size needs"},
                                         ParseCase{{"a.qrnl", "out.mbtiles", "--palette=no"}, "unknown combine option"},
                                         ParseCase{{"a.qrnl", "out.mbtiles", "--force=1"}, "unknown combine option"},
                                         ParseCase{{"a.qrnl", "out.tif", "--clip=yes"}, "unknown combine option"}));

TEST(CliCombineParseTest, SplitsTheFlagsFromThePaths) {
  const auto parsed = std::get<CliCombineArguments>(ParseCombineArguments(
      {"--config=c.ini", "a_z3.qrnl", "--overviews", "a_z4.qrnl", "--min-zoom", "1", "all.mbtiles", "--force", "--clip",
       "--tile-size=512", "--palette"}));
  EXPECT_EQ(parsed.projectFiles, (std::vector<std::string>{"a_z3.qrnl", "a_z4.qrnl"}));
  EXPECT_EQ(parsed.outputPath, "all.mbtiles");
  EXPECT_TRUE(parsed.force);
  EXPECT_TRUE(parsed.overviews);
  EXPECT_TRUE(parsed.clip);
  EXPECT_EQ(parsed.minZoom, 1);
  EXPECT_EQ(parsed.tileSize, 512);
  EXPECT_TRUE(parsed.palette);
  EXPECT_EQ(parsed.configPath, "c.ini");
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

// A download cut short and a FIFO named like a tile: both bad, named and
// counted, in the outputs that keep the tiles' own bytes; neither blocks.
TEST_F(CliCombineRunTest, CutShortAndNonFileTilesAreBadInTileOutputs) {
  const std::string cut = task.TilePath(task.minX, task.topMinRow);
  const std::string png = ReadFile(cut);
  WriteFile(cut, png.substr(0, png.size() - 5));
  const std::string fifo = task.TilePath(task.maxX, task.topMaxRow);
  std::filesystem::remove(fifo);
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  for (const std::string& output : {folder / "out.mbtiles", folder / "tree/"}) {
    const auto result = Run({task.projectPath, output});
    EXPECT_EQ(result.status, 1) << output << result.err;
    EXPECT_NE(result.err.find(", 2 bad."), std::string::npos) << result.err;
    EXPECT_NE(result.out.find(cut + ": The image is cut short"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find(fifo + ": not a file"), std::string::npos) << result.out;
    EXPECT_TRUE(Exists(output)) << output;
  }
}

TEST_F(CliCombineRunTest, ATaskNamedTwiceIsReadAndCountedOnce) {
  const int64_t tiles = int64_t{task.maxX - task.minX + 1} * (task.topMaxRow - task.topMinRow + 1);
  const std::string sameTask = folder.Path() + "./task.qrnl";
  const auto result = Run({task.projectPath, sameTask, folder / "out.mbtiles"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.err.find(std::to_string(tiles) + " tiles written"), std::string::npos) << result.err;
}

// Temporaries of killed runs: those of this output whose process is gone
// are removed; a live run's and another output's are not touched.
TEST_F(CliCombineRunTest, AStaleTemporaryOfTheOutputIsRemoved) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  const std::string dead = std::to_string(child), live = std::to_string(::getpid());
  WriteFile(folder / (".out.mbtiles.part-" + dead + "-0"), "left by a kill");
  folder.MakeFolder(".out.mbtiles.part-" + dead + "-3.tif");
  WriteFile(folder / (".out.mbtiles.part-" + live + "-0"), "a run still going");
  WriteFile(folder / (".other.mbtiles.part-" + dead + "-0"), "another output's");
  EXPECT_EQ(Run({task.projectPath, folder / "out.mbtiles"}).status, 0);
  EXPECT_FALSE(Exists(folder / (".out.mbtiles.part-" + dead + "-0")));
  EXPECT_FALSE(Exists(folder / (".out.mbtiles.part-" + dead + "-3.tif")));
  EXPECT_TRUE(Exists(folder / (".out.mbtiles.part-" + live + "-0")));
  EXPECT_TRUE(Exists(folder / (".other.mbtiles.part-" + dead + "-0")));
}

// The configuration quarnel-cli is given reaches the combine: the tile
// server's attribution goes into the tile set's metadata.
TEST_F(CliCombineRunTest, LowerLevelsAndTheConfiguredAttribution) {
  WriteFile(folder / "config.ini", "[Hosts]\r\nAttribution=Tiles from a test server\r\n");
  const auto result = CliProcess::Run(
      {"--config", folder / "config.ini", "combine", task.projectPath, folder / "out.mbtiles", "--min-zoom", "3"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.err.find("tiles built for the levels down to zoom 3."), std::string::npos) << result.err;
  const auto metadata = ReadTileSetMetadata(folder / "out.mbtiles");
  EXPECT_EQ(metadata.at("attribution"), "Tiles from a test server");
  EXPECT_EQ(metadata.at("minzoom"), "3");

  const auto missing = Run({"--config", folder / "none.ini", task.projectPath, folder / "other.mbtiles"});
  EXPECT_EQ(missing.status, 2) << missing.err;
  EXPECT_FALSE(Exists(folder / "other.mbtiles"));
}

// --clip reaches the combine: it cuts a GeoTIFF, and a tile set refuses it.
TEST_F(CliCombineRunTest, ClipCutsAGeoTiffAndIsRefusedForATileSet) {
  const TaskOnDisk area =
      WriteAreaTask(folder.Path(), "area", 8, 5, Area{{{{{10.3, 40.2}, {24.6, 40.2}, {17, 51.7}}, {}}}, {}, {}});
  const auto refused = Run({area.projectPath, folder / "out.mbtiles", "--clip"});
  EXPECT_EQ(refused.status, 2) << refused.err;
  EXPECT_NE(refused.err.find("a tile set holds whole tiles"), std::string::npos) << refused.err;
  EXPECT_FALSE(Exists(folder / "out.mbtiles"));

  for (const bool clip : {false, true}) {
    const std::string out = folder / (clip ? "clipped.tif" : "whole.tif");
    std::vector<std::string> words{area.projectPath, out};
    if (clip) words.push_back("--clip");
    const auto result = Run(words);
    EXPECT_EQ(result.status, 0) << result.err;
    // The north-west corner of the tile under the triangle's apex lies outside the outline.
    const combinetest::Dataset image(out);
    ASSERT_NE(image.handle, nullptr);
    EXPECT_EQ(image.Pixel(258, 2)[3], clip ? 0 : 255) << out;
  }
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
  EXPECT_NE(usage.err.find("needs PROJECT.qrnl ... OUTPUT\nTry 'quarnel-cli combine --help'.\n"), std::string::npos)
      << usage.err;
  const auto help = Run({"--help"});
  EXPECT_EQ(help.status, 0) << help.err;
  EXPECT_TRUE(help.out.starts_with("Usage:\n  quarnel-cli [--config FILE] combine PROJECT.qrnl")) << help.out;
}

}  // namespace
