#include "PolygonSketch.h"

#include <cmath>

#include "AreaPick.h"

bool PolygonSketch::Add(GeoPoint corner) {
  if (closed_) return false;
  corners_.push_back(HeldOnMap(corner));
  return true;
}

bool PolygonSketch::Close() {
  if (closed_ || corners_.size() < kMinCorners) return false;
  closed_ = true;
  return true;
}

bool PolygonSketch::Move(std::size_t index, GeoPoint to) {
  if (index >= corners_.size()) return false;
  corners_[index] = HeldOnMap(to);
  return true;
}

bool PolygonSketch::RemoveLast() {
  if (corners_.empty()) return false;
  corners_.pop_back();
  if (corners_.size() < kMinCorners) closed_ = false;
  return true;
}

void PolygonSketch::Clear() {
  corners_.clear();
  closed_ = false;
}

std::optional<std::size_t> CornerNear(const std::vector<ScreenPoint>& corners, ScreenPoint at, double radius) {
  std::optional<std::size_t> nearest;
  double best = radius;
  for (std::size_t i = 0; i < corners.size(); ++i) {
    const double distance = std::hypot(corners[i].x - at.x, corners[i].y - at.y);
    if (distance <= best) {
      best = distance;
      nearest = i;
    }
  }
  return nearest;
}
