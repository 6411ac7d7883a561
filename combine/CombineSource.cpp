#include "CombineSource.h"

#include <algorithm>
#include <cmath>

#include "AreaTask.h"
#include "CombineError.h"
#include "Files.h"
#include "Mercator.h"
#include "ProjectFile.h"
#include "MapServices.h"
#include "TextFormat.h"
#include "TileStore.h"
#include "TileImage.h"


std::unique_ptr<CombineSource> CombineSource::Open(const std::string& projectPath,
                                                   const std::function<bool(int32_t, int32_t)>& zoomAllowed) {
  ProjectFile project;
  try {
    project = ProjectFile::Read(projectPath);
  } catch (const ProjectFileError& refusal) {
    throw CombineError(refusal.what());
  }
  std::unique_ptr<CombineSource> source(new CombineSource);
  source->projectPath_ = projectPath;
  TaskParameters p = ParametersOf(project);
  if (!FindMapService(p.MapsType))
    throw CombineError(projectPath + ": map type " + std::to_string(p.MapsType) + " is not one of 0 to 8.");
  if (p.Zoom < 0 || p.Zoom > 30 || (zoomAllowed && !zoomAllowed(p.MapsType, p.Zoom)))
    throw CombineError(projectPath + ": zoom " + std::to_string(p.Zoom) + " is out of range for map type " +
                       std::to_string(p.MapsType) + ".");
  std::optional<Area> area;
  try {
    area = ReadTaskArea(project);
  } catch (const AreaError& refusal) {
    throw CombineError(refusal.what());
  }
  const std::string folder = p.SavePath + TaskBaseName(p.TaskFileName) + kDirSeparator;
  if (!StoredInOneFile(p) && !IsDirectory(folder)) throw CombineError("The tile folder " + folder + " is missing.");
  source->origin_ = RowOriginOf(p.MapsType);
  try {
    source->task_ = std::make_unique<TaskLayout>(std::move(p));
    // The blank image is told apart where tiles are classified.
    source->tiles_ = OpenTaskTiles(*source->task_, "");
  } catch (const TaskSetupError& error) {
    throw CombineError(projectPath + ": " + error.what() + ".");
  } catch (const TileStoreError& refusal) {
    throw CombineError(refusal.what());
  }
  if (area) {
    try {
      source->mask_ = TaskAreaMask(project, *area);
    } catch (const std::exception& error) {  // TaskSetupError or AreaError: the mask's own refusal
      throw CombineError(projectPath + ": " + error.what());
    }
    source->area_ = std::move(area);
  }
  return source;
}

int64_t CombineSource::TileCount() const {
  return mask_ ? mask_->TileCount() : int64_t{Columns()} * Rows();
}

int32_t CombineSource::TaskRow(int32_t topRow) const {
  if (origin_ == RowOrigin::FromTop) return topRow;
  return static_cast<int32_t>((int64_t{1} << task_->Parameters.Zoom) - 1 - topRow);
}

bool CombineSource::Holds(int32_t x, int32_t y) const {
  return Range().Holds(x, y) && (!mask_ || mask_->Contains(x, TaskRow(y)));
}

bool CombineSource::Meets(const PyramidTile& place) const {
  const TileRange range = Range();
  if (!range.Meets(place)) return false;
  if (!mask_) return true;
  // The block of this task's tiles under place, then the mask's columns in it.
  const int32_t shift = range.zoom - place.zoom;
  const auto clip = [shift](int32_t at, int32_t low, int32_t high) {
    return std::pair{static_cast<int32_t>(std::max<int64_t>(int64_t{at} << shift, low)),
                     static_cast<int32_t>(std::min<int64_t>(((int64_t{at} + 1) << shift) - 1, high))};
  };
  const auto [firstX, lastX] = clip(place.x, range.minX, range.maxX);
  const auto [topFirst, topLast] = clip(place.y, range.minY, range.maxY);
  const int32_t firstRow = std::min(TaskRow(topFirst), TaskRow(topLast));
  const int32_t lastRow = std::max(TaskRow(topFirst), TaskRow(topLast));
  const std::span<const int32_t> columns = mask_->Columns();
  for (auto x = std::lower_bound(columns.begin(), columns.end(), firstX); x != columns.end() && *x <= lastX; ++x) {
    const std::span<const RowRun> runs = mask_->Runs(*x);
    const auto run = std::lower_bound(runs.begin(), runs.end(), firstRow,
                                      [](const RowRun& r, int32_t row) { return r.last < row; });
    if (run != runs.end() && run->first <= lastRow) return true;
  }
  return false;
}

AreaBounds CombineSource::Bounds() const {
  if (area_) return BoundsOf(*area_);
  return {task_->WestLongitude, task_->EastLongitude, task_->SouthLatitude, task_->NorthLatitude};
}

int32_t CombineSource::TopRow(int32_t rowFromTaskTop) const {
  if (origin_ == RowOrigin::FromTop) return task_->MinY + rowFromTaskTop;
  // Bottom-counted rows: the task's top edge is its highest row.
  const int64_t lastRow = (int64_t{1} << task_->Parameters.Zoom) - 1;
  return static_cast<int32_t>(lastRow - (task_->MaxY - rowFromTaskTop));
}

std::string CombineSource::TilePath(int32_t column, int32_t rowFromTaskTop) const {
  const int32_t fileRow = origin_ == RowOrigin::FromTop ? task_->MinY + rowFromTaskTop : task_->MaxY - rowFromTaskTop;
  return task_->SavedTilePath(task_->MinX + column, fileRow);
}

MosaicGeometry CombineSource::Geometry() const {
  const double side = MercatorTileSide(task_->Parameters.Zoom);
  MosaicGeometry geometry;
  geometry.west = -kMercatorHalfWorld + task_->MinX * side;
  geometry.north = kMercatorHalfWorld - TopRow(0) * side;
  geometry.pixel = side / kTilePixels;
  geometry.width = int64_t{Columns()} * kTilePixels;
  geometry.height = int64_t{Rows()} * kTilePixels;
  return geometry;
}

TileRange CombineSource::Range() const {
  return {task_->Parameters.Zoom, task_->MinX, task_->MaxX, TopRow(0), TopRow(Rows() - 1)};
}

TileOrigin CombineSource::OriginAt(int32_t x, int32_t y) const {
  if (!tiles_->IsStore()) return FileAt(x, y);
  return {tiles_->NameOf(x, TaskRow(y)), *tiles_, x, TaskRow(y)};
}

std::string CombineSource::Name() const {
  const std::string& file = task_->Parameters.TaskFileName;
  return file.substr(0, file.rfind('.'));
}
