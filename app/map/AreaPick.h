#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "MapGeometry.h"

// The rectangle a user drags on the map, turned into the four coordinate
// entries of the main window.

struct AreaEntries {
  std::string left, right, top, bottom;  // six decimals each
};

struct AreaPick {
  double left = 0, right = 0, top = 0, bottom = 0;
};

// The rectangle between two corners in any order, longitudes held to
// -180..180 and latitudes to the entries' limit.
AreaPick AreaBetween(GeoPoint a, GeoPoint b);

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
