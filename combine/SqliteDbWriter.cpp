#include "SqliteTileSink.h"

// The "sqlitedb" tile store that phone map apps read: tiles (x, y, z, s,
// image) and one info row. Zooms are numbered the BigPlanet way, z = 17 -
// zoom, which every reader of the format knows (some know no other); info
// says so in tilenumbering for the readers that know both, and its minzoom
// and maxzoom hold the stored z's least and greatest, as those readers
// expect. Rows count from the top; s is always 0.

namespace {

constexpr int32_t kBigPlanetTop = 17;

class SqliteDbSink : public SqliteTileSink {
 public:
  explicit SqliteDbSink(const std::string& target)
      : SqliteTileSink(target,
                       "CREATE TABLE tiles (x int, y int, z int, s int, image blob, PRIMARY KEY (x, y, z, s));"
                       "CREATE TABLE info (maxzoom Int, minzoom Int, tilenumbering TEXT, ellipsoid Int,"
                       " tilesize Int, timecolumn TEXT);"
                       "CREATE TABLE android_metadata (locale TEXT);",
                       "INSERT OR REPLACE INTO tiles VALUES (?1, ?2, ?3, 0, ?4)") {}

 private:
  void InsertTile(SqliteStatement& insert, const PyramidTile& place, std::string_view bytes) override {
    insert.Bind(1, int64_t{place.x}).Bind(2, int64_t{place.y}).Bind(3, int64_t{kBigPlanetTop - place.zoom})
        .BindBlob(4, bytes).Run();
  }

  void WriteMetadata(SqliteFile& db, const TileSetFacts& facts) override {
    SqliteStatement(db, "INSERT INTO info VALUES (?1, ?2, 'BigPlanet', 0, ?3, 'no')")
        .Bind(1, int64_t{kBigPlanetTop - facts.minZoom})
        .Bind(2, int64_t{kBigPlanetTop - facts.maxZoom})
        .Bind(3, int64_t{facts.tileSize})
        .Run();
    db.Run("INSERT INTO android_metadata VALUES ('en_US');");
  }
};

}  // namespace

std::unique_ptr<TileSink> MakeSqliteDbSink(const std::string& target) {
  return std::make_unique<SqliteDbSink>(target);
}
