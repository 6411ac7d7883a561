#pragma once

#include <cstdint>

#include "Commonfunc.h"

// The map view's arithmetic: where a screen pixel falls on the tile grid and
// in degrees. Positions on the grid are "tile points": fractional columns and
// rows counted from the top at the view's zoom, one unit per tile.

inline constexpr int kMaxViewZoom = 19;
// The grid's northern limit as the coordinate entries hold it.
inline constexpr double kEntryLatitudeLimit = 85.0511;

struct TilePoint {
  double x = 0;
  double y = 0;
};

struct GeoPoint {
  double longitude = 0;
  double latitude = 0;
};

struct ScreenPoint {
  double x = 0;
  double y = 0;
};

// The grid's size at a zoom, in tiles per side.
double GridSide(int zoom);

GeoPoint TilePointToDegrees(TilePoint point, int zoom);
// Latitudes beyond the grid's limit are held at the limit, so a pole never
// gives an infinite position.
TilePoint DegreesToTilePoint(GeoPoint point, int zoom);

// A row counted from the top turned into the service's count, and back (the
// same arithmetic both ways).
int32_t ServiceRow(int32_t topRow, int zoom, RowOrigin origin);

struct Viewport {
  TilePoint center;  // the tile point under the widget's middle
  int zoom = 0;
  int width = 0;   // pixels
  int height = 0;  // pixels
};

TilePoint ScreenToTilePoint(const Viewport& view, ScreenPoint screen);
ScreenPoint TilePointToScreen(const Viewport& view, TilePoint point);
// The tile under a pixel, its row in the service's count; x and y may lie
// off the grid.
TileKey TileAtScreen(const Viewport& view, ScreenPoint screen, RowOrigin origin);

// Tiles of the grid that the view touches, rows counted from the top,
// clipped to the grid. Empty when the view lies wholly off the grid.
struct TileRange {
  int32_t minX = 0;
  int32_t minY = 0;
  int32_t maxX = -1;
  int32_t maxY = -1;
  bool Empty() const { return maxX < minX || maxY < minY; }
  int64_t Count() const { return Empty() ? 0 : (int64_t{maxX} - minX + 1) * (int64_t{maxY} - minY + 1); }
  bool Contains(int32_t x, int32_t y) const { return x >= minX && x <= maxX && y >= minY && y <= maxY; }
};
TileRange VisibleTiles(const Viewport& view);

// The view at another zoom with the tile point under `anchor` kept in place
// (the wheel zooms around the cursor). The zoom is held to 0..kMaxViewZoom.
Viewport ZoomAround(const Viewport& view, int newZoom, ScreenPoint anchor);
// The view moved by a number of pixels; the centre stays on the grid.
Viewport PanBy(const Viewport& view, double dx, double dy);
// The deepest zoom (up to maxZoom) at which a rectangle fits the view, centred on it.
Viewport FitRectangle(GeoPoint northWest, GeoPoint southEast, int width, int height, int maxZoom);

// Tiles of another zoom drawn in a view: their size on screen in pixels, the
// ones the view touches (rows from the top, clipped to that zoom's grid) and
// the one under a pixel, its row in the service's count.
double TileScreenSize(const Viewport& view, int tileZoom);
TileRange VisibleTilesAtZoom(const Viewport& view, int tileZoom);
TileKey TileUnder(const Viewport& view, ScreenPoint screen, int tileZoom, RowOrigin origin);
// The screen position of a tile's north-west corner (row from the top).
ScreenPoint TileCornerOnScreen(const Viewport& view, int32_t x, int32_t topRow, int tileZoom);

// The tiles (rows from the top) that a rectangle in degrees touches at a
// zoom, clipped to the grid.
TileRange TilesCovering(GeoPoint northWest, GeoPoint southEast, int zoom);
TileRange Intersection(const TileRange& a, const TileRange& b);
