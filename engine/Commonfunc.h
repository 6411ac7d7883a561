#pragma once

#include <cstdint>
#include <stdexcept>

// Conversions between geographic coordinates and the spherical-Mercator tile
// grid. The arithmetic is done in 80-bit long double where the grid's
// definition asks for extended precision, so that longitudes on grid lines
// fall on the same side of the line as the reference arithmetic puts them.

// Every tile is a square of this many pixels.
inline constexpr int32_t kTilePixels = 256;

enum class RowOrigin { FromTop, FromBottom };

struct TileKey {
  int32_t x = 0;
  int32_t y = 0;
  int32_t zoom = 0;
  friend bool operator==(const TileKey&, const TileKey&) = default;
};

// A conversion whose result is not finite or does not fit 32 bits (a pole
// latitude, for instance). It fails the task set-up.
class GridConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

int32_t LongitudeToColumn(double longitude, uint8_t zoom);
int32_t LatitudeToRow(double latitude, uint8_t zoom, RowOrigin origin);
long double ColumnToLongitude(double gridLine, uint8_t zoom);
double RowToLatitude(double gridLine, uint8_t zoom, RowOrigin origin);
