#include "CoverageGrid.h"

#include <algorithm>

#include "MapGeometry.h"

namespace {

int Rank(TileState state) {
  switch (state) {
    case TileState::Failed: return 3;
    case TileState::Blank: return 2;
    case TileState::Missing: return 1;
    case TileState::Saved: break;
  }
  return 0;
}

}  // namespace

TileState MoreTelling(TileState a, TileState b) { return Rank(a) >= Rank(b) ? a : b; }

CoverageGrid::CoverageGrid(const TaskTileStates& states, int32_t maxSide) {
  const TaskExtent& extent = states.Extent();
  tilesWide_ = extent.maxX - extent.minX + 1;
  tilesHigh_ = extent.maxY - extent.minY + 1;
  maxSide = std::max(maxSide, 1);
  const int32_t longer = std::max(tilesWide_, tilesHigh_);
  step_ = (longer + maxSide - 1) / maxSide;
  columns_ = (tilesWide_ + step_ - 1) / step_;
  rows_ = (tilesHigh_ + step_ - 1) / step_;
  firstX_ = extent.minX;
  firstTopY_ = ServiceRow(extent.origin == RowOrigin::FromTop ? extent.minY : extent.maxY, extent.zoom, extent.origin);
  cells_.assign(static_cast<std::size_t>(columns_) * rows_, kNoTaskCell);
  // Once over the task's own tiles: a route's rectangle may be far larger.
  states.ForEach([&](int32_t x, int32_t y, TileState state) {
    Merge((x - firstX_) / step_, (ServiceRowOf(extent, y) - firstTopY_) / step_, state);
  });
}

void CoverageGrid::Merge(int32_t column, int32_t row, TileState state) {
  uint8_t& cell = cells_[static_cast<std::size_t>(row) * columns_ + column];
  cell = static_cast<uint8_t>(cell == kNoTaskCell ? state : MoreTelling(static_cast<TileState>(cell), state));
}

int32_t CoverageGrid::ServiceRowOf(const TaskExtent& extent, int32_t topRow) const {
  return ServiceRow(topRow, extent.zoom, extent.origin);
}

void CoverageGrid::Recompute(const TaskTileStates& states, int32_t column, int32_t row) {
  const TaskExtent& extent = states.Extent();
  cells_[static_cast<std::size_t>(row) * columns_ + column] = kNoTaskCell;
  const int32_t lastX = std::min(tilesWide_, (column + 1) * step_);
  const int32_t lastY = std::min(tilesHigh_, (row + 1) * step_);
  for (int32_t dy = row * step_; dy < lastY; ++dy) {
    const int32_t y = ServiceRowOf(extent, firstTopY_ + dy);
    for (int32_t dx = column * step_; dx < lastX; ++dx)
      if (extent.Inside(firstX_ + dx, y)) Merge(column, row, states.At(firstX_ + dx, y));
  }
}

void CoverageGrid::Update(const TaskTileStates& states, int32_t x, int32_t y) {
  const TaskExtent& extent = states.Extent();
  if (!extent.Inside(x, y)) return;
  const int32_t topRow = ServiceRow(y, extent.zoom, extent.origin);
  Recompute(states, (x - firstX_) / step_, (topRow - firstTopY_) / step_);
}
