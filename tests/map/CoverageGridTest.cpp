#include <gtest/gtest.h>

#include "CoverageGrid.h"
#include "MapGeometry.h"
#include "MapServices.h"

namespace {

TaskExtent Extent(int32_t mapsType, int32_t columns, int32_t rows) {
  TaskExtent extent;
  extent.mapsType = mapsType;
  extent.zoom = 10;
  extent.origin = RowOriginOf(mapsType);
  extent.minX = 100, extent.maxX = 100 + columns - 1;
  extent.minY = 200, extent.maxY = 200 + rows - 1;
  return extent;
}

TileState State(const CoverageGrid& grid, int32_t column, int32_t row) {
  EXPECT_NE(grid.At(column, row), CoverageGrid::kNoTaskCell);
  return static_cast<TileState>(grid.At(column, row));
}

TEST(CoverageGrid, ShrinksLargeTasksAndShowsTheMostTellingState) {
  TaskTileStates states(Extent(kOpenStreetMap, 10, 4));
  for (int32_t x = 100; x < 110; ++x)
    for (int32_t y = 200; y < 204; ++y) states.Set(x, y, TileState::Saved);
  states.Set(100, 200, TileState::Missing);
  states.Set(101, 201, TileState::Blank);
  states.Set(109, 203, TileState::Failed);
  const CoverageGrid grid(states, 4);  // 10 tiles on the long side into at most 4 cells: 3 per cell
  EXPECT_EQ(grid.Step(), 3);
  EXPECT_EQ(grid.Columns(), 4);
  EXPECT_EQ(grid.Rows(), 2);
  EXPECT_EQ(State(grid, 0, 0), TileState::Blank);  // blank outranks missing
  EXPECT_EQ(State(grid, 1, 0), TileState::Saved);
  EXPECT_EQ(State(grid, 3, 1), TileState::Failed);  // the last, partial cell
  EXPECT_EQ(MoreTelling(TileState::Missing, TileState::Saved), TileState::Missing);
  EXPECT_EQ(MoreTelling(TileState::Blank, TileState::Failed), TileState::Failed);
}

TEST(CoverageGrid, LaysBottomCountedRowsOutFromTheNorth) {
  TaskTileStates states(Extent(5, 1, 3));  // VirtualEarth: the highest row is the northernmost
  states.Set(100, 202, TileState::Failed);
  states.Set(100, 200, TileState::Saved);
  CoverageGrid grid(states, 16);
  EXPECT_EQ(grid.FirstTopRow(), ServiceRow(202, 10, RowOrigin::FromBottom));
  EXPECT_EQ(State(grid, 0, 0), TileState::Failed);
  EXPECT_EQ(State(grid, 0, 1), TileState::Missing);
  EXPECT_EQ(State(grid, 0, 2), TileState::Saved);

  states.Set(100, 202, TileState::Saved);
  grid.Update(states, 100, 202);
  EXPECT_EQ(State(grid, 0, 0), TileState::Saved);
}

}  // namespace
