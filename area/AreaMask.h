#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <vector>

#include "Area.h"
#include "Commonfunc.h"

// The tiles of a task's rectangle that lie inside its area, held as runs of
// rows per column: a 1,000 km route at zoom 16 is some 15,000 tiles in a
// rectangle of three million, and a few thousand runs.
//
// Which tiles are inside. Tile squares are those of the task's tile list
// (ColumnToLongitude, RowToLatitude at the task's zoom). A tile is inside
// when its open square meets the inside of one of the area's polygons: a
// tile that only touches a polygon's boundary (an edge along a tile border,
// a vertex on a tile corner) is not inside. Lines and points, having no
// inside, take every tile whose closed square they meet: a line along a tile
// border takes the tiles on both sides of it, a point on a tile corner the
// four tiles around it. Tiles off the grid (columns or rows outside
// 0..2^zoom - 1) are never inside.
//
// How. Each edge marks the tiles its open segment passes through, column by
// column, and each column's middle meridian is crossed with the edges that
// span it, filling the rows between crossings where the area winds; work
// grows with the vertices, the boundary's length in tiles and the columns,
// never with the rectangle's tile count. A polygon edge is taken to have the
// polygon's inside beside it, as every edge of a valid polygon has; a ring
// whose points all lie on one line adds nothing.

struct TileRect {
  int32_t MinX = 0;
  int32_t MinY = 0;  // rows counted as the task counts them (its RowOrigin)
  int32_t MaxX = -1;
  int32_t MaxY = -1;
  int64_t Height() const { return int64_t{MaxY} - MinY + 1; }
};

// Rows first..last, both inclusive.
struct RowRun {
  int32_t first = 0;
  int32_t last = 0;
  friend bool operator==(const RowRun&, const RowRun&) = default;
};

struct MaskTile {
  int32_t x = 0;
  int32_t y = 0;
  friend bool operator==(const MaskTile&, const MaskTile&) = default;
};

class AreaMask {
 public:
  AreaMask() = default;

  // The rectangle the mask was built for; no tile outside it is inside.
  const TileRect& Rect() const { return rect_; }
  int64_t TileCount() const { return tileCounts_.empty() ? 0 : tileCounts_.back(); }
  bool Empty() const { return columns_.empty(); }

  // The columns that hold a tile inside, rising.
  std::span<const int32_t> Columns() const { return columns_; }
  // A column's runs, rising and disjoint, never adjacent; empty for a column without tiles.
  std::span<const RowRun> Runs(int32_t x) const;
  bool Contains(int32_t x, int32_t y) const;
  // Tiles inside in the columns west of x.
  int64_t TilesBefore(int32_t x) const;

  // The tiles inside in the task's walk order: columns rising, rows rising
  // within each column.
  class TileIterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = MaskTile;
    using difference_type = std::ptrdiff_t;
    using pointer = const MaskTile*;
    using reference = const MaskTile&;

    TileIterator() = default;
    reference operator*() const { return tile_; }
    pointer operator->() const { return &tile_; }
    TileIterator& operator++();
    TileIterator operator++(int) {
      TileIterator before = *this;
      ++*this;
      return before;
    }
    friend bool operator==(const TileIterator& a, const TileIterator& b) { return a.run_ == b.run_ && a.tile_ == b.tile_; }

   private:
    friend class AreaMask;
    TileIterator(const AreaMask* mask, std::size_t column, std::size_t run);
    const AreaMask* mask_ = nullptr;
    std::size_t column_ = 0;
    std::size_t run_ = 0;
    MaskTile tile_;
  };
  TileIterator begin() const { return TileIterator(this, 0, 0); }
  TileIterator end() const { return TileIterator(this, columns_.size(), runs_.size()); }

 private:
  friend class AreaMaskBuilder;
  std::size_t ColumnIndex(int32_t x) const;  // columns_.size() when x has no tiles

  TileRect rect_;
  std::vector<int32_t> columns_;
  std::vector<std::size_t> firstRun_;  // per column, and one past the last column
  std::vector<int64_t> tileCounts_;    // tiles in the columns up to and including each
  std::vector<RowRun> runs_;
};

// The tiles of rect (the task's range at zoom, rows counted from origin)
// inside the area. The area must have passed ValidateArea; zoom 0..30.
// Throws AreaError for a zoom outside that range.
AreaMask BuildAreaMask(const Area& area, int32_t zoom, RowOrigin origin, const TileRect& rect);
