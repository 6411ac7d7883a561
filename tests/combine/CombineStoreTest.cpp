#include <gtest/gtest.h>

#include <filesystem>

#include "CombineReaders.h"
#include "TestFiles.h"
#include "TileSetReaders.h"
#include "TileStore.h"

namespace {

using namespace combinetest;
namespace fs = std::filesystem;

struct StoreCase {
  const char* name;
  OutputKind kind;
  const char* output;
};

// A task kept in one file, with a placeholder row and a missing tile.
class StoredTask : public testing::Test {
 protected:
  void SetUp() override {
    task = WriteTask(folder.Path(), "kept", 8, 6, 0, 40, 40, 10);
    WriteFile(task.TilePath(task.minX, task.topMinRow), BlankImageBytes());  // a failed tile's placeholder
    fs::remove(task.TilePath(task.maxX, task.topMaxRow));
    for (int32_t x = task.minX; x <= task.maxX; ++x)
      for (int32_t y = task.topMinRow; y <= task.topMaxRow; ++y) expected[{6, x, y}] = ReadFile(task.TilePath(x, y));
    expected.erase({6, task.minX, task.topMinRow});
    expected.erase({6, task.maxX, task.topMaxRow});
    MoveTaskIntoStore(task);
  }
  ScratchFolder folder{"combinestore"};
  TaskOnDisk task;
  TileMap expected;
};

// It gives every output what the same task kept as a folder gives: its
// placeholder rows and missing tiles are no data.
class CombineStoreTest : public StoredTask, public testing::WithParamInterface<StoreCase> {
 protected:
  void SetUp() override {
    if (GetParam().kind == OutputKind::PMTiles && !PMTilesReaderPresent())
      GTEST_SKIP() << "node or the PMTiles reader is missing: run scripts/setup.sh";
    StoredTask::SetUp();
  }
};

TEST_P(CombineStoreTest, GivesTheStoresTilesAndNoPlaceholder) {
  const std::string output = folder / GetParam().output;
  const CombineSummary summary = RunCombine({task.projectPath}, output);
  EXPECT_EQ(summary.dataTiles, static_cast<int64_t>(expected.size()));
  EXPECT_EQ(summary.noDataTiles, 2);
  if (GetParam().kind == OutputKind::GeoTiff) {
    const Dataset image(output);
    EXPECT_EQ(image.Pixel(0, 0)[3], 0);  // the placeholder's place stays transparent
    EXPECT_EQ(image.Pixel(256, 0), TileColour(task.minX + 1, task.topMinRow));
    return;
  }
  std::vector<StoredTile> asked;
  for (const auto& [place, bytes] : expected) asked.push_back(place);
  asked.push_back({6, task.minX, task.topMinRow});
  EXPECT_EQ(ReadTileSet(GetParam().kind, output, asked), expected);
}

INSTANTIATE_TEST_SUITE_P(Outputs, CombineStoreTest,
                         testing::Values(StoreCase{"mbtiles", OutputKind::MBTiles, "out.mbtiles"},
                                         StoreCase{"pmtiles", OutputKind::PMTiles, "out.pmtiles"},
                                         StoreCase{"geopackage", OutputKind::GeoPackage, "out.gpkg"},
                                         StoreCase{"sqlitedb", OutputKind::SqliteDb, "out.sqlitedb"},
                                         StoreCase{"folder", OutputKind::TileTree, "tree/"},
                                         StoreCase{"geotiff", OutputKind::GeoTiff, "out.tif"}),
                         [](const auto& info) { return std::string(info.param.name); });

// The MBTiles of a store is a copy of it: the task's own tables and marker
// are gone, and the metadata is what the MBTiles writer writes.
TEST_F(StoredTask, MBTilesIsACopyWithTheWritersMetadata) {
  const std::string output = folder / "copy.mbtiles";
  RunCombine({task.projectPath}, output);
  const Sqlite copy(output);
  EXPECT_EQ(copy.Rows("SELECT count(*) FROM tiles")[0][0], std::to_string(expected.size()));
  EXPECT_TRUE(copy.Rows("SELECT name FROM sqlite_master WHERE name IN ('placeholders', 'validators')").empty());
  EXPECT_EQ(copy.Rows("PRAGMA application_id")[0][0], "0");
  // Copied, not rebuilt: identical images stay stored once.
  EXPECT_EQ(copy.Rows("SELECT type FROM sqlite_master WHERE name = 'tiles'")[0][0], "view");
  const auto metadata = copy.Metadata();
  EXPECT_EQ(metadata.at("name"), "kept");
  EXPECT_EQ(metadata.at("format"), "png");
  EXPECT_EQ(metadata.at("minzoom"), "6");
  EXPECT_EQ(metadata.at("maxzoom"), "6");
  EXPECT_EQ(metadata.at("type"), "baselayer");
  EXPECT_EQ(metadata.count("bounds"), 1u);
  EXPECT_EQ(copy.Rows("PRAGMA integrity_check")[0][0], "ok");
}

// A download never takes the copy for a task's store.
TEST_F(StoredTask, ACopyIsNoStore) {
  const std::string output = folder / "copy.mbtiles";
  RunCombine({task.projectPath}, output);
  try {
    TileStore::OpenReadOnly(output);
    ADD_FAILURE() << "the copy opened as a store";
  } catch (const TileStoreError& refusal) {
    EXPECT_EQ(refusal.kind, TileStoreError::Kind::NotAStore);
  }
}

}  // namespace
