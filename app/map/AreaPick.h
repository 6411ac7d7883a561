#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Area.h"
#include "MapGeometry.h"

// The area a user picks on the map, a rectangle or a polygon, turned into
// the four coordinate entries of the main window (and, for a polygon, the
// task's area), with the tiles it gives at the chosen zoom levels.

struct AreaEntries {
  std::string left, right, top, bottom;  // six decimals each
};

struct AreaPick {
  double left = 0, right = 0, top = 0, bottom = 0;
};

// The rectangle between two corners in any order, longitudes held to
// -180..180 and latitudes to the entries' limit.
AreaPick AreaBetween(GeoPoint a, GeoPoint b);

// A point held to the same ranges.
GeoPoint HeldOnMap(GeoPoint point);

// The entries for an area, or the reason the task set-up would refuse them
// (no width or height once rounded, more tiles at that zoom than a task counts).
struct AreaCheck {
  std::optional<AreaEntries> entries;
  std::string refusal;
  int64_t tiles = 0;
};
AreaCheck CheckArea(const AreaPick& area, int zoom, int32_t mapsType);

// Six decimals, "." always, "-0.000000" written as "0.000000".
std::string EntryText(double degrees);

// The entries read back as an area for centring the picker; nullopt when any
// is empty or not a coordinate inside the grid's ranges.
std::optional<AreaPick> AreaFromEntries(const AreaEntries& entries);

// The zoom levels a pick is counted at: one level, or a range in either order.
struct ZoomLevels {
  ZoomLevels(int level) : first(level), last(level) {}  // NOLINT: a single level reads as itself
  ZoomLevels(int a, int b) : first(a < b ? a : b), last(a < b ? b : a) {}
  int first;
  int last;
};

// What OK hands back: the entries, and for a polygon the task's area (the
// entries are then its bounding box, BoundsOf).
struct PickedArea {
  AreaEntries entries;
  std::optional<Area> area;
};

struct LevelTiles {
  int zoom = 0;
  int64_t tiles = 0;
};

// A pick judged at every level: what OK would hand back, or the first
// reason the task set-up would refuse it.
struct PickCheck {
  std::optional<PickedArea> picked;
  std::string refusal;
  std::vector<LevelTiles> levels;
  int64_t total = 0;
};
PickCheck CheckRectanglePick(const AreaPick& rectangle, ZoomLevels zooms, int32_t mapsType);
// Counts the tiles inside the polygon as the task will fetch them.
PickCheck CheckPolygonPick(const std::vector<GeoPoint>& corners, ZoomLevels zooms, int32_t mapsType);

// "66306 tiles at zoom 12, about 1.1 GB", or over a range
// "N tiles at zooms 12 to 14 (12: a, 13: b, 14: c), about ...".
std::string PickTilesText(const PickCheck& check);

// The polygon as an area, each corner rounded to the entries' six decimals
// so that the entries hold exactly its bounding box.
Area PolygonArea(const std::vector<GeoPoint>& corners);
