#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>

// Web Mercator (EPSG:3857), the sphere of the tile grids: degrees to metres
// and back, and the side of a tile. The tile numbers themselves, exact at
// grid lines, are Commonfunc's.

// Half the width of the world in metres: pi times the sphere's radius, 6378137 m.
inline constexpr double kMercatorHalfWorld = 20037508.342789244;

// A latitude's northing as a share of the half world: -1 to 1 between the grid's edges.
inline double MercatorUnitY(double latitude) {
  using std::numbers::pi;
  return std::log(std::tan(pi / 4 + latitude * pi / 360)) / pi;
}
inline double MercatorX(double longitude) { return longitude / 180 * kMercatorHalfWorld; }
inline double MercatorY(double latitude) { return MercatorUnitY(latitude) * kMercatorHalfWorld; }
// The latitude of a northing in metres.
inline double LatitudeOfMercatorY(double northing) {
  using std::numbers::pi;
  return std::atan(std::sinh(northing / kMercatorHalfWorld * pi)) * 180 / pi;
}
// The side of a tile at a zoom, in metres.
inline double MercatorTileSide(int32_t zoom) { return 2 * kMercatorHalfWorld / std::ldexp(1.0, zoom); }
