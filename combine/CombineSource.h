#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "Area.h"
#include "Mercator.h"
#include "AreaMask.h"
#include "Commonfunc.h"
#include "TaskParameters.h"
#include "TileOrder.h"
#include "Unitclasstask.h"

// Where a task's mosaic lies in EPSG:3857.
struct MosaicGeometry {
  double west = 0, north = 0;  // metres, the outer edges of the top-left pixel
  double pixel = 0;            // metres per pixel
  int64_t width = 0, height = 0;
};

// One finished task as the combiner reads it: the project file's inputs give
// the same tile range and names the download used, and a task over an area
// holds only the tiles its download fetched, those inside the area.
class CombineSource {
 public:
  // Throws CombineError: an unreadable project file, a map type or zoom out
  // of range, a rectangle the grid refuses, a tile folder that is missing,
  // an area file that is missing or damaged (named: the task is never taken
  // for its whole rectangle).
  static std::unique_ptr<CombineSource> Open(const std::string& projectPath,
                                             const std::function<bool(int32_t, int32_t)>& zoomAllowed);

  const TaskLayout& Task() const { return *task_; }
  const std::string& ProjectPath() const { return projectPath_; }
  int32_t Zoom() const { return task_->Parameters.Zoom; }
  int32_t MapsType() const { return task_->Parameters.MapsType; }
  RowOrigin Origin() const { return origin_; }
  bool IsVector() const { return task_->IsVector(); }

  int32_t Columns() const { return task_->MaxX - task_->MinX + 1; }
  int32_t Rows() const { return task_->MaxY - task_->MinY + 1; }
  // The tiles the task holds: its rectangle's, or those inside its area.
  int64_t TileCount() const;
  // Row counted from the top of the grid for the task's row index 0..Rows()-1 from its top edge.
  int32_t TopRow(int32_t rowFromTaskTop) const;
  // The file of the tile at column index and row index from the task's top-left corner.
  std::string TilePath(int32_t column, int32_t rowFromTaskTop) const;
  // Edges straight from the grid: a tile's side is 2 x the half width / 2^zoom.
  MosaicGeometry Geometry() const;

  // The task's tiles in grid terms: columns and top-counted rows.
  TileRange Range() const;
  // Whether the task holds the tile at column x, top-counted row y. Every
  // output asks here (or Meets), so this is the one place where a task's
  // area leaves out the tiles outside it.
  bool Holds(int32_t x, int32_t y) const;
  // Whether the task holds a tile at or under place (place.zoom <= Zoom()).
  bool Meets(const PyramidTile& place) const;
  // The task's area; null for a task over a rectangle.
  const Area* Outline() const { return area_ ? &*area_ : nullptr; }
  // What the task covers in degrees, for an output's bounds: its area's
  // extent, or the edges of its rectangle's tiles.
  AreaBounds Bounds() const;
  // The row the task's files and its area's mask count for a top-counted row.
  int32_t TaskRow(int32_t topRow) const;
  // The file of the tile at column x, top-counted row y (inside Range()).
  std::string FileAt(int32_t x, int32_t y) const { return TilePath(x - task_->MinX, y - TopRow(0)); }
  // The task's name: the project file's without its ending.
  std::string Name() const;

 private:
  CombineSource() = default;
  std::string projectPath_;
  RowOrigin origin_ = RowOrigin::FromTop;
  std::unique_ptr<TaskLayout> task_;
  std::optional<Area> area_;
  std::optional<AreaMask> mask_;  // the tiles inside area_, rows as the task counts them
};

