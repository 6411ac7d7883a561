#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "TileImage.h"
#include "TileOrder.h"

// The outputs that keep every tile as its own bytes (MBTiles, PMTiles,
// GeoPackage, sqlitedb, a tile folder) share one walk: the tasks' tiles zoom
// by zoom in Hilbert order, a place offered by several tasks written once
// (the last task with data wins), then, when asked, the levels below built
// from them. Each kind is a sink that takes tiles and is finished with the
// facts its metadata records.

// What a tile set says about itself, where its format has a place for it.
struct TileSetFacts {
  std::string name;         // the tasks' name
  std::string attribution;  // the tile server's terms; may be empty
  double west = 0, south = 0, east = 0, north = 0;  // degrees: the tasks' areas', or their tiles' edges
  int32_t minZoom = 0, maxZoom = 0;                 // lower levels included
  TileFormat format = TileFormat::Unknown;          // the first tile's; Unknown when none
  bool mixedFormats = false;                        // PNG and JPEG tiles both
  int32_t tileSize = 256;                           // pixels a side
  // Vector tiles: their layers as a JSON array of {"id", "fields", ...}, and
  // whether every tile is gzip-compressed (else every one is raw).
  std::string vectorLayers{};
  bool gzipTiles = false;
};

// The JSON array of vector layers for these layer names, each once in the order met.
std::string VectorLayersJson(const std::vector<std::string>& names);

class TileSink {
 public:
  virtual ~TileSink() = default;
  // PMTiles needs its tiles in tile id order, lower levels first.
  virtual bool NeedsIdOrder() const { return false; }
  // One tile, as it is. sourceFile is the task's file, empty for a built tile.
  virtual void Put(const PyramidTile& place, std::string_view bytes, TileFormat format,
                   const std::string& sourceFile) = 0;
  // Records the facts and makes the output durable under its temporary name.
  virtual void Finish(const TileSetFacts& facts) = 0;
  // Renames the temporary into place.
  virtual void MoveInto(const std::string& target) = 0;
};

// The sinks, each writing under a temporary name beside target until MoveInto.
std::unique_ptr<TileSink> MakeMBTilesSink(const std::string& target);
std::unique_ptr<TileSink> MakePMTilesSink(const std::string& target, uint64_t mostTiles);
std::unique_ptr<TileSink> MakeGeoPackageSink(const std::string& target);
std::unique_ptr<TileSink> MakeSqliteDbSink(const std::string& target);
std::unique_ptr<TileSink> MakeTileTreeSink(const std::string& target);

class SqliteFile;
// The metadata rows an MBTiles file gets, into an open one.
void WriteMBTilesMetadata(SqliteFile& db, const TileSetFacts& facts);

// "west,south,east,north" and "longitude,latitude,zoom" (the middle at the
// lowest zoom), as MBTiles and PMTiles metadata write them.
std::string BoundsText(const TileSetFacts& facts);
std::string CenterText(const TileSetFacts& facts);

// The name a tile set records: the tasks' names without a "_zN" level
// ending, each once, joined by ", ".
std::string TileSetName(const std::vector<std::string>& taskNames);
