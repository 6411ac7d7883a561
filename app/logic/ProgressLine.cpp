#include "ProgressLine.h"

#include <cmath>
#include <cstdio>
#include <exception>
#include <iterator>

#include "AreaMask.h"
#include "NumberEntry.h"
#include "TaskEntries.h"
#include "Unitclasstask.h"

namespace {

std::string FormatDuration(int64_t seconds) {
  char text[32];
  if (seconds >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  return text;
}

// The rate is this run's: tiles done before a resume took no time of it.
std::string RateAndTimeLeft(int64_t done, int64_t total, double elapsedSeconds, int64_t doneBefore) {
  if (elapsedSeconds <= 0 || done - doneBefore <= 0) return {};
  const double rate = static_cast<double>(done - doneBefore) / elapsedSeconds;
  char rateText[32];
  std::snprintf(rateText, sizeof rateText, ", %.1f tiles/s", rate);
  std::string text = rateText;
  if (total > done) {
    const double left = static_cast<double>(total - done) / rate;
    text += ", " + FormatDuration(static_cast<int64_t>(std::ceil(left))) + " left";
  }
  return text;
}

}  // namespace

std::string FormatProgress(int64_t done, int64_t total, double elapsedSeconds, int64_t doneBefore) {
  return std::to_string(done) + " of " + std::to_string(total) + " tiles" +
         RateAndTimeLeft(done, total, elapsedSeconds, doneBefore);
}

std::string FormatProgress(int64_t done, int64_t total, int64_t failed, double elapsedSeconds, int64_t doneBefore) {
  return std::to_string(done) + " of " + std::to_string(total) + " tiles, " + std::to_string(failed) + " failed" +
         RateAndTimeLeft(done, total, elapsedSeconds, doneBefore);
}

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
