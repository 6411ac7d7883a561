#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cstdio>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "TileStore.h"

namespace {

// What the sqlite3 program, knowing nothing of Quarnel, prints for a query.
std::string Sqlite3Cli(const std::string& path, const std::string& sql) {
  const std::string command = "sqlite3 -readonly '" + path + "' \"" + sql + "\" 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  ::pclose(pipe);
  return out;
}

TEST(TileStoreTest, PathSitsBesideTheProjectFile) {
  EXPECT_EQ(TileStorePathFor("/data/a.b.qrnl"), "/data/a.b.mbtiles");
  EXPECT_EQ(TileStorePathFor("/da.ta/task"), "/da.ta/task.mbtiles");
}

TEST(TileStoreTest, KeepsIdenticalImagesOnceAndPlaceholdersOutsideTheView) {
  ScratchFolder folder;
  const std::string path = folder / "t.mbtiles";
  {
    auto store = TileStore::OpenForWriting(path);
    const std::string sea(3000, 's');
    store->WriteBatch({{4, 8, 5, sea}, {4, 8, 6, sea}, {4, 9, 5, "land"}, {4, 9, 6, {}, true}});
    // A placeholder never hides data; data replaces a placeholder.
    store->WriteBatch({{4, 8, 5, {}, true}, {4, 9, 6, sea}, {4, 10, 6, {}, true}});
    // A tile written over with new bytes lets its old image go when nothing else uses it.
    store->WriteBatch({{4, 9, 5, "coast"}});

    EXPECT_EQ(store->ReadTile(4, 8, 5), sea);
    EXPECT_EQ(store->ReadTile(4, 9, 5), "coast");
    EXPECT_EQ(store->ReadTile(4, 10, 6), std::nullopt);
    EXPECT_EQ(store->State(4, 10, 6), TileState::Placeholder);
    EXPECT_EQ(store->State(4, 9, 6), TileState::Data);
    EXPECT_EQ(store->State(4, 0, 0), TileState::None);
    EXPECT_EQ(store->CountTiles(TileState::Data), 4);
    EXPECT_EQ(store->CountTiles(TileState::Placeholder), 1);

    std::vector<std::string> walked;
    store->ForEachState(4, 0, 15, 0, 15, [&](int32_t x, int32_t y, TileState s) {
      walked.push_back(std::to_string(x) + "," + std::to_string(y) + (s == TileState::Data ? "d" : "p"));
      return true;
    });
    EXPECT_EQ(walked, (std::vector<std::string>{"8,5d", "8,6d", "9,5d", "9,6d", "10,6p"}));
    std::string bytes;
    store->ForEachTile(4, [&](int32_t x, int32_t y, std::string_view b) {
      bytes += std::to_string(x) + "," + std::to_string(y) + "=" + std::to_string(b.size()) + " ";
      return x < 9;
    });
    EXPECT_EQ(bytes, "8,5=3000 8,6=3000 9,5=5 ");
    EXPECT_EQ(store->Zooms(), std::vector<int32_t>{4});

    // Another program reads it while the writer still holds it (WAL).
    EXPECT_EQ(Sqlite3Cli(path, "SELECT count(*), count(DISTINCT tile_data) FROM tiles"), "4|2\n");
    EXPECT_EQ(Sqlite3Cli(path, "SELECT count(*) FROM images"), "2\n");
    // MBTiles rows count from the bottom: y 5 at zoom 4 is row 10.
    EXPECT_EQ(Sqlite3Cli(path, "SELECT tile_row FROM tiles WHERE tile_column=9 ORDER BY tile_row"), "9\n10\n");
    EXPECT_EQ(TileStore::OpenReadOnly(path)->ReadTile(4, 9, 5), "coast");
  }
  EXPECT_EQ(Sqlite3Cli(path, "PRAGMA journal_mode; PRAGMA integrity_check"), "wal\nok\n");
}

TEST(TileStoreTest, ValidatorsAndMetadataKeepTheLatest) {
  ScratchFolder folder;
  auto store = TileStore::OpenForWriting(folder / "t.mbtiles");
  store->PutValidators({{3, 1, 2, 100, 200, "\"e1\"", ""}, {3, 1, 3, 100, 0, "", "Mon"}});
  store->PutValidators({{3, 1, 2, 300, 0, "\"e2\"", ""}});
  const std::optional<StoredValidators> v = store->Validators(3, 1, 2);
  ASSERT_TRUE(v);
  EXPECT_EQ(v->checked, 300);
  EXPECT_EQ(v->etag, "\"e2\"");
  int seen = 0;
  store->ForEachValidators([&](const StoredValidators&) { ++seen; });
  EXPECT_EQ(seen, 2);
  store->SetMetadata("name", "a");
  store->SetMetadata("name", "b");
  EXPECT_EQ(store->Metadata("name"), "b");
  EXPECT_EQ(store->Metadata("format"), std::nullopt);
}

struct Refusal {
  const char* name;
  void (*make)(const std::string& path);
  TileStoreError::Kind kind;
};

void MakeText(const std::string& path) { WriteFile(path, "just some text, not a database at all\n"); }
void MakeOtherSqlite(const std::string& path) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db, "CREATE TABLE tiles (a); INSERT INTO tiles VALUES (1)", nullptr, nullptr, nullptr);
  sqlite3_close(db);
}
void MakeDamaged(const std::string& path) {
  {
    auto store = TileStore::OpenForWriting(path);
    std::vector<std::string> bodies;
    for (int i = 0; i < 400; ++i) bodies.push_back(std::string(900, static_cast<char>('a' + i % 26)) + std::to_string(i));
    std::vector<TileWrite> tiles;
    for (int i = 0; i < 400; ++i) tiles.push_back({10, i, 0, bodies[i]});
    store->WriteBatch(tiles);
  }
  std::string bytes = ReadFile(path);
  for (std::size_t at = 4096 * 3; at < bytes.size(); at += 4096) bytes.replace(at, 40, std::string(40, '\x5a'));
  WriteFile(path, bytes);
}
std::unique_ptr<TileStore> gOtherWriter;
void MakeLocked(const std::string& path) {
  TileStore::OpenForWriting(path)->WriteBatch({{1, 0, 0, "x"}});
  gOtherWriter = TileStore::OpenForWriting(path);
}
void MakeNothing(const std::string&) {}

TEST(TileStoreTest, RefusesWhatItCannotWriteIntoAndChangesNothing) {
  const Refusal cases[] = {
      {"text file", MakeText, TileStoreError::Kind::NotAStore},
      {"other SQLite file", MakeOtherSqlite, TileStoreError::Kind::NotAStore},
      {"damaged store", MakeDamaged, TileStoreError::Kind::Damaged},
      {"store of another writer", MakeLocked, TileStoreError::Kind::Locked},
      {"missing store on resume", MakeNothing, TileStoreError::Kind::Missing},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.name);
    ScratchFolder folder;
    const std::string path = folder / "t.mbtiles";
    c.make(path);
    const std::string before = ReadFile(path);
    try {
      TileStore::OpenForWriting(path, false);
      ADD_FAILURE() << "opened";
    } catch (const TileStoreError& e) {
      EXPECT_EQ(e.kind, c.kind) << e.what();
      EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
    gOtherWriter.reset();
    EXPECT_EQ(ReadFile(path), before);
    EXPECT_FALSE(Exists(path + "-wal"));
  }
}

TEST(TileStoreTest, AFullDiskFailsTheWholeBatch) {
  ScratchFolder folder;
  auto store = TileStore::OpenForWriting(folder / "t.mbtiles");
  store->WriteBatch({{2, 1, 1, "kept"}});
  ASSERT_EQ(sqlite3_exec(store->Handle(), "PRAGMA max_page_count=1", nullptr, nullptr, nullptr), SQLITE_OK);
  const std::string big(200000, 'b');
  EXPECT_THROW(store->WriteBatch({{2, 0, 0, "small"}, {2, 0, 1, big}}), TileStoreError);
  EXPECT_EQ(store->State(2, 0, 0), TileState::None);
  EXPECT_EQ(store->ReadTile(2, 1, 1), "kept");
}

}  // namespace
