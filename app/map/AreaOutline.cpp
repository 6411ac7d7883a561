#include "AreaOutline.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

namespace {

constexpr int kMaxStepsPerEdge = 4096;
// Beyond the map's edge a step moves nothing on screen.
constexpr double kMaxDrawnLatitude = 85.0511287798066;

// The view and its margin in degrees; latitude falls as the screen's y grows.
struct DegreeBox {
  double west, east, south, north;
};

DegreeBox BoxOf(const Viewport& view) {
  const double m = kOutlineMarginPixels;
  const GeoPoint northWest = TilePointToDegrees(ScreenToTilePoint(view, {-m, -m}), view.zoom);
  const GeoPoint southEast = TilePointToDegrees(ScreenToTilePoint(view, {view.width + m, view.height + m}), view.zoom);
  return {northWest.longitude, southEast.longitude, southEast.latitude, northWest.latitude};
}

// Narrows t0..t1 to where f0 + (f1 - f0) t lies within lo..hi.
bool Narrow(double f0, double f1, double lo, double hi, double& t0, double& t1) {
  if (f0 == f1) return f0 >= lo && f0 <= hi;
  double a = (lo - f0) / (f1 - f0), b = (hi - f0) / (f1 - f0);
  if (a > b) std::swap(a, b);
  t0 = std::max(t0, a);
  t1 = std::min(t1, b);
  return t0 <= t1;
}

ScreenPoint OnScreen(const Viewport& view, const LonLat& p) {
  return TilePointToScreen(view, DegreesToTilePoint({p.longitude, p.latitude}, view.zoom));
}

LonLat Between(const LonLat& a, const LonLat& b, double t) {
  return {a.longitude + (b.longitude - a.longitude) * t, a.latitude + (b.latitude - a.latitude) * t};
}

// Builds paths edge by edge, joining an edge to the one before when both
// reach their shared corner in view.
class PathBuilder {
 public:
  PathBuilder(const Viewport& view, OutlineInView& out) : view_(view), box_(BoxOf(view)), out_(out) {}

  // Returns whether the edge's part in view begins at its first corner.
  bool Edge(const LonLat& a, const LonLat& b) {
    double t0 = 0, t1 = 1;
    const bool seen = Narrow(a.longitude, b.longitude, box_.west, box_.east, t0, t1) &&
                      Narrow(a.latitude, b.latitude, box_.south, box_.north, t0, t1);
    if (!seen) {
      open_ = false;
      return false;
    }
    if (!(open_ && t0 == 0)) out_.paths.push_back({{OnScreen(view_, Between(a, b, t0))}});
    std::vector<ScreenPoint>& points = out_.paths.back().points;
    // Steps of about one piece on screen: a degree of latitude grows longer
    // towards the poles (by 1 / cos(latitude), the map being conformal).
    const double pixelsPerDegree = GridSide(view_.zoom) * kTilePixels / 360;
    const double dLon = b.longitude - a.longitude, dLat = b.latitude - a.latitude;
    double t = t0;
    for (int step = 0; t < t1 && step < kMaxStepsPerEdge; ++step) {
      const double latitude = std::clamp(a.latitude + dLat * t, -kMaxDrawnLatitude, kMaxDrawnLatitude);
      const double speed = pixelsPerDegree * std::hypot(dLon, dLat / std::cos(latitude * std::numbers::pi / 180));
      t = speed > 0 ? std::min(t1, t + kOutlinePiecePixels / speed) : t1;
      if (step + 1 == kMaxStepsPerEdge) t = t1;
      points.push_back(OnScreen(view_, Between(a, b, t)));
    }
    open_ = t1 == 1;
    return t0 == 0;
  }

  void Path(const std::vector<LonLat>& points, bool closed) {
    open_ = false;
    const std::size_t first = out_.paths.size();
    bool firstFromCorner = false;
    for (std::size_t i = 1; i < points.size(); ++i) {
      const bool fromCorner = Edge(points[i - 1], points[i]);
      if (i == 1) firstFromCorner = fromCorner;
    }
    if (closed && points.size() > 2) {
      Edge(points.back(), points.front());
      // A ring that leaves the view and comes back to its first corner: the
      // closing part and the first part are one path.
      if (firstFromCorner && open_ && out_.paths.size() > first + 1) {
        std::vector<ScreenPoint> joined = std::move(out_.paths.back().points);
        out_.paths.pop_back();
        std::vector<ScreenPoint>& head = out_.paths[first].points;
        joined.insert(joined.end(), head.begin() + 1, head.end());
        head = std::move(joined);
      }
    }
    open_ = false;
  }

 private:
  const Viewport& view_;
  DegreeBox box_;
  OutlineInView& out_;
  bool open_ = false;
};

}  // namespace

OutlineInView OutlineOf(const Area& area, const Viewport& view) {
  OutlineInView out;
  PathBuilder builder(view, out);
  for (const AreaPolygon& polygon : area.polygons) {
    builder.Path(polygon.shell, true);
    for (const AreaRing& hole : polygon.holes) builder.Path(hole, true);
  }
  for (const auto& line : area.lines) builder.Path(line, false);
  const DegreeBox box = BoxOf(view);
  for (const LonLat& p : area.points)
    if (p.longitude >= box.west && p.longitude <= box.east && p.latitude >= box.south && p.latitude <= box.north)
      out.points.push_back(OnScreen(view, p));
  return out;
}

OutlineInView OutlineOfLine(const std::vector<LonLat>& line, const Viewport& view) {
  OutlineInView out;
  PathBuilder(view, out).Path(line, false);
  return out;
}
