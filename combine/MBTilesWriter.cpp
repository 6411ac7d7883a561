#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "Commonfunc.h"
#include "OutputPath.h"
#include "TileImage.h"
#include "Writers.h"

// The tiles' own bytes go in one transaction through one prepared
// statement; rows are stored bottom-up as MBTiles counts them.

namespace {

class Database {
 public:
  explicit Database(const std::string& path) : path_(path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
      Fail("create");
  }
  ~Database() {
    sqlite3_finalize(insert_);
    sqlite3_close(db_);
  }
  void Run(const char* sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK) Fail("write");
  }
  void Prepare(const char* sql) {
    sqlite3_finalize(insert_);
    insert_ = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &insert_, nullptr) != SQLITE_OK) Fail("write");
  }
  void Insert(int64_t a, int64_t b, int64_t c, const std::string& blob) {
    sqlite3_reset(insert_);
    sqlite3_bind_int64(insert_, 1, a);
    sqlite3_bind_int64(insert_, 2, b);
    sqlite3_bind_int64(insert_, 3, c);
    sqlite3_bind_blob64(insert_, 4, blob.data(), blob.size(), SQLITE_STATIC);
    if (sqlite3_step(insert_) != SQLITE_DONE) Fail("write");
  }
  void Metadata(const std::string& name, const std::string& value) {
    sqlite3_reset(insert_);
    sqlite3_bind_text(insert_, 1, name.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(insert_, 2, value.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(insert_) != SQLITE_DONE) Fail("write");
  }

 private:
  [[noreturn]] void Fail(const char* action) {
    throw CombineError("Cannot " + std::string(action) + " " + path_ + ": " + sqlite3_errmsg(db_) + ".");
  }
  std::string path_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* insert_ = nullptr;
};

std::string Number(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

struct Bounds {
  double west = 180, south = 90, east = -180, north = -90;
  int32_t minZoom = 99, maxZoom = -1;
  void Add(const CombineSource& source) {
    const DownloadTask& task = source.Task();
    west = std::min(west, task.WestLongitude);
    east = std::max(east, task.EastLongitude);
    south = std::min(south, task.SouthLatitude);
    north = std::max(north, task.NorthLatitude);
    minZoom = std::min(minZoom, source.Zoom());
    maxZoom = std::max(maxZoom, source.Zoom());
  }
};

}  // namespace

void WriteMBTiles(CombineJob& job, const std::string& path) {
  Database db(path);
  // The file is a temporary until renamed: a journal buys nothing.
  db.Run("PRAGMA page_size=65536; PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA locking_mode=EXCLUSIVE;");
  db.Run(
      "CREATE TABLE metadata (name text, value text);"
      "CREATE TABLE tiles (zoom_level integer, tile_column integer, tile_row integer, tile_data blob);"
      "CREATE UNIQUE INDEX tile_index ON tiles (zoom_level, tile_column, tile_row);"
      "BEGIN;");
  db.Prepare("INSERT OR REPLACE INTO tiles VALUES (?1, ?2, ?3, ?4)");
  TileFormat format = TileFormat::Unknown;
  Bounds bounds;
  TileReadAhead tiles(job.blank, job.ColumnWalk());
  std::string tilePath;
  TileBytes tile;
  for (const auto& source : job.sources) {
    bounds.Add(*source);
    const int64_t lastRow = (int64_t{1} << source->Zoom()) - 1;
    for (int32_t column = 0; column < source->Columns(); ++column) {
      for (int32_t row = 0; row < source->Rows(); ++row) {
        if (job.NextData(tiles, tilePath, tile)) {
          if (format == TileFormat::Unknown) format = tile.format;
          db.Insert(source->Zoom(), source->Task().MinX + column, lastRow - source->TopRow(row), tile.bytes);
          ++job.summary.dataTiles;
        }
        job.Step();
      }
    }
  }
  db.Prepare("INSERT INTO metadata VALUES (?1, ?2)");
  const std::string name = std::filesystem::path(job.request.outputPath).stem().string();
  db.Metadata("name", name);
  db.Metadata("format", format == TileFormat::Unknown ? "png" : TileFormatName(format));
  db.Metadata("bounds", Number(bounds.west) + "," + Number(bounds.south) + "," + Number(bounds.east) + "," +
                            Number(bounds.north));
  db.Metadata("center", Number((bounds.west + bounds.east) / 2) + "," + Number((bounds.south + bounds.north) / 2) +
                            "," + std::to_string(bounds.minZoom));
  db.Metadata("minzoom", std::to_string(bounds.minZoom));
  db.Metadata("maxzoom", std::to_string(bounds.maxZoom));
  db.Metadata("type", "baselayer");
  db.Run("COMMIT;");
}

void WriteMBTilesOutput(CombineJob& job) {
  TemporaryOutput temporary(TemporaryBeside(job.request.outputPath));
  WriteMBTiles(job, temporary.Path());
  SyncFile(temporary.Path());
  temporary.MoveInto(job.request.outputPath);
}
