#pragma once

#include <cstdint>
#include <vector>

#include "Commonfunc.h"

// The tile grid's lines in degrees at one zoom, exactly as the task's tile
// list writes the tiles' edges (ColumnToLongitude, RowToLatitude), and the
// lookup of the line at or before a coordinate. LongitudeToColumn and
// LatitudeToRow give the first guess; comparisons with the lines themselves
// settle it, so a point on a line is always on that line, whichever side the
// grid's own rounding would put it.
//
// Rows here are counted from the south ("cells"), whatever the service's
// RowOrigin: cell u lies between row lines u and u + 1, and ServiceRow turns
// a cell into the row the task counts.
class GridLines {
 public:
  // zoom 0..30. The row lines of cells firstCell..lastCell are worked out
  // once and looked up by bisection (when they are not too many to keep).
  GridLines(int32_t zoom, RowOrigin origin, int64_t firstCell = 0, int64_t lastCell = -1);

  int64_t Size() const { return size_; }  // 2^zoom tiles a side
  double ColumnLine(int64_t k) const;     // west edge of column k
  double ColumnMiddle(int64_t k) const;   // the meridian halfway across column k
  double RowLine(int64_t u) const;        // south edge of cell u, rising with u

  // The last line at or before the coordinate: ColumnLine(k) <= longitude
  // < ColumnLine(k + 1) for longitudes in -180..180 (k = Size() at 180).
  int64_t ColumnAtOrBefore(double longitude) const;
  // RowLine(u) <= latitude < RowLine(u + 1); -1 south of the grid, Size()
  // at or north of its northern edge.
  int64_t CellAtOrBelow(double latitude) const;

  int32_t ServiceRow(int64_t cell) const;

 private:
  uint8_t zoom_;
  RowOrigin origin_;
  int64_t size_;
  double south_;
  double north_;
  int64_t firstCached_ = 0;
  std::vector<double> cached_;  // RowLine(firstCached_ + i)
};
