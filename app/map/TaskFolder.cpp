#include "TaskFolder.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <unistd.h>

#include "AreaGeoJson.h"
#include "AreaTask.h"
#include "AtomicFile.h"
#include "Ftl.h"
#include "ProjectFile.h"
#include "MapServices.h"
#include "TextFormat.h"
#include "Unitclasstask.h"

namespace {

std::string WithoutExtension(const std::string& fileName) {
  const auto dot = fileName.rfind('.');
  return dot == std::string::npos ? fileName : fileName.substr(0, dot);
}

std::string FileNamePart(const std::string& path) {
  const auto split = path.find_last_of("/\\");
  return split == std::string::npos ? path : path.substr(split + 1);
}

// A missing or damaged area is refused: the task is never shown as its whole rectangle.
std::shared_ptr<const ViewedArea> ReadViewedArea(const ProjectFile& project) {
  try {
    std::optional<Area> area = ReadTaskArea(project);
    if (!area) return nullptr;
    auto viewed = std::make_shared<ViewedArea>();
    viewed->path = project.AreaPath();
    viewed->mask = TaskAreaMask(project, *area);
    viewed->area = std::move(*area);
    if (viewed->mask.Empty())
      throw TaskFolderError("The area file " + viewed->path + " holds no tile of the task at zoom " +
                            std::to_string(project.Zoom));
    return viewed;
  } catch (const AreaError& refusal) {
    throw TaskFolderError(refusal.what());
  }
}

}  // namespace

Area OutlineOfTask(const TaskExtent& extent) {
  if (extent.area) return extent.area->area;
  Area rectangle;
  rectangle.polygons.push_back({{{extent.left, extent.top},
                                 {extent.right, extent.top},
                                 {extent.right, extent.bottom},
                                 {extent.left, extent.bottom}},
                                {}});
  return rectangle;
}

const char* TileStateName(TileState state) {
  switch (state) {
    case TileState::Saved: return "saved";
    case TileState::Blank: return "blank";
    case TileState::Failed: return "failed";
    case TileState::Missing: break;
  }
  return "missing";
}

std::string TaskExtent::FileName(int32_t x, int32_t y) const {
  std::string name = BuildTileFileName(mapsType, x, y, zoom);
  if (vector) name.replace(name.rfind('.') + 1, std::string::npos, kVectorTileEnding);
  return name;
}

TileRange TopCountedRange(const TaskExtent& extent) {
  const int32_t a = ServiceRow(extent.minY, extent.zoom, extent.origin);
  const int32_t b = ServiceRow(extent.maxY, extent.zoom, extent.origin);
  return {extent.minX, std::min(a, b), extent.maxX, std::max(a, b)};
}

TaskExtent ReadTaskExtent(const std::string& projectPath) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(projectPath, error))
    throw TaskFolderError("Cannot read the project file " + projectPath);
  const std::string fullName = std::filesystem::absolute(projectPath).lexically_normal().string();
  ProjectFile project;
  try {
    project = ProjectFile::Read(fullName);
  } catch (const ProjectFileError& refusal) {
    throw TaskFolderError(refusal.what());
  }
  TaskExtent extent;
  extent.projectPath = fullName;
  extent.mapsType = project.MapsType;
  extent.zoom = project.Zoom;
  if (!FindMapService(extent.mapsType))
    throw TaskFolderError("The project file names no known map type: " + std::to_string(extent.mapsType));
  extent.left = project.Left, extent.right = project.Right, extent.top = project.Top, extent.bottom = project.Bottom;
  extent.origin = RowOriginOf(extent.mapsType);
  // The download's own range, so the viewer shows exactly the tiles the task fetched.
  try {
    extent.layout = std::make_shared<const TaskLayout>(ParametersOf(project));
    const TaskLayout& range = *extent.layout;
    extent.minX = range.MinX, extent.maxX = range.MaxX, extent.minY = range.MinY, extent.maxY = range.MaxY;
    extent.inOneFile = StoredInOneFile(range.Parameters);
  } catch (const TaskSetupError& refusal) {
    throw TaskFolderError(std::string("The project file's area gives no tiles: ") + refusal.what());
  }
  extent.area = ReadViewedArea(project);
  extent.source = project.Source;
  extent.vector = project.TileFormat == TaskTileFormat::Mvt;
  if (extent.InsideCount() > kMaxViewableTiles)
    throw TaskFolderError("The task holds " + std::to_string(extent.InsideCount()) +
                          " tiles, more than the viewer shows");

  const std::size_t split = fullName.rfind(kDirSeparator) + 1;
  const std::string base = fullName.substr(0, split) + WithoutExtension(fullName.substr(split));
  extent.tileFolder = base + kDirSeparator;
  extent.failedListPath = base + "_failed.ftl";
  return extent;
}

TaskTileStates::TaskTileStates(const TaskExtent& extent)
    : extent_(extent), states_(static_cast<std::size_t>(extent.InsideCount()), uint8_t{0}) {
  counts_[static_cast<std::size_t>(TileState::Missing)] = extent.InsideCount();
}

// A task with an area holds only its tiles inside, in the mask's walk order.
std::size_t TaskTileStates::Index(int32_t x, int32_t y) const {
  if (!extent_.area) {
    const int64_t columns = int64_t{extent_.maxX} - extent_.minX + 1;
    return static_cast<std::size_t>((int64_t{y} - extent_.minY) * columns + (int64_t{x} - extent_.minX));
  }
  int64_t index = extent_.area->mask.TilesBefore(x);
  for (const RowRun& run : extent_.area->mask.Runs(x)) {
    if (y <= run.last) return static_cast<std::size_t>(index + (y - run.first));
    index += int64_t{run.last} - run.first + 1;
  }
  return static_cast<std::size_t>(index);
}

TileState TaskTileStates::At(int32_t x, int32_t y) const {
  return extent_.Inside(x, y) ? static_cast<TileState>(states_[Index(x, y)]) : TileState::Missing;
}

void TaskTileStates::ForEach(const std::function<void(int32_t, int32_t, TileState)>& visit) const {
  std::size_t index = 0;
  if (extent_.area) {
    for (const MaskTile& tile : extent_.area->mask) visit(tile.x, tile.y, static_cast<TileState>(states_[index++]));
    return;
  }
  for (int32_t y = extent_.minY; y <= extent_.maxY; ++y)
    for (int32_t x = extent_.minX; x <= extent_.maxX; ++x) visit(x, y, static_cast<TileState>(states_[index++]));
}

void TaskTileStates::Set(int32_t x, int32_t y, TileState state) {
  if (!extent_.Inside(x, y)) return;
  uint8_t& slot = states_[Index(x, y)];
  --counts_[slot];
  slot = static_cast<uint8_t>(state);
  ++counts_[slot];
}

TaskScan ScanTaskFolder(const TaskExtent& extent, const std::string& blankImage) {
  TaskScan scan{TaskTileStates(extent), {}};
  std::vector<TileKey> failed;
  try {
    if (std::filesystem::exists(extent.failedListPath))
      for (const std::string& line : ReadFtlLines(extent.failedListPath))
        if (auto key = ParseTileFileName(FileNamePart(SplitFtlLine(line).path), extent.mapsType, extent.zoom))
          failed.push_back(*key);
  } catch (const std::exception& error) {
    scan.problems.push_back(std::string("Failed list not read: ") + error.what());
  }

  try {
    OpenViewedTiles(extent, blankImage)->ForEach([&](int32_t x, int32_t y, SavedTile kind) {
      scan.states.Set(x, y, kind == SavedTile::Data ? TileState::Saved : TileState::Blank);
    });
  } catch (const std::exception& error) {
    scan.problems.push_back(error.what());
  }
  for (const TileKey& key : failed)
    if (scan.states.At(key.x, key.y) != TileState::Saved) scan.states.Set(key.x, key.y, TileState::Failed);
  return scan;
}

std::unique_ptr<TaskTiles> OpenViewedTiles(const TaskExtent& extent, const std::string& blankImage) {
  return OpenTaskTiles(*extent.layout, blankImage);
}

TileState ProbeTile(const TaskTiles& tiles, int32_t x, int32_t y, bool listedFailed) {
  switch (tiles.Probe(x, y)) {
    case SavedTile::Data: return TileState::Saved;
    case SavedTile::Placeholder: return listedFailed ? TileState::Failed : TileState::Blank;
    default: break;
  }
  return listedFailed ? TileState::Failed : TileState::Missing;
}
