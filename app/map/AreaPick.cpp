#include "AreaPick.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "MapServices.h"
#include "NumberEntry.h"

AreaPick AreaBetween(GeoPoint a, GeoPoint b) {
  const auto lon = [](double v) { return std::clamp(v, -180.0, 180.0); };
  const auto lat = [](double v) { return std::clamp(v, -kEntryLatitudeLimit, kEntryLatitudeLimit); };
  return {lon(std::min(a.longitude, b.longitude)), lon(std::max(a.longitude, b.longitude)),
          lat(std::max(a.latitude, b.latitude)), lat(std::min(a.latitude, b.latitude))};
}

std::string EntryText(double degrees) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", degrees);
  std::string result(text);
  std::replace(result.begin(), result.end(), ',', '.');
  if (result == "-0.000000") result = "0.000000";
  return result;
}

AreaCheck CheckArea(const AreaPick& area, int zoom, int32_t mapsType) {
  AreaCheck check;
  const AreaEntries entries{EntryText(area.left), EntryText(area.right), EntryText(area.top), EntryText(area.bottom)};
  // Judge the values the entries will hold, not the unrounded drag.
  const auto left = ParseCoordinate(entries.left), right = ParseCoordinate(entries.right),
             top = ParseCoordinate(entries.top), bottom = ParseCoordinate(entries.bottom);
  if (!left || !right || !top || !bottom) {
    check.refusal = "The area is not a coordinate";
    return check;
  }
  if (*left >= *right || *top <= *bottom) {
    check.refusal = "Drag a rectangle on the map";
    return check;
  }
  if (zoom < 0 || zoom > 30) {
    check.refusal = "Zoom level outside 0..30";
    return check;
  }
  const auto z = static_cast<uint8_t>(zoom);
  const RowOrigin origin = RowOriginOf(mapsType);
  const int64_t columns = int64_t{LongitudeToColumn(*right, z)} - LongitudeToColumn(*left, z) + 1;
  const int64_t rows = std::llabs(int64_t{LatitudeToRow(*top, z, origin)} - LatitudeToRow(*bottom, z, origin)) + 1;
  check.tiles = columns * rows;
  if (check.tiles > std::numeric_limits<int32_t>::max()) {
    check.refusal = "More tiles than a task can count at zoom " + std::to_string(zoom);
    return check;
  }
  check.entries = entries;
  return check;
}

std::optional<AreaPick> AreaFromEntries(const AreaEntries& entries) {
  const auto left = ParseCoordinate(entries.left), right = ParseCoordinate(entries.right),
             top = ParseCoordinate(entries.top), bottom = ParseCoordinate(entries.bottom);
  if (!left || !right || !top || !bottom) return std::nullopt;
  if (std::abs(*left) > 180 || std::abs(*right) > 180 || std::abs(*top) > 90 || std::abs(*bottom) > 90)
    return std::nullopt;
  return AreaBetween({*left, *top}, {*right, *bottom});
}
