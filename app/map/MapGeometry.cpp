#include "MapGeometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "Mercator.h"

namespace {

constexpr double kMercatorLimit = 85.0511287798066;

int ClampZoom(int zoom) { return std::clamp(zoom, 0, kMaxViewZoom); }

}  // namespace

double GridSide(int zoom) { return static_cast<double>(int32_t{1} << (ClampZoom(zoom) % 32)); }

GeoPoint TilePointToDegrees(TilePoint point, int zoom) {
  const auto z = static_cast<uint8_t>(ClampZoom(zoom));
  return {static_cast<double>(ColumnToLongitude(point.x, z)), RowToLatitude(point.y, z, RowOrigin::FromTop)};
}

TilePoint DegreesToTilePoint(GeoPoint point, int zoom) {
  const double side = GridSide(zoom);
  const double latitude = std::clamp(point.latitude, -kMercatorLimit, kMercatorLimit);
  return {(point.longitude + 180) / 360 * side, (1 - MercatorUnitY(latitude)) / 2 * side};
}

int32_t ServiceRow(int32_t topRow, int zoom, RowOrigin origin) {
  if (origin == RowOrigin::FromTop) return topRow;
  return static_cast<int32_t>(static_cast<int64_t>(GridSide(zoom)) - 1 - topRow);
}

TilePoint ScreenToTilePoint(const Viewport& view, ScreenPoint screen) {
  return {view.center.x + (screen.x - view.width / 2.0) / kTilePixels,
          view.center.y + (screen.y - view.height / 2.0) / kTilePixels};
}

ScreenPoint TilePointToScreen(const Viewport& view, TilePoint point) {
  return {(point.x - view.center.x) * kTilePixels + view.width / 2.0,
          (point.y - view.center.y) * kTilePixels + view.height / 2.0};
}

TileKey TileAtScreen(const Viewport& view, ScreenPoint screen, RowOrigin origin) {
  const TilePoint point = ScreenToTilePoint(view, screen);
  const auto x = static_cast<int32_t>(std::floor(point.x));
  const auto y = static_cast<int32_t>(std::floor(point.y));
  return {x, ServiceRow(y, view.zoom, origin), view.zoom};
}

TileRange VisibleTiles(const Viewport& view) {
  const TilePoint first = ScreenToTilePoint(view, {0, 0});
  const TilePoint last = ScreenToTilePoint(view, {static_cast<double>(view.width), static_cast<double>(view.height)});
  const double side = GridSide(view.zoom);
  TileRange range;
  if (view.width <= 0 || view.height <= 0 || last.x <= 0 || last.y <= 0 || first.x >= side || first.y >= side)
    return range;
  // A pixel edge exactly on a grid line does not reach into the next tile.
  range.minX = static_cast<int32_t>(std::max(0.0, std::floor(first.x)));
  range.minY = static_cast<int32_t>(std::max(0.0, std::floor(first.y)));
  range.maxX = static_cast<int32_t>(std::min(side, std::ceil(last.x)) - 1);
  range.maxY = static_cast<int32_t>(std::min(side, std::ceil(last.y)) - 1);
  return range;
}

Viewport ZoomAround(const Viewport& view, int newZoom, ScreenPoint anchor) {
  newZoom = ClampZoom(newZoom);
  const TilePoint fixed = ScreenToTilePoint(view, anchor);
  const double factor = GridSide(newZoom) / GridSide(view.zoom);
  Viewport zoomed = view;
  zoomed.zoom = newZoom;
  const double offsetX = (anchor.x - view.width / 2.0) / kTilePixels;
  const double offsetY = (anchor.y - view.height / 2.0) / kTilePixels;
  zoomed.center = {fixed.x * factor - offsetX, fixed.y * factor - offsetY};
  return PanBy(zoomed, 0, 0);
}

Viewport PanBy(const Viewport& view, double dx, double dy) {
  const double side = GridSide(view.zoom);
  Viewport moved = view;
  moved.center.x = std::clamp(view.center.x + dx / kTilePixels, 0.0, side);
  moved.center.y = std::clamp(view.center.y + dy / kTilePixels, 0.0, side);
  return moved;
}

Viewport FitRectangle(GeoPoint northWest, GeoPoint southEast, int width, int height, int maxZoom) {
  Viewport view{{0.5, 0.5}, 0, width, height};
  for (int zoom = ClampZoom(maxZoom); zoom >= 0; --zoom) {
    const TilePoint a = DegreesToTilePoint(northWest, zoom), b = DegreesToTilePoint(southEast, zoom);
    if (zoom == 0 || ((b.x - a.x) * kTilePixels <= width && (b.y - a.y) * kTilePixels <= height)) {
      view.zoom = zoom;
      view.center = {(a.x + b.x) / 2, (a.y + b.y) / 2};
      return view;
    }
  }
  return view;
}

namespace {

// How many view tiles one tile of tileZoom spans per side.
double ZoomFactor(int viewZoom, int tileZoom) { return GridSide(viewZoom) / GridSide(tileZoom); }

}  // namespace

double TileScreenSize(const Viewport& view, int tileZoom) { return kTilePixels * ZoomFactor(view.zoom, tileZoom); }

TileRange VisibleTilesAtZoom(const Viewport& view, int tileZoom) {
  TileRange range;
  const TileRange inView = VisibleTiles(view);
  if (inView.Empty()) return range;
  const double factor = ZoomFactor(view.zoom, tileZoom);
  const double side = GridSide(tileZoom);
  const TilePoint first = ScreenToTilePoint(view, {0, 0});
  const TilePoint last = ScreenToTilePoint(view, {static_cast<double>(view.width), static_cast<double>(view.height)});
  range.minX = static_cast<int32_t>(std::clamp(std::floor(first.x / factor), 0.0, side - 1));
  range.minY = static_cast<int32_t>(std::clamp(std::floor(first.y / factor), 0.0, side - 1));
  range.maxX = static_cast<int32_t>(std::clamp(std::ceil(last.x / factor) - 1, 0.0, side - 1));
  range.maxY = static_cast<int32_t>(std::clamp(std::ceil(last.y / factor) - 1, 0.0, side - 1));
  return range;
}

TileKey TileUnder(const Viewport& view, ScreenPoint screen, int tileZoom, RowOrigin origin) {
  const TilePoint point = ScreenToTilePoint(view, screen);
  const double factor = ZoomFactor(view.zoom, tileZoom);
  const auto x = static_cast<int32_t>(std::floor(point.x / factor));
  const auto y = static_cast<int32_t>(std::floor(point.y / factor));
  return {x, ServiceRow(y, tileZoom, origin), tileZoom};
}

ScreenPoint TileCornerOnScreen(const Viewport& view, int32_t x, int32_t topRow, int tileZoom) {
  const double factor = ZoomFactor(view.zoom, tileZoom);
  return TilePointToScreen(view, {x * factor, topRow * factor});
}

TileRange TilesCovering(GeoPoint northWest, GeoPoint southEast, int zoom) {
  const double last = GridSide(zoom) - 1;
  const TilePoint a = DegreesToTilePoint(northWest, zoom), b = DegreesToTilePoint(southEast, zoom);
  const auto clip = [last](double v) { return static_cast<int32_t>(std::clamp(std::floor(v), 0.0, last)); };
  return {clip(std::min(a.x, b.x)), clip(std::min(a.y, b.y)), clip(std::max(a.x, b.x)), clip(std::max(a.y, b.y))};
}

TileRange Intersection(const TileRange& a, const TileRange& b) {
  return {std::max(a.minX, b.minX), std::max(a.minY, b.minY), std::min(a.maxX, b.maxX), std::min(a.maxY, b.maxY)};
}
