#pragma once

#include <cstdint>
#include <vector>

#include "TaskFolder.h"

// A task's tile states shrunk to at most maxSide cells per side, for drawing
// when the tiles themselves are too small to see. Cells are laid out from the
// north-west, rows counted from the top whatever the service counts; a cell
// shows the most telling state of its tiles: failed, then blank, then
// missing, then saved. A cell without a tile of the task (all outside its
// area) holds kNoTaskCell.
class CoverageGrid {
 public:
  static constexpr uint8_t kNoTaskCell = static_cast<uint8_t>(kTileStateCount);

  explicit CoverageGrid(const TaskTileStates& states, int32_t maxSide = 1024);

  int32_t Columns() const { return columns_; }
  int32_t Rows() const { return rows_; }
  // Tiles per cell along each side.
  int32_t Step() const { return step_; }
  // The task's north-west tile, row from the top.
  int32_t FirstColumn() const { return firstX_; }
  int32_t FirstTopRow() const { return firstTopY_; }
  // A TileState, or kNoTaskCell.
  uint8_t At(int32_t column, int32_t row) const { return cells_[static_cast<std::size_t>(row) * columns_ + column]; }
  const std::vector<uint8_t>& Cells() const { return cells_; }

  // Recomputes the cell holding a tile (row in the service's count) after its state changed.
  void Update(const TaskTileStates& states, int32_t x, int32_t y);

 private:
  void Recompute(const TaskTileStates& states, int32_t column, int32_t row);
  void Merge(int32_t column, int32_t row, TileState state);
  int32_t ServiceRowOf(const TaskExtent& extent, int32_t topRow) const;

  int32_t columns_ = 0, rows_ = 0, step_ = 1;
  int32_t firstX_ = 0, firstTopY_ = 0;
  int32_t tilesWide_ = 0, tilesHigh_ = 0;
  std::vector<uint8_t> cells_;
};

// The state shown for a cell holding both states.
TileState MoreTelling(TileState a, TileState b);
