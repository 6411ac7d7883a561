#include "CombineSource.h"

#include <charconv>
#include <cmath>
#include <sys/stat.h>

#include "Combine.h"
#include "IniFile.h"
#include "MapServices.h"
#include "TextFormat.h"
#include "TileImage.h"

namespace {

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

double Coordinate(const IniFile& project, const std::string& key, const std::string& projectPath) {
  const std::string text = project.ReadString("AREA", key, "");
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || !std::isfinite(value))
    throw CombineError(projectPath + ": " + key + " \"" + text + "\" is not a number.");
  return value;
}

}  // namespace

double TileSideMetres(int32_t zoom) { return 2 * kMercatorHalfWidth / std::ldexp(1.0, zoom); }

std::unique_ptr<CombineSource> CombineSource::Open(const std::string& projectPath,
                                                   const std::function<bool(int32_t, int32_t)>& zoomAllowed) {
  struct stat info {};
  if (::stat(projectPath.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
    throw CombineError("Cannot open the project file " + projectPath + ".");
  const IniFile project(projectPath);
  std::unique_ptr<CombineSource> source(new CombineSource);
  source->projectPath_ = projectPath;
  TaskParameters& p = source->parameters_;
  p.MapsType = project.ReadInteger("MapsType", "MapsType", -1);
  p.Zoom = project.ReadInteger("Zoom", "Zoom", -1);
  if (!FindMapService(p.MapsType))
    throw CombineError(projectPath + ": map type " + std::to_string(p.MapsType) + " is not one of 0 to 8.");
  if (p.Zoom < 0 || p.Zoom > 30 || (zoomAllowed && !zoomAllowed(p.MapsType, p.Zoom)))
    throw CombineError(projectPath + ": zoom " + std::to_string(p.Zoom) + " is out of range for map type " +
                       std::to_string(p.MapsType) + ".");
  p.LeftLongitude = Coordinate(project, "LeftLongitude", projectPath);
  p.RightLongitude = Coordinate(project, "RightLongitude", projectPath);
  p.TopLatitude = Coordinate(project, "TopLatitude", projectPath);
  p.BottomLatitude = Coordinate(project, "BottomLatitude", projectPath);

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
