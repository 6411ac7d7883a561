#include "TileSetReaders.h"

#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "TestFiles.h"

namespace fs = std::filesystem;

namespace {

std::string ReaderFolder() { return std::string(QUARNEL_SOURCE_DIR) + "/tests/combine/pmtiles-reader/"; }

TileMap Query(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  TileMap tiles;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
      sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK) {
    while (sqlite3_step(statement) == SQLITE_ROW) {
      const auto* data = static_cast<const char*>(sqlite3_column_blob(statement, 3));
      tiles[{sqlite3_column_int(statement, 0), sqlite3_column_int(statement, 1), sqlite3_column_int(statement, 2)}] =
          std::string(data ? data : "", static_cast<std::size_t>(sqlite3_column_bytes(statement, 3)));
    }
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return tiles;
}

TileMap ReadTree(const std::string& root) {
  TileMap tiles;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    const fs::path relative = fs::relative(entry.path(), root);
    auto part = relative.begin();
    const int32_t zoom = std::stoi((part++)->string());
    const int32_t x = std::stoi((part++)->string());
    const int32_t y = std::stoi(part->stem().string());
    tiles[{zoom, x, y}] = ReadFile(entry.path().string());
  }
  return tiles;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

}  // namespace

bool PMTilesReaderPresent() {
  return std::system("node --version >/dev/null 2>&1") == 0 &&
         fs::exists(ReaderFolder() + "node_modules/pmtiles/package.json");
}

PMTilesRead ReadPMTiles(const std::string& archive, const std::vector<StoredTile>& asked) {
  const ScratchFolder out("pmtilesread");
  std::string command = "node " + Quoted(ReaderFolder() + "read.cjs") + " " + Quoted(archive) + " " +
                        Quoted(out / "read");
  for (const auto& [zoom, x, y] : asked)
    command += " " + std::to_string(zoom) + "/" + std::to_string(x) + "/" + std::to_string(y);
  command += " 2>" + Quoted(out / "error.txt");
  if (std::system(command.c_str()) != 0)
    throw std::runtime_error("the PMTiles reader failed: " + ReadFile(out / "error.txt"));
  PMTilesRead read{ReadFile(out / "read/header.json"), ReadFile(out / "read/metadata.json"), {}};
  for (const auto& [zoom, x, y] : asked) {
    const std::string file = out / ("read/" + std::to_string(zoom) + "_" + std::to_string(x) + "_" + std::to_string(y));
    if (Exists(file)) read.tiles[{zoom, x, y}] = ReadFile(file);
  }
  return read;
}

TileMap ReadTileSet(OutputKind kind, const std::string& path, const std::vector<StoredTile>& asked) {
  switch (kind) {
    case OutputKind::MBTiles: {
      TileMap tiles;
      for (auto& [key, bytes] : Query(path, "SELECT zoom_level, tile_column, tile_row, tile_data FROM tiles")) {
        const auto [zoom, x, tms] = key;
        tiles[{zoom, x, (1 << zoom) - 1 - tms}] = bytes;
      }
      return tiles;
    }
    case OutputKind::GeoPackage:
      return Query(path, "SELECT zoom_level, tile_column, tile_row, tile_data FROM tiles");
    case OutputKind::SqliteDb: {
      TileMap tiles;
      for (auto& [key, bytes] : Query(path, "SELECT 17 - z, x, y, image FROM tiles")) tiles[key] = bytes;
      return tiles;
    }
    case OutputKind::PMTiles:
      return ReadPMTiles(path, asked).tiles;
    default:
      return ReadTree(path);
  }
}

std::vector<StoredTile> PlacesOver(int32_t zoom, int32_t minX, int32_t maxX, int32_t minY, int32_t maxY, int32_t from) {
  std::vector<StoredTile> places;
  for (int32_t z = from; z <= zoom; ++z) {
    const int32_t shift = zoom - z;
    for (int32_t x = minX >> shift; x <= maxX >> shift; ++x)
      for (int32_t y = minY >> shift; y <= maxY >> shift; ++y) places.emplace_back(z, x, y);
  }
  return places;
}

std::string JsonField(const std::string& json, const std::string& key) {
  const std::string tag = "\"" + key + "\":";
  const auto at = json.find(tag);
  if (at == std::string::npos) return "";
  auto start = at + tag.size();
  if (json[start] == '"') {
    const auto end = json.find('"', start + 1);
    return json.substr(start + 1, end - start - 1);
  }
  const auto end = json.find_first_of(",}", start);
  return json.substr(start, end - start);
}
