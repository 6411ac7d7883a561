#pragma once

#include <cstdint>
#include <utility>
#include <vector>

// The stretches of one line (a row, a column) that lie inside some polygon
// with holes, from where the line crosses the rings' edges. A ring's
// crossings add up its winding number along the line; a polygon is inside
// while its shell winds and none of its holes does. Both the area mask and
// the mosaic's clip sweep this way, one line after another.
class WindingSweep {
 public:
  // A shell opens a new polygon; a hole belongs to the polygon of the last
  // shell. Returns the ring's number, for Cross.
  int32_t AddRing(bool shell);

  // One crossing of the line, in any order: at its position along the line,
  // delta +1 or -1 by the edge's direction.
  void Cross(double at, int32_t ring, int32_t delta) { crossings_.push_back({at, ring, delta}); }
  // The inside stretches of the crossings given since the last sweep, from
  // and to, rising; the crossings are then forgotten.
  const std::vector<std::pair<double, double>>& Sweep();

 private:
  struct Crossing {
    double at;
    int32_t ring, delta;
  };
  bool Inside(int32_t polygon) const;

  std::vector<int32_t> ringPolygon_;
  std::vector<bool> ringIsShell_;
  std::vector<int32_t> shellRing_;    // per polygon
  std::vector<int32_t> winding_;      // per ring; every sweep ends where it began, at 0
  std::vector<int32_t> holesAround_;  // per polygon
  std::vector<Crossing> crossings_;
  std::vector<std::pair<double, double>> stretches_;
};
