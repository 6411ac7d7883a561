#include <cmath>
#include <numbers>
#include <set>

#include "CombineSource.h"
#include "GdalSession.h"
#include "Mercator.h"
#include "SqliteTileSink.h"

// An OGC GeoPackage with one tile pyramid in EPSG:3857, written through
// SQLite as MBTiles is, so the tiles keep their bytes. The tile matrix set
// is the whole Web Mercator square, each level a 2^z x 2^z matrix with rows
// counted from the top, as GDAL's GoogleMapsCompatible scheme lays it out;
// the contents' extent is the tasks' own.

namespace {

constexpr const char* kTable = "tiles";
// The tables of a GeoPackage of one tile pyramid.
constexpr const char* kSchema =
    "PRAGMA application_id = 1196444487;"  // "GPKG"
    "PRAGMA user_version = 10200;"
    "CREATE TABLE gpkg_spatial_ref_sys (srs_name TEXT NOT NULL, srs_id INTEGER NOT NULL PRIMARY KEY,"
    " organization TEXT NOT NULL, organization_coordsys_id INTEGER NOT NULL, definition TEXT NOT NULL,"
    " description TEXT);"
    "CREATE TABLE gpkg_contents (table_name TEXT NOT NULL PRIMARY KEY, data_type TEXT NOT NULL,"
    " identifier TEXT UNIQUE, description TEXT DEFAULT '',"
    " last_change DATETIME NOT NULL DEFAULT (strftime('%Y-%m-%dT%H:%M:%fZ','now')),"
    " min_x DOUBLE, min_y DOUBLE, max_x DOUBLE, max_y DOUBLE, srs_id INTEGER,"
    " CONSTRAINT fk_gc_r_srs_id FOREIGN KEY (srs_id) REFERENCES gpkg_spatial_ref_sys(srs_id));"
    "CREATE TABLE gpkg_tile_matrix_set (table_name TEXT NOT NULL PRIMARY KEY, srs_id INTEGER NOT NULL,"
    " min_x DOUBLE NOT NULL, min_y DOUBLE NOT NULL, max_x DOUBLE NOT NULL, max_y DOUBLE NOT NULL,"
    " CONSTRAINT fk_gtms_table_name FOREIGN KEY (table_name) REFERENCES gpkg_contents(table_name),"
    " CONSTRAINT fk_gtms_srs FOREIGN KEY (srs_id) REFERENCES gpkg_spatial_ref_sys (srs_id));"
    "CREATE TABLE gpkg_tile_matrix (table_name TEXT NOT NULL, zoom_level INTEGER NOT NULL,"
    " matrix_width INTEGER NOT NULL, matrix_height INTEGER NOT NULL, tile_width INTEGER NOT NULL,"
    " tile_height INTEGER NOT NULL, pixel_x_size DOUBLE NOT NULL, pixel_y_size DOUBLE NOT NULL,"
    " CONSTRAINT pk_ttm PRIMARY KEY (table_name, zoom_level),"
    " CONSTRAINT fk_tmm_table_name FOREIGN KEY (table_name) REFERENCES gpkg_contents(table_name));"
    "CREATE TABLE tiles (id INTEGER PRIMARY KEY AUTOINCREMENT, zoom_level INTEGER NOT NULL,"
    " tile_column INTEGER NOT NULL, tile_row INTEGER NOT NULL, tile_data BLOB NOT NULL,"
    " UNIQUE (zoom_level, tile_column, tile_row));";

class GeoPackageSink : public SqliteTileSink {
 public:
  explicit GeoPackageSink(const std::string& target)
      : SqliteTileSink(target, kSchema,
                       "INSERT OR REPLACE INTO tiles (zoom_level, tile_column, tile_row, tile_data)"
                       " VALUES (?1, ?2, ?3, ?4)") {}

 private:
  void InsertTile(SqliteStatement& insert, const PyramidTile& place, std::string_view bytes) override {
    insert.Bind(1, int64_t{place.zoom}).Bind(2, int64_t{place.x}).Bind(3, int64_t{place.y}).BindBlob(4, bytes).Run();
    zooms_.insert(place.zoom);
  }

  void WriteMetadata(SqliteFile& db, const TileSetFacts& facts) override {
    SqliteStatement srs(db, "INSERT INTO gpkg_spatial_ref_sys VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    srs.BindText(1, "Undefined cartesian SRS").Bind(2, int64_t{-1}).BindText(3, "NONE").Bind(4, int64_t{-1})
        .BindText(5, "undefined").BindText(6, "undefined cartesian coordinate reference system").Run();
    srs.BindText(1, "Undefined geographic SRS").Bind(2, int64_t{0}).BindText(3, "NONE").Bind(4, int64_t{0})
        .BindText(5, "undefined").BindText(6, "undefined geographic coordinate reference system").Run();
    srs.BindText(1, "WGS 84 geodetic").Bind(2, int64_t{4326}).BindText(3, "EPSG").Bind(4, int64_t{4326})
        .BindText(5, EpsgWkt(4326))
        .BindText(6, "longitude/latitude coordinates in decimal degrees on the WGS 84 spheroid")
        .Run();
    srs.BindText(1, "WGS 84 / Pseudo-Mercator").Bind(2, int64_t{3857}).BindText(3, "EPSG").Bind(4, int64_t{3857})
        .BindText(5, EpsgWkt(3857)).BindText(6, "Web Mercator").Run();

    SqliteStatement contents(db,
                             "INSERT INTO gpkg_contents (table_name, data_type, identifier, description, min_x,"
                             " min_y, max_x, max_y, srs_id) VALUES (?1, 'tiles', ?2, ?3, ?4, ?5, ?6, ?7, 3857)");
    contents.BindText(1, kTable).BindText(2, facts.name.empty() ? kTable : facts.name).BindText(3, facts.attribution)
        .Bind(4, MercatorX(facts.west)).Bind(5, MercatorY(facts.south)).Bind(6, MercatorX(facts.east))
        .Bind(7, MercatorY(facts.north)).Run();
    SqliteStatement set(db, "INSERT INTO gpkg_tile_matrix_set VALUES (?1, 3857, ?2, ?3, ?4, ?5)");
    set.BindText(1, kTable).Bind(2, -kMercatorHalfWorld).Bind(3, -kMercatorHalfWorld).Bind(4, kMercatorHalfWorld)
        .Bind(5, kMercatorHalfWorld).Run();
    SqliteStatement matrix(db, "INSERT INTO gpkg_tile_matrix VALUES (?1, ?2, ?3, ?3, ?5, ?5, ?4, ?4)");
    for (const int32_t zoom : zooms_)
      matrix.BindText(1, kTable).Bind(2, int64_t{zoom}).Bind(3, int64_t{1} << zoom)
          .Bind(4, MercatorTileSide(zoom) / facts.tileSize).Bind(5, int64_t{facts.tileSize}).Run();
  }

  std::set<int32_t> zooms_;
};

}  // namespace

std::unique_ptr<TileSink> MakeGeoPackageSink(const std::string& target) {
  return std::make_unique<GeoPackageSink>(target);
}
