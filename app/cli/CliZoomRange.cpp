#include "CliZoomRange.h"

#include <filesystem>

#include "AppPaths.h"
#include "ProjectFile.h"
#include "MapServices.h"
#include "MapTypeZoom.h"
#include "ZoomLevels.h"

int MapsTypeForRun(const CliArguments& arguments) {
  if (!arguments.projectToOpen) return kOpenStreetMap;
  try {
    return ProjectFile::Read(*arguments.projectToOpen).MapsType;
  } catch (const ProjectFileError&) {
    return kOpenStreetMap;  // each level's run refuses the file with its own message
  }
}

std::variant<std::vector<CliArguments>, std::string> ZoomLevelRuns(const CliArguments& arguments, int mapsType) {
  const auto [first, last] = *arguments.zoomRange;
  if (first > last) return "--zoom " + std::to_string(first) + "-" + std::to_string(last) + ": the first level comes first";
  if (!ZoomInMapTypeRange(mapsType, first) || !ZoomInMapTypeRange(mapsType, last)) {
    if (mapsType < 0 || mapsType >= kMapsTypeCount) return "map type " + std::to_string(mapsType) + " is not one of 0 to 8";
    const MapService& row = kMapServices[static_cast<std::size_t>(mapsType)];
    return "--zoom must be between " + std::to_string(row.lowestZoom) + " and " + std::to_string(row.highestZoom);
  }
  std::string name;
  if (arguments.taskName)
    name = *arguments.taskName;
  else if (arguments.projectToOpen)
    name = std::filesystem::path(*arguments.projectToOpen).filename().string();
  else
    return std::string("--zoom A-B needs --task NAME (or --open) to name each level's task");

  std::vector<CliArguments> runs;
  for (int zoom = first; zoom <= last; ++zoom) {
    CliArguments level = arguments;
    level.zoomRange.reset();
    level.zoom = zoom;
    level.taskName = ZoomLevelTaskName(name, zoom);
    level.levelOfRange = true;
    runs.push_back(std::move(level));
  }
  return runs;
}
