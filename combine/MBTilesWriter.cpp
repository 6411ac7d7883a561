#include "SqliteTileSink.h"

// The tiles' own bytes go in one transaction through one prepared
// statement; rows are stored bottom-up as MBTiles counts them.

namespace {

class MBTilesSink : public SqliteTileSink {
 public:
  explicit MBTilesSink(const std::string& target)
      : SqliteTileSink(target,
                       "CREATE TABLE metadata (name text, value text);"
                       "CREATE TABLE tiles (zoom_level integer, tile_column integer, tile_row integer, tile_data blob);"
                       "CREATE UNIQUE INDEX tile_index ON tiles (zoom_level, tile_column, tile_row);",
                       "INSERT OR REPLACE INTO tiles VALUES (?1, ?2, ?3, ?4)") {}

 private:
  void InsertTile(SqliteStatement& insert, const PyramidTile& place, std::string_view bytes) override {
    const int64_t lastRow = (int64_t{1} << place.zoom) - 1;
    insert.Bind(1, int64_t{place.zoom}).Bind(2, int64_t{place.x}).Bind(3, lastRow - place.y).BindBlob(4, bytes).Run();
  }

  void WriteMetadata(SqliteFile& db, const TileSetFacts& facts) override { WriteMBTilesMetadata(db, facts); }
};

}  // namespace

void WriteMBTilesMetadata(SqliteFile& db, const TileSetFacts& facts) {
  SqliteStatement metadata(db, "INSERT INTO metadata VALUES (?1, ?2)");
  const auto add = [&](const char* name, const std::string& value) {
    metadata.BindText(1, name).BindText(2, value).Run();
  };
  add("name", facts.name);
  // One value for the whole set: a mix says png, so that readers that go by
  // it keep the PNG tiles' transparency; the JPEG ones are read by their bytes.
  const bool png = facts.mixedFormats || facts.format == TileFormat::Unknown;
  add("format", png ? "png" : TileFormatName(facts.format));
  add("bounds", BoundsText(facts));
  add("center", CenterText(facts));
  add("minzoom", std::to_string(facts.minZoom));
  add("maxzoom", std::to_string(facts.maxZoom));
  add("type", "baselayer");
  if (!facts.attribution.empty()) add("attribution", facts.attribution);
  if (!facts.vectorLayers.empty()) add("json", "{\"vector_layers\":" + facts.vectorLayers + "}");
}

std::unique_ptr<TileSink> MakeMBTilesSink(const std::string& target) { return std::make_unique<MBTilesSink>(target); }
