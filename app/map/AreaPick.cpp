#include "AreaPick.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "AreaMask.h"
#include "MapServices.h"
#include "NumberEntry.h"
#include "TextFormat.h"
#include "Unitclasstask.h"

namespace {

// The value an entry of this number will hold.
double AsEntry(double degrees) { return ParseCoordinate(EntryText(degrees)).value_or(degrees); }

PickCheck Refused(std::string why) {
  PickCheck check;
  check.refusal = std::move(why);
  return check;
}

// The tiles inside the area at one zoom, counted on the task's own range.
int64_t TilesInside(const Area& area, const AreaBounds& bounds, int zoom, int32_t mapsType) {
  const TaskTileRange range = TileRangeOf(bounds.west, bounds.east, bounds.north, bounds.south, zoom, mapsType);
  return BuildAreaMask(area, zoom, RowOriginOf(mapsType), TileRect{range.MinX, range.MinY, range.MaxX, range.MaxY})
      .TileCount();
}

}  // namespace

GeoPoint HeldOnMap(GeoPoint point) {
  return {std::clamp(point.longitude, -180.0, 180.0),
          std::clamp(point.latitude, -kEntryLatitudeLimit, kEntryLatitudeLimit)};
}

AreaPick AreaBetween(GeoPoint a, GeoPoint b) {
  a = HeldOnMap(a), b = HeldOnMap(b);
  return {std::min(a.longitude, b.longitude), std::max(a.longitude, b.longitude), std::max(a.latitude, b.latitude),
          std::min(a.latitude, b.latitude)};
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

PickCheck CheckRectanglePick(const AreaPick& rectangle, ZoomLevels zooms, int32_t mapsType) {
  PickCheck check;
  for (int zoom = zooms.first; zoom <= zooms.last; ++zoom) {
    const AreaCheck level = CheckArea(rectangle, zoom, mapsType);
    if (!level.entries) return Refused(level.refusal);
    check.levels.push_back({zoom, level.tiles});
    check.total += level.tiles;
    check.picked = PickedArea{*level.entries, std::nullopt};
  }
  return check;
}

PickCheck CheckPolygonPick(const std::vector<GeoPoint>& corners, ZoomLevels zooms, int32_t mapsType) {
  if (corners.size() < 3) return Refused("A polygon needs three corners or more");
  const Area area = PolygonArea(corners);
  try {
    ValidateArea(area, "The polygon");
  } catch (const AreaError& refusal) {
    return Refused(refusal.what());
  }
  const AreaBounds bounds = BoundsOf(area);
  if (bounds.west >= bounds.east || bounds.south >= bounds.north) return Refused("The polygon has no width or height");
  PickCheck check;
  for (int zoom = zooms.first; zoom <= zooms.last; ++zoom) {
    const AreaCheck level = CheckArea({bounds.west, bounds.east, bounds.north, bounds.south}, zoom, mapsType);
    if (!level.entries) return Refused(level.refusal);
    int64_t tiles = 0;
    try {
      tiles = TilesInside(area, bounds, zoom, mapsType);
    } catch (const std::exception& refusal) {
      return Refused(refusal.what());
    }
    if (tiles == 0) return Refused("The polygon holds no tile at zoom " + std::to_string(zoom));
    check.levels.push_back({zoom, tiles});
    check.total += tiles;
    check.picked = PickedArea{*level.entries, area};
  }
  return check;
}

std::string PickTilesText(const PickCheck& check) {
  if (!check.picked || check.levels.empty()) return {};
  const std::string estimate = SizeEstimateText(check.total);
  if (check.levels.size() == 1)
    return std::to_string(check.total) + " tiles at zoom " + std::to_string(check.levels[0].zoom) + ", " + estimate;
  std::string each;
  for (const LevelTiles& level : check.levels)
    each += (each.empty() ? "" : ", ") + std::to_string(level.zoom) + ": " + std::to_string(level.tiles);
  return std::to_string(check.total) + " tiles at zooms " + std::to_string(check.levels.front().zoom) + " to " +
         std::to_string(check.levels.back().zoom) + " (" + each + "), " + estimate;
}

Area PolygonArea(const std::vector<GeoPoint>& corners) {
  AreaPolygon polygon;
  for (const GeoPoint& corner : corners) {
    const GeoPoint held = HeldOnMap(corner);
    polygon.shell.push_back({AsEntry(held.longitude), AsEntry(held.latitude)});
  }
  // The picker's map does not wrap: an edge drawn across more than half of
  // it runs through the middle, not the short way over 180 degrees, as an
  // area's edge would. Corners along it keep it where it was drawn.
  AreaRing ring;
  for (std::size_t i = 0; i < polygon.shell.size(); ++i) {
    const LonLat a = polygon.shell[i], b = polygon.shell[(i + 1) % polygon.shell.size()];
    ring.push_back(a);
    const int pieces = static_cast<int>(std::ceil(std::abs(b.longitude - a.longitude) / 180));
    for (int k = 1; k < pieces; ++k)
      ring.push_back({a.longitude + (b.longitude - a.longitude) * k / pieces,
                      a.latitude + (b.latitude - a.latitude) * k / pieces});
  }
  polygon.shell = std::move(ring);
  Area area;
  area.polygons.push_back(std::move(polygon));
  return area;
}
