#pragma once

// The tiles inside an area found the slow, obvious way, tile by tile: the
// polygons clipped to each tile's square (inside when the clipped area is
// not zero), each segment clipped to the closed square, each point tested
// against it. The masks are checked against this.
//
// A polygon that only touches a square leaves a clipped outline along the
// square's side (or on its corner): its area is exactly 0. A clipped area
// above 0 but below a billionth of the square, or an edge passing one of the
// square's corners closer than a billionth of its side, is a sliver no wider
// than the rounding of the coordinates: such a tile is "either".

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "Area.h"
#include "AreaMask.h"
#include "Commonfunc.h"

struct Square {
  double west, east, south, north;
  double Size() const { return (east - west) * (north - south); }
};

inline Square TileSquare(int32_t x, int32_t y, int zoom, RowOrigin origin) {
  const auto z = static_cast<uint8_t>(zoom);
  Square s{static_cast<double>(ColumnToLongitude(x, z)), static_cast<double>(ColumnToLongitude(x + 1.0, z)), 0, 0};
  const double a = RowToLatitude(y, z, origin);
  const double b = RowToLatitude(y + 1.0, z, origin);
  s.south = std::min(a, b);
  s.north = std::max(a, b);
  return s;
}

// Sutherland-Hodgman against one side at a time; the area of what is left.
// Worked out from the square's corner, so that a sliver of a tile at zoom 24
// is not lost in the digits of the coordinates.
inline double ClippedArea(const AreaRing& ring, const Square& square) {
  const Square s{0, square.east - square.west, 0, square.north - square.south};
  std::vector<LonLat> poly;
  for (const LonLat& p : ring) poly.push_back({p.longitude - square.west, p.latitude - square.south});
  const auto clip = [&](auto inside, auto cross) {
    std::vector<LonLat> out;
    for (std::size_t i = 0; i < poly.size(); ++i) {
      const LonLat& a = poly[i];
      const LonLat& b = poly[(i + 1) % poly.size()];
      if (inside(a)) out.push_back(a);
      if (inside(a) != inside(b)) out.push_back(cross(a, b));
    }
    poly = std::move(out);
  };
  const auto atLon = [](const LonLat& a, const LonLat& b, double lon) {
    return LonLat{lon, a.latitude + (lon - a.longitude) * (b.latitude - a.latitude) / (b.longitude - a.longitude)};
  };
  const auto atLat = [](const LonLat& a, const LonLat& b, double lat) {
    return LonLat{a.longitude + (lat - a.latitude) * (b.longitude - a.longitude) / (b.latitude - a.latitude), lat};
  };
  clip([&](const LonLat& p) { return p.longitude >= s.west; }, [&](auto& a, auto& b) { return atLon(a, b, s.west); });
  clip([&](const LonLat& p) { return p.longitude <= s.east; }, [&](auto& a, auto& b) { return atLon(a, b, s.east); });
  clip([&](const LonLat& p) { return p.latitude >= s.south; }, [&](auto& a, auto& b) { return atLat(a, b, s.south); });
  clip([&](const LonLat& p) { return p.latitude <= s.north; }, [&](auto& a, auto& b) { return atLat(a, b, s.north); });
  const auto sameLongitude = [&](const LonLat& p) { return p.longitude == poly.front().longitude; };
  const auto sameLatitude = [&](const LonLat& p) { return p.latitude == poly.front().latitude; };
  if (poly.empty() || std::all_of(poly.begin(), poly.end(), sameLongitude) ||
      std::all_of(poly.begin(), poly.end(), sameLatitude))
    return 0;
  double sum = 0;
  for (std::size_t i = 0; i < poly.size(); ++i) {
    const LonLat& a = poly[i];
    const LonLat& b = poly[(i + 1) % poly.size()];
    sum += a.longitude * b.latitude - b.longitude * a.latitude;
  }
  return std::abs(sum) / 2;
}

// Liang-Barsky on the closed square.
inline bool SegmentMeets(const LonLat& a, const LonLat& b, const Square& s) {
  double t0 = 0, t1 = 1;
  const double dx = b.longitude - a.longitude, dy = b.latitude - a.latitude;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {a.longitude - s.west, s.east - a.longitude, a.latitude - s.south, s.north - a.latitude};
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0) {
      if (q[i] < 0) return false;
    } else {
      const double t = q[i] / p[i];
      if (p[i] < 0) t0 = std::max(t0, t);
      else t1 = std::min(t1, t);
    }
  }
  return t0 <= t1;
}

enum class Oracle { Outside, Inside, Either };

inline bool PassesNearACorner(const AreaRing& ring, const Square& s) {
  const double near = 1e-9 * (s.east - s.west);
  for (const LonLat corner : {LonLat{s.west, s.south}, LonLat{s.east, s.south}, LonLat{s.west, s.north},
                              LonLat{s.east, s.north}}) {
    for (std::size_t i = 0; i < ring.size(); ++i) {
      const LonLat& a = ring[i];
      const LonLat& b = ring[(i + 1) % ring.size()];
      const double dx = b.longitude - a.longitude, dy = b.latitude - a.latitude;
      if (dx == 0 || dy == 0 || corner == a || corner == b) continue;  // exact: along a border or on a vertex
      const double t = std::clamp(((corner.longitude - a.longitude) * dx + (corner.latitude - a.latitude) * dy) /
                                      (dx * dx + dy * dy), 0.0, 1.0);
      const double d = std::hypot(a.longitude + t * dx - corner.longitude, a.latitude + t * dy - corner.latitude);
      if (d < near) return true;
    }
  }
  return false;
}

// Valid polygons only: holes inside their shell and apart from each other.
inline Oracle OracleInside(const Area& area, const Square& s) {
  Oracle verdict = Oracle::Outside;
  for (const AreaPolygon& polygon : area.polygons) {
    double inside = ClippedArea(polygon.shell, s);
    for (const AreaRing& hole : polygon.holes) inside -= ClippedArea(hole, s);
    if (inside > 1e-9 * s.Size()) return Oracle::Inside;
    if (inside > 0 || PassesNearACorner(polygon.shell, s)) verdict = Oracle::Either;
  }
  for (const auto& line : area.lines) {
    for (std::size_t i = 1; i < line.size(); ++i) {
      if (SegmentMeets(line[i - 1], line[i], s)) return Oracle::Inside;
    }
  }
  for (const LonLat& p : area.points) {
    if (SegmentMeets(p, p, s)) return Oracle::Inside;
  }
  return verdict;
}

struct OracleAnswer {
  std::vector<MaskTile> inside;  // column by column, as the mask walks
  std::vector<MaskTile> either;
};

inline OracleAnswer AskOracle(const Area& area, int zoom, RowOrigin origin, const TileRect& rect) {
  OracleAnswer answer;
  const int32_t last = (1 << zoom) - 1;  // no tile off the grid is inside
  for (int32_t x = std::max(rect.MinX, 0); x <= std::min(rect.MaxX, last); ++x) {
    for (int32_t y = std::max(rect.MinY, 0); y <= std::min(rect.MaxY, last); ++y) {
      const Oracle verdict = OracleInside(area, TileSquare(x, y, zoom, origin));
      if (verdict == Oracle::Inside) answer.inside.push_back({x, y});
      if (verdict == Oracle::Either) answer.either.push_back({x, y});
    }
  }
  return answer;
}

// The task's range over a rectangle, as the task set-up counts it.
inline TileRect RectOver(double west, double east, double south, double north, int zoom, RowOrigin origin) {
  const auto z = static_cast<uint8_t>(zoom);
  TileRect r{LongitudeToColumn(west, z), LatitudeToRow(south, z, origin), LongitudeToColumn(east, z),
             LatitudeToRow(north, z, origin)};
  if (r.MaxY < r.MinY) std::swap(r.MinY, r.MaxY);
  return r;
}

// A ring around a centre, its corners at random distances: concave, never
// crossing itself.
inline AreaRing StarRing(std::mt19937& random, LonLat centre, double minRadius, double maxRadius, int corners) {
  std::uniform_real_distribution<double> radius(minRadius, maxRadius);
  std::uniform_real_distribution<double> jitter(0, 0.8);
  AreaRing ring;
  for (int i = 0; i < corners; ++i) {
    const double angle = (i + jitter(random)) * 2 * M_PI / corners;
    const double r = radius(random);
    ring.push_back({centre.longitude + r * std::cos(angle), centre.latitude + 0.7 * r * std::sin(angle)});
  }
  return ring;
}
