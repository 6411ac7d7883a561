// A vector task end to end with quarnel-cli against the scripted server: a
// TileJSON added as a source, its two tiles (one gzip with Content-Encoding,
// one raw) saved as they came, then combined and read back by independent
// readers (GDAL's MVT driver, the pmtiles package); bodies that are no
// vector tile listed with an empty tile in their place; the outputs that
// cannot hold vector tiles refusing them.

#include <gtest/gtest.h>

#include <filesystem>

#include "CliProcess.h"
#include "CliTestSupport.h"
#include "CombineReaders.h"
#include "ScriptedServer.h"
#include "TileSetReaders.h"
#include "VectorTile.h"

namespace {

using namespace clitest;
using namespace combinetest;
namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string Fixture(const std::string& name) { return ReadFile(std::string(QUARNEL_TEST_DATA_DIR) + "/vector/" + name); }

const std::string kGzipTile = Fixture("gzip/10_536_358.pbf");
const std::string kRawTile = Fixture("raw/10_537_358.pbf");

class CliVectorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(config, "[Hosts]\r\nOpenStreetMap=127.0.0.1:" + std::to_string(server.Port()) + "/v/{z}/{x}/{y}.pbf\r\n");
    server.SetHandler([this](const ScriptedRequest& request) {
      if (request.target == "/v.json")
        return Respond::Ok(R"({"tilejson":"3.0.0","name":"Streets","minzoom":0,"maxzoom":14,"tiles":[")" +
                           server.BaseUrl() + R"(/v/{z}/{x}/{y}.pbf"],"vector_layers":[)" +
                           R"({"id":"roads","fields":{"name":"String","lanes":"Number"}},)" +
                           R"({"id":"places","fields":{"name":"String"}}]})");
      if (request.target == "/v/10/536/358.pbf")
        return Respond::Raw(Respond::Text("HTTP/1.1 200 OK",
                                          {{"Content-Type", "application/x-protobuf"}, {"Content-Encoding", "gzip"}},
                                          firstTile));
      return Respond::Ok(kRawTile);
    });
  }
  // Zoom 10 over 8.5..8.8 east, 47.37..47.41 north: columns 536 and 537, row 358.
  std::vector<std::string> TaskArgs(const std::string& task, std::vector<std::string> more) {
    std::vector<std::string> args{"--config", config.string(), "--left", "8.5", "--right", "8.8", "--top",
                                  "47.41",    "--bottom",      "47.37",  "--zoom", "10", "--path", out.string(),
                                  "--task",   task};
    args.insert(args.end(), more.begin(), more.end());
    return args;
  }
  CliProcess::Result Combine(const std::string& task, const std::string& output, std::vector<std::string> more = {}) {
    std::vector<std::string> args{"--config", config.string(), "combine", (out / (task + ".qrnl")).string(),
                                  (out / output).string()};
    args.insert(args.end(), more.begin(), more.end());
    return CliProcess::Run(args);
  }

  ScratchFolder temp;
  fs::path config = temp / "config.ini";
  fs::path out = temp / "out";
  std::string firstTile = kGzipTile;
  ScriptedServer server;
};

TEST_F(CliVectorTest, FromATileJsonToMBTilesPMTilesAndAFolder) {
  ASSERT_EQ(CliProcess::Run({"--config", config.string(), "sources", "add", server.BaseUrl() + "/v.json"}).status, 0);
  // A pasted tile address ending .pbf gives a vector source too.
  const std::vector<std::string> pasted{"--config", config.string(), "sources", "add",
                                        server.BaseUrl() + "/v/10/537/358.pbf", "--name", "Pasted"};
  ASSERT_EQ(CliProcess::Run(pasted).status, 0);
  EXPECT_EQ(IniValue(CliProcess::Run({"--config", config.string(), "sources", "show", "Pasted"}).out, "Format"), "pbf");
  const CliProcess::Result estimate = CliProcess::Run(TaskArgs("streets", {"--source", "Streets", "--dry-run"}));
  ASSERT_EQ(estimate.status, 0) << estimate.err;
  EXPECT_TRUE(Contains(estimate.out, "zoom 10: 2 tiles, about ")) << estimate.out;
  EXPECT_TRUE(Contains(estimate.out, " (2 sample tiles, ")) << "both samples pass the vector check: " << estimate.out;

  const CliProcess::Result run = CliProcess::Run(TaskArgs("streets", {"--source", "Streets"}));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ReadFile(out / "streets/os_536_358_10.pbf"), kGzipTile) << "gzip stays gzip";
  EXPECT_EQ(ReadFile(out / "streets/os_537_358_10.pbf"), kRawTile);
  const std::string project = ReadFile(out / "streets.qrnl");
  EXPECT_EQ(IniValue(project, "Format"), "mvt");
  EXPECT_EQ(IniValue(project, "ContentEncoding"), "kept");

  ASSERT_EQ(Combine("streets", "streets.mbtiles").status, 0);
  const Sqlite mbtiles((out / "streets.mbtiles").string());
  const auto metadata = mbtiles.Metadata();
  EXPECT_EQ(metadata.at("format"), "pbf");
  EXPECT_EQ(metadata.count("tilesize"), 0u) << "a vector tile has no pixels";
  EXPECT_TRUE(Contains(metadata.at("json"), R"({"id":"places","fields":{"name":"String"}})")) << metadata.at("json");
  for (const auto& row : mbtiles.Rows("SELECT tile_data FROM tiles")) EXPECT_TRUE(IsGzip(row[0]));
  const std::string layers = CommandOutput("ogrinfo -ro -q '" + (out / "streets.mbtiles").string() + "'");
  EXPECT_TRUE(Contains(layers, "roads") && Contains(layers, "places")) << layers;

  ASSERT_EQ(Combine("streets", "streets.pmtiles").status, 0);
  if (PMTilesReaderPresent()) {
    const PMTilesRead read = ReadPMTiles((out / "streets.pmtiles").string(), {{10, 536, 358}, {10, 537, 358}});
    EXPECT_EQ(JsonField(read.header, "tileType"), "1") << read.header;
    EXPECT_EQ(JsonField(read.header, "tileCompression"), "2") << read.header;
    EXPECT_TRUE(Contains(read.metadata, "\"vector_layers\":[{\"id\":\"roads\"")) << read.metadata;
    EXPECT_FALSE(Contains(read.metadata, "tilesize")) << read.metadata;
    ASSERT_EQ(read.tiles.size(), 2u);
    EXPECT_EQ(VectorTileLayerNames(read.tiles.at({10, 537, 358}), 1 << 20), std::vector<std::string>{"roads"});
  }

  ASSERT_EQ(Combine("streets", "tree/").status, 0);
  const std::string tile = (out / "tree/10/536/358.pbf").string();
  EXPECT_EQ(ReadFile(tile), kGzipTile);
  const std::string info = CommandOutput("ogrinfo -ro -al -q '" + tile + "'");
  EXPECT_TRUE(Contains(info, "Main street") && Contains(info, "Quarry")) << info;
}

// Which bodies pass is the check's own table (VectorTileTest); here, what the worker makes of one that fails.
TEST_F(CliVectorTest, ABodyThatIsNoVectorTileIsListedWithAnEmptyTileInItsPlace) {
  firstTile = kGzipTile.substr(0, kGzipTile.size() - 10);  // a gzip stream cut short
  const CliProcess::Result run = CliProcess::Run(TaskArgs("cut", {"--format", "mvt"}));
  EXPECT_EQ(run.status, 1) << "a failed tile marks the exit status: " << run.err;
  const std::vector<std::string> failed = SplitTextLines(ReadFile(out / "cut_failed.ftl"));
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_TRUE(Contains(failed[0], "os_536_358_10.pbf|")) << failed[0];
  EXPECT_EQ(fs::file_size(out / "cut/os_536_358_10.pbf"), 0u) << "an empty tile, not a picture";
  EXPECT_EQ(ReadFile(out / "cut/os_537_358_10.pbf"), kRawTile);
  EXPECT_EQ(std::distance(fs::directory_iterator(out / "cut"), fs::directory_iterator()), 2);
}

// In one file: the tiles kept as they came, a failed one as a placeholder row,
// and combining gzips them and names the layers as from a folder.
TEST_F(CliVectorTest, AVectorTaskKeptInOneFileCombinesAsFromAFolder) {
  firstTile = kGzipTile.substr(0, kGzipTile.size() - 10);
  EXPECT_EQ(CliProcess::Run(TaskArgs("one", {"--format", "mvt", "--store", "file"})).status, 1);
  EXPECT_FALSE(fs::exists(out / "one"));
  {
    const Sqlite store((out / "one.mbtiles").string());
    EXPECT_EQ(store.Rows("SELECT tile_column FROM tiles"), std::vector<std::vector<std::string>>{{"537"}});
    EXPECT_EQ(store.Rows("SELECT tile_data FROM tiles")[0][0], kRawTile);
    EXPECT_EQ(store.Rows("SELECT tile_column FROM placeholders"), std::vector<std::vector<std::string>>{{"536"}});
  }
  ASSERT_EQ(Combine("one", "one-out.mbtiles").status, 0);
  const Sqlite mbtiles((out / "one-out.mbtiles").string());
  EXPECT_EQ(mbtiles.Metadata().at("format"), "pbf");
  const auto rows = mbtiles.Rows("SELECT tile_column, tile_data FROM tiles");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0][0], "537");
  EXPECT_TRUE(IsGzip(rows[0][1]));
  EXPECT_TRUE(Contains(mbtiles.Metadata().at("json"), R"({"id":"roads")")) << mbtiles.Metadata().at("json");
}

struct RefusedOutput {
  const char* output;
  std::vector<std::string> more;
  const char* says;
};

TEST_F(CliVectorTest, OutputsThatCannotHoldVectorTilesRefuseThem) {
  ASSERT_EQ(CliProcess::Run(TaskArgs("streets", {"--format", "mvt"})).status, 0);
  const RefusedOutput outputs[] = {
      {"streets.tif", {}, "holds vector tiles, which are not drawn here"},
      {"streets.png", {}, "holds vector tiles, which are not drawn here"},
      {"streets.gpkg", {}, "holds vector tiles, which are not drawn here"},
      {"streets.mbtiles", {"--min-zoom", "8"}, "lower levels are fetched, not built"},
      {"streets.mbtiles", {"--tile-size", "512"}, "512-pixel tiles are drawn from images"},
      {"streets.pmtiles", {"--palette"}, "Palette lower levels are drawn from images"},
  };
  for (const RefusedOutput& refused : outputs) {
    const CliProcess::Result run = Combine("streets", refused.output, refused.more);
    EXPECT_NE(run.status, 0) << refused.output;
    EXPECT_TRUE(Contains(run.err, refused.says)) << run.err;
    EXPECT_FALSE(fs::exists(out / refused.output));
  }
  EXPECT_TRUE(Contains(Combine("streets", "x.mbtiles", {"--min-zoom", "8"}).err, "--zoom A-B"));
}

}  // namespace
