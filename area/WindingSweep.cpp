#include "WindingSweep.h"

#include <algorithm>

int32_t WindingSweep::AddRing(bool shell) {
  const auto ring = static_cast<int32_t>(ringPolygon_.size());
  if (shell) {
    shellRing_.push_back(ring);
    holesAround_.push_back(0);
  }
  ringPolygon_.push_back(static_cast<int32_t>(shellRing_.size()) - 1);
  ringIsShell_.push_back(shell);
  winding_.push_back(0);
  return ring;
}

bool WindingSweep::Inside(int32_t polygon) const {
  const auto p = static_cast<std::size_t>(polygon);
  return winding_[static_cast<std::size_t>(shellRing_[p])] != 0 && holesAround_[p] == 0;
}

const std::vector<std::pair<double, double>>& WindingSweep::Sweep() {
  std::sort(crossings_.begin(), crossings_.end(), [](const Crossing& a, const Crossing& b) { return a.at < b.at; });
  stretches_.clear();
  int32_t polygonsAround = 0;
  double start = 0;
  for (const Crossing& crossing : crossings_) {
    const auto ring = static_cast<std::size_t>(crossing.ring);
    const int32_t polygon = ringPolygon_[ring];
    const bool wasInside = Inside(polygon);
    const int32_t before = winding_[ring];
    winding_[ring] += crossing.delta;
    if (!ringIsShell_[ring] && (before == 0) != (winding_[ring] == 0))
      holesAround_[static_cast<std::size_t>(polygon)] += winding_[ring] != 0 ? 1 : -1;
    const bool isInside = Inside(polygon);
    if (isInside == wasInside) continue;
    if (isInside && polygonsAround++ == 0) start = crossing.at;
    if (!isInside && --polygonsAround == 0) stretches_.emplace_back(start, crossing.at);
  }
  crossings_.clear();
  return stretches_;
}
