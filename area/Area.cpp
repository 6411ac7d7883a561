#include "Area.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>

#include "TextFormat.h"

namespace {

std::string Degrees(double value) { return FormatGeneral(value); }

[[noreturn]] void CrossesAntimeridian(const std::string& source) {
  throw AreaError(source +
                  " crosses the antimeridian (180 degrees of longitude). Split it into one area on each "
                  "side of 180 degrees and download each on its own.");
}

void CheckPoint(const LonLat& p, const std::string& source) {
  if (!std::isfinite(p.longitude) || !std::isfinite(p.latitude))
    throw AreaError(source + " has a coordinate that is not a number");
  if (p.latitude < -90 || p.latitude > 90)
    throw AreaError(source + " has a latitude of " + Degrees(p.latitude) + ", beyond 90 degrees");
  // Past 180 by less than a turn of the map, a longitude is drawn across 180 degrees; farther, it is no place.
  if (p.longitude < -360 || p.longitude > 360)
    throw AreaError(source + " has a longitude of " + Degrees(p.longitude) + ", beyond 180 degrees");
  if (p.longitude < -180 || p.longitude > 180) CrossesAntimeridian(source);
}

// A longitude step of more than half the map is the short way across 180
// degrees, unless it runs from one edge of the map exactly to the other.
void CheckEdge(const LonLat& a, const LonLat& b, const std::string& source) {
  if (std::abs(b.longitude - a.longitude) <= 180) return;
  if (std::abs(a.longitude) == 180 && std::abs(b.longitude) == 180) return;
  CrossesAntimeridian(source);
}

void CheckPath(const std::vector<LonLat>& path, bool closed, const std::string& source) {
  for (const LonLat& p : path) CheckPoint(p, source);
  for (std::size_t i = 1; i < path.size(); ++i) CheckEdge(path[i - 1], path[i], source);
  if (closed && path.size() > 1) CheckEdge(path.back(), path.front(), source);
}

struct LatitudeSpan {
  double low = 90;
  double high = -90;
};

LatitudeSpan SpanOf(const std::vector<LonLat>& path) {
  LatitudeSpan span;
  for (const LonLat& p : path) {
    span.low = std::min(span.low, p.latitude);
    span.high = std::max(span.high, p.latitude);
  }
  return span;
}

// A polygon must reach into the map's open band; a line or point may lie on its edge.
bool ReachesMap(LatitudeSpan span, bool hasInside) {
  if (hasInside) return span.high > -kMapLatitudeLimit && span.low < kMapLatitudeLimit;
  return span.high >= -kMapLatitudeLimit && span.low <= kMapLatitudeLimit;
}

void ForEachPoint(const Area& area, const std::function<void(const LonLat&)>& visit) {
  for (const AreaPolygon& polygon : area.polygons) {
    for (const LonLat& p : polygon.shell) visit(p);
  }
  for (const auto& line : area.lines) {
    for (const LonLat& p : line) visit(p);
  }
  for (const LonLat& p : area.points) visit(p);
}

}  // namespace

void ValidateArea(const Area& area, const std::string& source, bool requireOnMap) {
  if (area.Empty()) throw AreaError(source + " holds no geometry");
  bool onMap = false;
  for (const AreaPolygon& polygon : area.polygons) {
    if (polygon.shell.size() < 3) throw AreaError(source + " has a polygon ring of fewer than 3 points");
    CheckPath(polygon.shell, true, source);
    for (const AreaRing& hole : polygon.holes) {
      if (hole.size() < 3) throw AreaError(source + " has a polygon ring of fewer than 3 points");
      CheckPath(hole, true, source);
    }
    onMap = onMap || ReachesMap(SpanOf(polygon.shell), true);
  }
  for (const auto& line : area.lines) {
    if (line.size() < 2) throw AreaError(source + " has a line of fewer than 2 points");
    CheckPath(line, false, source);
    onMap = onMap || ReachesMap(SpanOf(line), false);
  }
  for (const LonLat& p : area.points) {
    CheckPoint(p, source);
    onMap = onMap || ReachesMap({p.latitude, p.latitude}, false);
  }
  if (requireOnMap && !onMap)
    throw AreaError(source + " lies wholly beyond the map, which ends at " + Degrees(kMapLatitudeLimit) +
                    " degrees north and south");
}

void CheckBufferMetres(double metres) {
  if (std::isnan(metres)) throw AreaError("The buffer is not a number of metres");
  if (metres < 0) throw AreaError("The buffer must not be negative (" + FormatGeneral(metres) + " metres)");
  if (metres > kMaxBufferMetres)
    throw AreaError("The buffer may be at most " + FormatGeneral(kMaxBufferMetres) + " metres (" +
                    FormatGeneral(metres) + " metres)");
}

double ParseBufferMetres(std::string_view text) {
  double metres = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, metres);
  if (text.empty() || error != std::errc() || stop != end || !std::isfinite(metres))
    throw AreaError("The buffer \"" + std::string(text) + "\" is not a number of metres");
  CheckBufferMetres(metres);
  return metres;
}

AreaBounds BoundsOf(const Area& area) {
  AreaBounds bounds{180, -180, 90, -90};
  ForEachPoint(area, [&](const LonLat& p) {
    bounds.west = std::min(bounds.west, p.longitude);
    bounds.east = std::max(bounds.east, p.longitude);
    bounds.south = std::min(bounds.south, p.latitude);
    bounds.north = std::max(bounds.north, p.latitude);
  });
  bounds.south = std::clamp(bounds.south, -kMapLatitudeLimit, kMapLatitudeLimit);
  bounds.north = std::clamp(bounds.north, -kMapLatitudeLimit, kMapLatitudeLimit);
  return bounds;
}
