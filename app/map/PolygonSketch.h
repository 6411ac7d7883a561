#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "MapGeometry.h"

// The polygon a user draws on the map. It is open while its corners are
// placed one click at a time, and closed by a double-click (or a click on
// its first corner) once it has three. A corner can be moved at any time;
// Backspace takes the last one away, and a closed polygon left with fewer
// than three corners opens again so that more can be added. Corners are
// held on the map: longitudes -180..180, latitudes within the entries' limit.
class PolygonSketch {
 public:
  static constexpr std::size_t kMinCorners = 3;

  const std::vector<GeoPoint>& Corners() const { return corners_; }
  bool Closed() const { return closed_; }
  bool Empty() const { return corners_.empty(); }

  // Each returns false, changing nothing, when the edit does not apply:
  // adding to a closed polygon, closing one of fewer than three corners or
  // one already closed, moving a corner that does not exist, removing from
  // an empty one.
  bool Add(GeoPoint corner);
  bool Close();
  bool Move(std::size_t index, GeoPoint to);
  bool RemoveLast();
  void Clear();

 private:
  std::vector<GeoPoint> corners_;
  bool closed_ = false;
};

// The corner nearest to `at` among corners as they lie on screen, if one is
// within `radius` pixels.
std::optional<std::size_t> CornerNear(const std::vector<ScreenPoint>& corners, ScreenPoint at, double radius);
