#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "Commonfunc.h"
#include "TileHosts.h"
#include "TileTemplate.h"

// The nine map services: how each names its tiles and where they come from.
struct MapService {
  const char* label;
  RowOrigin origin;
  const char* filePrefix;
  const char* fileExtension;
  int32_t lowestZoom;
  int32_t highestZoom;
  int32_t defaultZoom;
};

inline constexpr int32_t kMapsTypeCount = 9;
inline constexpr int32_t kOpenStreetMap = 8;

// The rows in MapsType order, as the map-type list shows them.
extern const std::array<MapService, kMapsTypeCount> kMapServices;
// Service row for a MapsType; nullptr outside 0..8.
const MapService* FindMapService(int32_t mapsType);
RowOrigin RowOriginOf(int32_t mapsType);

std::string GalileoPrefix(int32_t x, int32_t y);
std::string YahooRow(int32_t y, int32_t zoom);

// Address of a tile; empty for a MapsType outside 0..8.
std::string BuildTileUrl(const TileHosts& hosts, int32_t mapsType, int32_t x, int32_t y, int32_t zoom);
// Why the host or template of a MapsType's service can give no address to
// fetch (a scheme other than http or https, a value of no address's form, an
// unknown placeholder, a switch with an empty item, a lone brace), naming its
// key; nullopt when it can, or when it is empty (the default stands for it).
std::optional<std::string> TileHostProblem(const TileHosts& hosts, int32_t mapsType);
// prefix_x_y_zoom.ext; "_x_y_zoom." for a MapsType outside 0..8.
std::string BuildTileFileName(int32_t mapsType, int32_t x, int32_t y, int32_t zoom);
// True when a file name has the form of a tile file name (prefix_x_y_z.ext).
bool LooksLikeTileFileName(const std::string& fileName);
// The map type and tile a tile file name stands for, under any ending;
// nullopt for a name of another form or an unknown prefix.
struct TileNameParts {
  int32_t mapsType = 0;
  TileKey tile;
};
std::optional<TileNameParts> ParseTileName(const std::string& fileName);
