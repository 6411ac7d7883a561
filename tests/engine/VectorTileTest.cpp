// The vector tile check, on tiles GDAL's MVT driver wrote (tests/data/vector),
// and a vector task from its TileJSON to its project file.

#include <gtest/gtest.h>

#include <algorithm>

#include "ProjectFile.h"
#include "SourceImport.h"
#include "TestFiles.h"
#include "TileSource.h"
#include "Unitclasstask.h"
#include "VectorTile.h"

namespace {

std::string Fixture(const std::string& name) { return ReadFile(std::string(QUARNEL_TEST_DATA_DIR) + "/vector/" + name); }

struct BodyCase {
  const char* name;
  std::string body;
  bool accepted;
};

TEST(VectorTileTest, BodiesAcceptedAndRefused) {
  const std::string raw = Fixture("raw/10_536_358.pbf"), gzip = Fixture("gzip/10_536_358.pbf");
  const std::string png = ReadFile(std::string(QUARNEL_TEST_DATA_DIR) + "/engine/tiles/tile.png");
  const BodyCase cases[] = {
      {"Raw", raw, true},
      {"Gzip", gzip, true},
      {"EmptyTile", "", true},
      {"TruncatedGzip", gzip.substr(0, gzip.size() - 9), false},
      {"GzipWithGarbageAfter", gzip + "x", false},
      {"RawCutInALayer", raw.substr(0, raw.size() - 3), false},
      {"Html", "<!DOCTYPE html><html><body>Access denied</body></html>", false},
      {"Json", R"({"error":"quota"})", false},
      {"Png", png, false},
      {"LayerWithoutName", std::string("\x1a\x02\x78\x02", 4), false},
  };
  for (const BodyCase& c : cases) {
    const auto problem = VectorTileBodyProblem(c.body, int64_t{16} << 20);
    EXPECT_EQ(!problem, c.accepted) << c.name << ": " << problem.value_or("");
    if (problem) {
      EXPECT_EQ(std::string(*problem).find_first_of("0123456789"), std::string::npos) << c.name;
    }
  }
  EXPECT_TRUE(VectorTileBodyProblem(gzip, static_cast<int64_t>(raw.size()) - 1)) << "inflates beyond the limit";
}

TEST(VectorTileTest, LayerNamesOfRawAndGzipTiles) {
  // GDAL writes the layers in no fixed order.
  const auto sorted = [](std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
  };
  const std::vector<std::string> both{"places", "roads"};
  EXPECT_EQ(sorted(VectorTileLayerNames(Fixture("raw/10_536_358.pbf"), 1 << 20)), both);
  EXPECT_EQ(sorted(VectorTileLayerNames(Fixture("gzip/10_536_358.pbf"), 1 << 20)), both);
  EXPECT_EQ(VectorTileLayerNames(Fixture("gzip/10_537_358.pbf"), 1 << 20), std::vector<std::string>{"roads"});
  EXPECT_TRUE(VectorTileLayerNames("<html>", 1 << 20).empty());
}

TEST(VectorTileTest, ATileJsonTaskIsVectorFromImportToProjectFile) {
  const SourceImport import = ImportTileJson(
      R"({"tilejson":"3.0.0","name":"Streets","tiles":["http://127.0.0.1:9/v/{z}/{x}/{y}.pbf"],
          "vector_layers":[{"id":"roads","fields":{"name":"String"}},{"id":"places","fields":{}}]})",
      "http://127.0.0.1:9/v.json");
  ASSERT_EQ(import.sources.size(), 1u);
  const TileSource& source = import.sources.front();
  EXPECT_EQ(source.Format, "pbf");
  EXPECT_EQ(source.VectorLayers, R"([{"id":"roads","fields":{"name":"String"}},{"id":"places","fields":{}}])");

  ScratchFolder folder("vectortask");
  TaskParameters p;
  p.LeftLongitude = 8.5, p.RightLongitude = 8.8, p.TopLatitude = 47.4, p.BottomLatitude = 47.3, p.Zoom = 10;
  p.SavePath = folder.Path();
  p.TaskFileName = "streets.qrnl";
  p.Source = source;
  p.Network = SourceNetwork(source, p.Network, "");
  ASSERT_EQ(p.Network.TileFormat, TaskTileFormat::Mvt);
  const DownloadTask task(p);
  task.WriteProjectFile();
  EXPECT_EQ(task.TileFileName(536, 358), "os_536_358_10.pbf");

  const ProjectFile project = ProjectFile::Read(task.ProjectFilePath());
  EXPECT_EQ(project.TileFormat, TaskTileFormat::Mvt);
  EXPECT_EQ(project.Source->VectorLayers, source.VectorLayers);
  EXPECT_TRUE(TaskLayout(ParametersOf(project)).IsVector());

  std::string text = ReadFile(task.ProjectFilePath());
  text.replace(text.find("Format=mvt"), 10, "Format=svg");
  WriteFile(folder / "other.qrnl", text);
  EXPECT_THROW(ProjectFile::Read(folder / "other.qrnl"), ProjectFileError);
}

}  // namespace
