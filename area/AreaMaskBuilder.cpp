// BuildAreaMask: the tiles inside an area, without looking at every tile.
//
// Two passes put row spans into one list, which is then sorted and merged
// into the mask's runs:
//
//   boundary  every polygon edge is cut at the column lines; each piece marks
//             the rows its open segment passes through (a piece along a
//             column or row line marks nothing, the tile beside it is left
//             to the fill). Line segments and points mark the rows of the
//             closed pieces instead, so they take the tiles on both sides of
//             a line they lie on.
//   fill      a sweep over the columns keeps the polygon edges that cross the
//             column's middle meridian; their crossings, sorted by latitude,
//             give the stretches where a polygon's shell winds and none of
//             its holes does, and every row that such an open stretch meets
//             is inside. A column no edge crosses is skipped at once.
//
// A tile whose open square no edge meets lies wholly inside or wholly
// outside, and the fill finds the first kind through the stretch of the
// middle meridian within it; a tile an edge does pass through has the
// polygon's inside beside that edge. Together the passes give exactly the
// tiles whose open squares meet a polygon's inside.

#include <algorithm>
#include <string>
#include <tuple>

#include "AreaMask.h"
#include "GridLines.h"
#include "WindingSweep.h"

namespace {

struct Span {
  int32_t x;
  int32_t first;
  int32_t last;
};

struct FillEdge {
  LonLat west;
  LonLat east;
  int64_t firstColumn;  // columns whose middle meridian the edge crosses
  int64_t lastColumn;
  int32_t ring;
  int32_t delta;  // +1 eastward, -1 westward
};

// A ring whose points all lie on one line encloses nothing (a ring that
// crosses itself may still have a signed area of 0).
bool EnclosesNothing(const AreaRing& ring) {
  if (ring.size() < 3) return true;
  const LonLat& o = ring.front();
  std::size_t i = 1;
  while (i < ring.size() && ring[i] == o) ++i;
  if (i == ring.size()) return true;
  const double dx = ring[i].longitude - o.longitude, dy = ring[i].latitude - o.latitude;
  for (const LonLat& p : ring) {
    if (dx * (p.latitude - o.latitude) != dy * (p.longitude - o.longitude)) return false;
  }
  return true;
}

// Latitude of the segment west..east at a longitude between theirs; the ends exactly.
double LatitudeAt(const LonLat& west, const LonLat& east, double longitude) {
  if (longitude == west.longitude) return west.latitude;
  if (longitude == east.longitude) return east.latitude;
  return west.latitude +
         (longitude - west.longitude) * (east.latitude - west.latitude) / (east.longitude - west.longitude);
}

}  // namespace

class AreaMaskBuilder {
 public:
  AreaMaskBuilder(int32_t zoom, RowOrigin origin, const TileRect& rect);

  void AddPolygons(const std::vector<AreaPolygon>& polygons);
  void AddPath(const std::vector<LonLat>& path);
  void AddPoint(const LonLat& point) { MarkClosedSegment(point, point); }
  AreaMask Finish();

 private:
  bool EmptyRect() const { return firstColumn_ > lastColumn_ || firstCell_ > lastCell_; }
  void EmitCells(int64_t column, int64_t firstCell, int64_t lastCell);
  void EmitOpen(int64_t column, double low, double high);
  void EmitClosed(int64_t column, double low, double high);
  void MarkOpenSegment(const LonLat& a, const LonLat& b);
  void MarkClosedSegment(const LonLat& a, const LonLat& b);
  void AddFillEdge(const LonLat& a, const LonLat& b, int32_t ring);
  void Fill();
  void FillColumn(int64_t column, const std::vector<std::size_t>& active);

  GridLines grid_;
  TileRect rect_;
  int64_t firstColumn_, lastColumn_;  // the rectangle on the grid, rows as cells
  int64_t firstCell_, lastCell_;
  std::vector<Span> spans_;

  std::vector<FillEdge> edges_;
  WindingSweep sweep_;
};

namespace {

// The rectangle's rows as cells of the grid, clipped to it; empty when first > last.
std::pair<int64_t, int64_t> CellsOf(int32_t zoom, RowOrigin origin, const TileRect& rect) {
  const int64_t size = int64_t{1} << zoom;
  if (rect.MinY > rect.MaxY) return {0, -1};
  const auto cell = [&](int32_t row) { return origin == RowOrigin::FromBottom ? row : size - 1 - row; };
  const int64_t a = cell(rect.MinY), b = cell(rect.MaxY);
  return {std::max<int64_t>(std::min(a, b), 0), std::min<int64_t>(std::max(a, b), size - 1)};
}

}  // namespace

AreaMaskBuilder::AreaMaskBuilder(int32_t zoom, RowOrigin origin, const TileRect& rect)
    : grid_(zoom, origin, CellsOf(zoom, origin, rect).first, CellsOf(zoom, origin, rect).second), rect_(rect) {
  firstColumn_ = std::max<int64_t>(rect.MinX, 0);
  lastColumn_ = std::min<int64_t>(rect.MaxX, grid_.Size() - 1);
  std::tie(firstCell_, lastCell_) = CellsOf(zoom, origin, rect);
}

void AreaMaskBuilder::EmitCells(int64_t column, int64_t firstCell, int64_t lastCell) {
  if (column < firstColumn_ || column > lastColumn_) return;
  firstCell = std::max(firstCell, firstCell_);
  lastCell = std::min(lastCell, lastCell_);
  if (firstCell > lastCell) return;
  int32_t a = grid_.ServiceRow(firstCell);
  int32_t b = grid_.ServiceRow(lastCell);
  if (a > b) std::swap(a, b);
  spans_.push_back({static_cast<int32_t>(column), a, b});
}

// The cells whose open latitude span meets the open span low..high.
void AreaMaskBuilder::EmitOpen(int64_t column, double low, double high) {
  if (!(low < high)) return;
  const int64_t first = grid_.CellAtOrBelow(low);
  int64_t last = grid_.CellAtOrBelow(high);
  if (last >= 0 && last < grid_.Size() && grid_.RowLine(last) == high) --last;
  EmitCells(column, first, last);
}

// The cells whose closed latitude span meets the closed span low..high.
void AreaMaskBuilder::EmitClosed(int64_t column, double low, double high) {
  int64_t first = grid_.CellAtOrBelow(low);
  if (first >= 0 && first <= grid_.Size() && grid_.RowLine(first) == low) --first;
  EmitCells(column, first, grid_.CellAtOrBelow(high));
}

void AreaMaskBuilder::MarkOpenSegment(const LonLat& a, const LonLat& b) {
  if (a.longitude == b.longitude) {
    const int64_t k = grid_.ColumnAtOrBefore(a.longitude);
    if (grid_.ColumnLine(k) == a.longitude) return;  // along a column line
    EmitOpen(k, std::min(a.latitude, b.latitude), std::max(a.latitude, b.latitude));
    return;
  }
  const LonLat& west = a.longitude < b.longitude ? a : b;
  const LonLat& east = a.longitude < b.longitude ? b : a;
  int64_t last = grid_.ColumnAtOrBefore(east.longitude);
  if (grid_.ColumnLine(last) == east.longitude) --last;
  last = std::min(last, lastColumn_);
  for (int64_t c = std::max(grid_.ColumnAtOrBefore(west.longitude), firstColumn_); c <= last; ++c) {
    const double lat1 = LatitudeAt(west, east, std::max(west.longitude, grid_.ColumnLine(c)));
    const double lat2 = LatitudeAt(west, east, std::min(east.longitude, grid_.ColumnLine(c + 1)));
    if (lat1 != lat2) {
      EmitOpen(c, std::min(lat1, lat2), std::max(lat1, lat2));
    } else {
      const int64_t cell = grid_.CellAtOrBelow(lat1);  // a level piece: off a row line, its one row
      if (cell >= 0 && cell < grid_.Size() && grid_.RowLine(cell) != lat1) EmitCells(c, cell, cell);
    }
  }
}

void AreaMaskBuilder::MarkClosedSegment(const LonLat& a, const LonLat& b) {
  if (a.longitude == b.longitude) {
    int64_t column = grid_.ColumnAtOrBefore(a.longitude);
    const double low = std::min(a.latitude, b.latitude), high = std::max(a.latitude, b.latitude);
    if (grid_.ColumnLine(column) == a.longitude) EmitClosed(column - 1, low, high);
    EmitClosed(column, low, high);
    return;
  }
  const LonLat& west = a.longitude <= b.longitude ? a : b;
  const LonLat& east = a.longitude <= b.longitude ? b : a;
  int64_t first = grid_.ColumnAtOrBefore(west.longitude);
  if (grid_.ColumnLine(first) == west.longitude) --first;
  first = std::max(first, firstColumn_);
  const int64_t last = std::min(grid_.ColumnAtOrBefore(east.longitude), lastColumn_);
  for (int64_t c = first; c <= last; ++c) {
    const double lat1 = LatitudeAt(west, east, std::max(west.longitude, grid_.ColumnLine(c)));
    const double lat2 = LatitudeAt(west, east, std::min(east.longitude, grid_.ColumnLine(c + 1)));
    EmitClosed(c, std::min(lat1, lat2), std::max(lat1, lat2));
  }
}

void AreaMaskBuilder::AddPath(const std::vector<LonLat>& path) {
  for (std::size_t i = 1; i < path.size(); ++i) MarkClosedSegment(path[i - 1], path[i]);
  if (path.size() == 1) AddPoint(path[0]);
}

void AreaMaskBuilder::AddFillEdge(const LonLat& a, const LonLat& b, int32_t ring) {
  if (a.longitude == b.longitude) return;  // crosses no meridian
  FillEdge edge{a, b, 0, 0, ring, a.longitude < b.longitude ? 1 : -1};
  if (edge.delta < 0) std::swap(edge.west, edge.east);
  // A meridian m is crossed when west <= m < east, so every ring crosses it an even number of times.
  int64_t first = grid_.ColumnAtOrBefore(edge.west.longitude);
  if (grid_.ColumnMiddle(first) < edge.west.longitude) ++first;
  int64_t last = grid_.ColumnAtOrBefore(edge.east.longitude);
  if (grid_.ColumnMiddle(last) >= edge.east.longitude) --last;
  edge.firstColumn = std::max(first, firstColumn_);
  edge.lastColumn = std::min(last, lastColumn_);
  if (edge.firstColumn <= edge.lastColumn) edges_.push_back(edge);
}

void AreaMaskBuilder::AddPolygons(const std::vector<AreaPolygon>& polygons) {
  if (EmptyRect()) return;
  for (const AreaPolygon& polygon : polygons) {
    if (EnclosesNothing(polygon.shell)) continue;
    const auto addRing = [&](const AreaRing& ring, bool shell) {
      if (EnclosesNothing(ring)) return;
      const int32_t ringIndex = sweep_.AddRing(shell);
      for (std::size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
        MarkOpenSegment(ring[j], ring[i]);
        AddFillEdge(ring[j], ring[i], ringIndex);
      }
    };
    addRing(polygon.shell, true);
    for (const AreaRing& hole : polygon.holes) addRing(hole, false);
  }
}

void AreaMaskBuilder::FillColumn(int64_t column, const std::vector<std::size_t>& active) {
  const double meridian = grid_.ColumnMiddle(column);
  for (const std::size_t e : active) {
    const FillEdge& edge = edges_[e];
    sweep_.Cross(LatitudeAt(edge.west, edge.east, meridian), edge.ring, edge.delta);
  }
  for (const auto& [south, north] : sweep_.Sweep()) EmitOpen(column, south, north);
}

void AreaMaskBuilder::Fill() {
  std::sort(edges_.begin(), edges_.end(),
            [](const FillEdge& a, const FillEdge& b) { return a.firstColumn < b.firstColumn; });
  std::vector<std::size_t> active;
  std::size_t next = 0;
  int64_t column = 0;
  while (next < edges_.size() || !active.empty()) {
    if (active.empty()) column = std::max(column, edges_[next].firstColumn);
    while (next < edges_.size() && edges_[next].firstColumn <= column) active.push_back(next++);
    FillColumn(column, active);
    ++column;
    std::erase_if(active, [&](std::size_t e) { return edges_[e].lastColumn < column; });
  }
}

AreaMask AreaMaskBuilder::Finish() {
  if (!EmptyRect()) Fill();
  std::sort(spans_.begin(), spans_.end(),
            [](const Span& a, const Span& b) { return a.x != b.x ? a.x < b.x : a.first < b.first; });
  AreaMask mask;
  mask.rect_ = rect_;
  int64_t tiles = 0;
  for (const Span& span : spans_) {
    const bool sameColumn = !mask.columns_.empty() && mask.columns_.back() == span.x;
    if (sameColumn && int64_t{span.first} <= int64_t{mask.runs_.back().last} + 1) {
      if (span.last > mask.runs_.back().last) {
        tiles += span.last - mask.runs_.back().last;
        mask.runs_.back().last = span.last;
      }
      continue;
    }
    if (!sameColumn) {
      if (!mask.columns_.empty()) mask.tileCounts_.push_back(tiles);
      mask.columns_.push_back(span.x);
      mask.firstRun_.push_back(mask.runs_.size());
    }
    mask.runs_.push_back({span.first, span.last});
    tiles += int64_t{span.last} - span.first + 1;
  }
  if (!mask.columns_.empty()) mask.tileCounts_.push_back(tiles);
  mask.firstRun_.push_back(mask.runs_.size());
  return mask;
}

AreaMask BuildAreaMask(const Area& area, int32_t zoom, RowOrigin origin, const TileRect& rect) {
  if (zoom < 0 || zoom > 30) throw AreaError("Zoom level " + std::to_string(zoom) + " is outside 0..30");
  AreaMaskBuilder builder(zoom, origin, rect);
  builder.AddPolygons(area.polygons);
  for (const auto& line : area.lines) builder.AddPath(line);
  for (const LonLat& point : area.points) builder.AddPoint(point);
  return builder.Finish();
}
