#include "ProgressLine.h"

#include <exception>
#include <iterator>

#include "AreaMask.h"
#include "NumberEntry.h"
#include "TaskEntries.h"
#include "Unitclasstask.h"

std::string EstimateText(const TaskEntries& entries, int32_t lastZoom) {
  if (entries.left.empty() || entries.right.empty() || entries.top.empty() || entries.bottom.empty()) return {};
  const std::optional<double> left = ParseCoordinate(entries.left), right = ParseCoordinate(entries.right),
                              top = ParseCoordinate(entries.top), bottom = ParseCoordinate(entries.bottom);
  if (!left || !right || !top || !bottom) return "Longitude or latitude input error!";
  if (const char* problem = CoordinateProblem(*left, *right, *top, *bottom)) return problem;
  const auto tilesText = [](int64_t tiles) {
    return std::to_string(tiles) + (tiles == 1 ? " tile, " : " tiles, ") + SizeEstimateText(tiles);
  };
  std::string text;
  int64_t all = 0;
  for (int32_t zoom = entries.zoom; zoom <= std::max(lastZoom, entries.zoom); ++zoom) {
    int64_t tiles = 0;
    try {
      TaskTileRange range = TileRangeOf(*left, *right, *top, *bottom, zoom, 8);
      tiles = range.TotalTiles;
      if (entries.area)
        tiles = BuildAreaMask(*entries.area, zoom, RowOrigin::FromTop, {range.MinX, range.MinY, range.MaxX, range.MaxY})
                    .TileCount();
    } catch (const std::exception& error) {
      return std::string("Start would refuse this task: ") + error.what();
    }
    if (entries.area && tiles == 0) return "Start would refuse this task: the area holds no tile at zoom " + std::to_string(zoom) + ".";
    if (lastZoom <= entries.zoom) return tilesText(tiles);
    text += "zoom " + std::to_string(zoom) + ": " + tilesText(tiles) + "; ";
    all += tiles;
  }
  return text + "in all " + tilesText(all);
}
