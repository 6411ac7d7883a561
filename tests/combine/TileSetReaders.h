#pragma once

// Reading a tile set back as its readers do: MBTiles, GeoPackage and
// sqlitedb through SQLite, a tile folder from the disk, PMTiles through the
// reference reader (the npm package, run by node).

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "Combine.h"

using StoredTile = std::tuple<int32_t, int32_t, int32_t>;  // zoom, column, row from the top
using TileMap = std::map<StoredTile, std::string>;

struct PMTilesRead {
  std::string header;    // the reader's header object, as JSON
  std::string metadata;  // the archive's metadata, as JSON
  TileMap tiles;         // the asked tiles it found
};

// Whether node and the installed reader are there (scripts/setup.sh puts them).
bool PMTilesReaderPresent();
// Asks the reader for every tile in asked; throws std::runtime_error with the
// reader's message when it fails.
PMTilesRead ReadPMTiles(const std::string& archive, const std::vector<StoredTile>& asked);

// Every tile of a tile set. For PMTiles, the tiles asked (and found).
TileMap ReadTileSet(OutputKind kind, const std::string& path, const std::vector<StoredTile>& asked = {});

// Every place at zooms from..to that lies over the tiles of the given range at its zoom.
std::vector<StoredTile> PlacesOver(int32_t zoom, int32_t minX, int32_t maxX, int32_t minY, int32_t maxY, int32_t from);

// The text of "key": value in a flat JSON object, quotes removed; empty when absent.
std::string JsonField(const std::string& json, const std::string& key);
