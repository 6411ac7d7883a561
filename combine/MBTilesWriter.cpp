#include "RecentContents.h"
#include "SqliteTileSink.h"

// The tiles' own bytes go in one transaction through prepared statements;
// rows are stored bottom-up as MBTiles counts them. Equal tiles are stored
// once: each place in map names its bytes in images, and the tiles view
// puts them together as readers of the format expect.

namespace {

class MBTilesSink : public SqliteTileSink {
 public:
  explicit MBTilesSink(const std::string& target)
      : SqliteTileSink(target,
                       "CREATE TABLE metadata (name text, value text);"
                       "CREATE TABLE map (zoom_level integer, tile_column integer, tile_row integer, tile_id integer);"
                       "CREATE UNIQUE INDEX map_index ON map (zoom_level, tile_column, tile_row);"
                       "CREATE TABLE images (tile_id integer PRIMARY KEY, tile_data blob);"
                       "CREATE VIEW tiles AS SELECT map.zoom_level AS zoom_level, map.tile_column AS tile_column,"
                       " map.tile_row AS tile_row, images.tile_data AS tile_data"
                       " FROM map JOIN images ON images.tile_id = map.tile_id;",
                       "INSERT OR REPLACE INTO map VALUES (?1, ?2, ?3, ?4)"),
        addImage_(std::in_place, Db(), "INSERT INTO images (tile_data) VALUES (?1)"),
        readImage_(std::in_place, Db(), "SELECT tile_data FROM images WHERE tile_id = ?1") {}

 private:
  void InsertTile(SqliteStatement& insert, const PyramidTile& place, std::string_view bytes) override {
    const int64_t lastRow = (int64_t{1} << place.zoom) - 1;
    insert.Bind(1, int64_t{place.zoom}).Bind(2, int64_t{place.x}).Bind(3, lastRow - place.y)
        .Bind(4, static_cast<int64_t>(ImageOf(bytes))).Run();
  }

  // The id of the images row holding these bytes: one stored lately, else a new one.
  uint64_t ImageOf(std::string_view bytes) {
    if (const auto id = images_.Find(bytes, [&](uint64_t key) {
          readImage_->Bind(1, static_cast<int64_t>(key));
          const bool same = readImage_->Step() && readImage_->Blob(0) == bytes;
          while (readImage_->Step()) {
          }
          return same;
        }))
      return *id;
    addImage_->BindBlob(1, bytes).Run();
    const auto id = static_cast<uint64_t>(sqlite3_last_insert_rowid(Db().Handle()));
    images_.Remember(bytes, id);
    return id;
  }

  void WriteMetadata(SqliteFile& db, const TileSetFacts& facts) override {
    addImage_.reset();
    readImage_.reset();
    WriteMBTilesMetadata(db, facts);
  }

  std::optional<SqliteStatement> addImage_, readImage_;
  RecentContents images_;
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
  // A vector tile has no pixels to count.
  if (facts.format != TileFormat::Mvt) add("tilesize", std::to_string(facts.tileSize));
  if (!facts.attribution.empty()) add("attribution", facts.attribution);
  if (!facts.vectorLayers.empty()) add("json", "{\"vector_layers\":" + facts.vectorLayers + "}");
}

std::unique_ptr<TileSink> MakeMBTilesSink(const std::string& target) { return std::make_unique<MBTilesSink>(target); }
