#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

// The order in which tile sets are written: zoom after zoom, and within a
// zoom along the Hilbert curve that PMTiles numbers its tiles by. Every
// aligned block of 2^k x 2^k tiles is one stretch of that curve, so the
// order is also a depth-first walk of the tile pyramid: a parent's four
// children come one after the other, which lets lower levels be built from
// the tiles as they pass, one tile per level in memory.

// A tile of the pyramid: y counted from the top, as XYZ servers do.
struct PyramidTile {
  int32_t zoom = 0, x = 0, y = 0;
  friend bool operator==(const PyramidTile&, const PyramidTile&) = default;
};

// PMTiles' tile id: the tiles of all lower zooms, then the position on this
// zoom's Hilbert curve.
uint64_t HilbertTileId(const PyramidTile& place);

// An inclusive range of columns and top-counted rows at one zoom.
struct TileRange {
  int32_t zoom = 0;
  int32_t minX = 0, maxX = -1, minY = 0, maxY = -1;
  bool Holds(int32_t x, int32_t y) const { return x >= minX && x <= maxX && y >= minY && y <= maxY; }
  // Whether any tile of this range lies under the tile at place (place.zoom <= zoom).
  bool Meets(const PyramidTile& place) const;
};

// The four children of a tile, in Hilbert order.
std::array<PyramidTile, 4> ChildrenInOrder(const PyramidTile& parent);

// Every tile at zoom that lies in one of ranges (all of that zoom), each
// once, in Hilbert order.
void ForEachInHilbertOrder(int32_t zoom, const std::vector<TileRange>& ranges,
                           const std::function<void(const PyramidTile&)>& visit);
// The same for any set of tiles: meets(place) says whether a tile of the set
// lies at or under place (a place at zoom: whether it is one), so the walk
// descends only where there is something to find.
void ForEachInHilbertOrder(int32_t zoom, const std::function<bool(const PyramidTile&)>& meets,
                           const std::function<void(const PyramidTile&)>& visit);
