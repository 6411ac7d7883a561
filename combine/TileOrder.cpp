#include "TileOrder.h"

#include <algorithm>
#include <utility>

uint64_t HilbertTileId(const PyramidTile& place) {
  // Tiles of zooms 0 .. zoom-1: (4^zoom - 1) / 3.
  uint64_t id = ((uint64_t{1} << (2 * place.zoom)) - 1) / 3;
  uint64_t x = static_cast<uint32_t>(place.x), y = static_cast<uint32_t>(place.y);
  for (uint64_t s = place.zoom > 0 ? uint64_t{1} << (place.zoom - 1) : 0; s > 0; s >>= 1) {
    const uint64_t rx = (x & s) ? 1 : 0, ry = (y & s) ? 1 : 0;
    id += s * s * ((3 * rx) ^ ry);
    // Turn the quadrant so that the curve enters it where the next bits expect.
    // Only the bits below s matter from here on, so the wrap of s - 1 - x is harmless.
    if (ry == 0) {
      if (rx == 1) {
        x = s - 1 - x;
        y = s - 1 - y;
      }
      std::swap(x, y);
    }
  }
  return id;
}

bool TileRange::Meets(const PyramidTile& place) const {
  const int32_t shift = zoom - place.zoom;
  if (shift < 0 || minX > maxX || minY > maxY) return false;
  const int64_t first = int64_t{place.x} << shift, last = ((int64_t{place.x} + 1) << shift) - 1;
  const int64_t top = int64_t{place.y} << shift, bottom = ((int64_t{place.y} + 1) << shift) - 1;
  return first <= maxX && last >= minX && top <= maxY && bottom >= minY;
}

std::array<PyramidTile, 4> ChildrenInOrder(const PyramidTile& parent) {
  std::array<std::pair<uint64_t, PyramidTile>, 4> keyed;
  for (int i = 0; i < 4; ++i) {
    const PyramidTile child{parent.zoom + 1, parent.x * 2 + (i & 1), parent.y * 2 + (i >> 1)};
    keyed[i] = {HilbertTileId(child), child};
  }
  std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  return {keyed[0].second, keyed[1].second, keyed[2].second, keyed[3].second};
}

namespace {

void Descend(const PyramidTile& node, int32_t zoom, const std::function<bool(const PyramidTile&)>& meets,
             const std::function<void(const PyramidTile&)>& visit) {
  if (!meets(node)) return;
  if (node.zoom == zoom) {
    visit(node);
    return;
  }
  for (const PyramidTile& child : ChildrenInOrder(node)) Descend(child, zoom, meets, visit);
}

}  // namespace

void ForEachInHilbertOrder(int32_t zoom, const std::vector<TileRange>& ranges,
                           const std::function<void(const PyramidTile&)>& visit) {
  ForEachInHilbertOrder(
      zoom,
      [&](const PyramidTile& node) {
        return std::any_of(ranges.begin(), ranges.end(), [&](const TileRange& range) { return range.Meets(node); });
      },
      visit);
}

void ForEachInHilbertOrder(int32_t zoom, const std::function<bool(const PyramidTile&)>& meets,
                           const std::function<void(const PyramidTile&)>& visit) {
  Descend(PyramidTile{}, zoom, meets, visit);
}
