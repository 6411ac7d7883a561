#include "CombineSource.h"

#include <cmath>
#include <sys/stat.h>

#include "Combine.h"
#include "ProjectFile.h"
#include "MapServices.h"
#include "TextFormat.h"
#include "TileImage.h"

namespace {

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

double TileSideMetres(int32_t zoom) { return 2 * kMercatorHalfWidth / std::ldexp(1.0, zoom); }

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
  TaskParameters& p = source->parameters_;
  p.MapsType = project.MapsType;
  p.Zoom = project.Zoom;
  if (!FindMapService(p.MapsType))
    throw CombineError(projectPath + ": map type " + std::to_string(p.MapsType) + " is not one of 0 to 8.");
  if (p.Zoom < 0 || p.Zoom > 30 || (zoomAllowed && !zoomAllowed(p.MapsType, p.Zoom)))
    throw CombineError(projectPath + ": zoom " + std::to_string(p.Zoom) + " is out of range for map type " +
                       std::to_string(p.MapsType) + ".");
  p.LeftLongitude = project.Left;
  p.RightLongitude = project.Right;
  p.TopLatitude = project.Top;
  p.BottomLatitude = project.Bottom;

  const auto slash = projectPath.rfind(kDirSeparator);
  p.SavePath = slash == std::string::npos ? std::string(".") + kDirSeparator : projectPath.substr(0, slash + 1);
  p.TaskFileName = projectPath.substr(slash == std::string::npos ? 0 : slash + 1);
  const auto dot = p.TaskFileName.rfind('.');
  // The set-up would create a missing tile folder; a combiner must not.
  const std::string folder = p.SavePath + p.TaskFileName.substr(0, dot) + kDirSeparator;
  if (!IsDirectory(folder)) throw CombineError("The tile folder " + folder + " is missing.");
  source->origin_ = RowOriginOf(p.MapsType);
  try {
    source->task_ = std::make_unique<DownloadTask>(p);
  } catch (const TaskSetupError& error) {
    throw CombineError(projectPath + ": " + error.what() + ".");
  }
  return source;
}

int32_t CombineSource::TopRow(int32_t rowFromTaskTop) const {
  if (origin_ == RowOrigin::FromTop) return task_->MinY + rowFromTaskTop;
  // Bottom-counted rows: the task's top edge is its highest row.
  const int64_t lastRow = (int64_t{1} << parameters_.Zoom) - 1;
  return static_cast<int32_t>(lastRow - (task_->MaxY - rowFromTaskTop));
}

std::string CombineSource::TilePath(int32_t column, int32_t rowFromTaskTop) const {
  const int32_t fileRow = origin_ == RowOrigin::FromTop ? task_->MinY + rowFromTaskTop : task_->MaxY - rowFromTaskTop;
  return task_->TileFilePath(task_->MinX + column, fileRow);
}

MosaicGeometry CombineSource::Geometry() const {
  const double side = TileSideMetres(parameters_.Zoom);
  MosaicGeometry geometry;
  geometry.west = -kMercatorHalfWidth + task_->MinX * side;
  geometry.north = kMercatorHalfWidth - TopRow(0) * side;
  geometry.pixel = side / kTilePixels;
  geometry.width = int64_t{Columns()} * kTilePixels;
  geometry.height = int64_t{Rows()} * kTilePixels;
  return geometry;
}

TileRange CombineSource::Range() const {
  return {parameters_.Zoom, task_->MinX, task_->MaxX, TopRow(0), TopRow(Rows() - 1)};
}

std::string CombineSource::Name() const {
  const std::string& file = parameters_.TaskFileName;
  return file.substr(0, file.rfind('.'));
}
