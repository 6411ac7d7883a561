#include "ServerEstimate.h"

#include <algorithm>
#include <cstdio>

#include "MapServices.h"
#include "ProgressLine.h"
#include "TileSelection.h"
#include "Unitclasstask.h"

namespace {

constexpr int32_t kSampleConnectTimeout = 10;
constexpr int32_t kSampleReadTimeout = 10;
constexpr int32_t kSampleTileTimeout = 20;

// "9–38 KB": both ends in the unit of the larger; one figure when they agree.
std::string SizeRangeText(int64_t smallest, int64_t largest) {
  const char* unit = "bytes";
  double divisor = 1;
  const char* format = "%.0f";
  if (largest >= 1024 * 1024) {
    unit = "MB", divisor = 1024.0 * 1024, format = "%.1f";
  } else if (largest >= 1024) {
    unit = "KB", divisor = 1024;
  }
  const auto figure = [&](int64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, format, static_cast<double>(bytes) / divisor);
    return std::string(text);
  };
  const std::string low = figure(smallest), high = figure(largest);
  return (low == high ? high : low + "\u2013" + high) + " " + unit;
}

std::string TileCount(int64_t tiles) { return std::to_string(tiles) + (tiles == 1 ? " tile" : " tiles"); }

}  // namespace

double LevelEstimate::Bytes() const {
  return static_cast<double>(tiles) * (FromServer() ? sample.MeanBytes() : static_cast<double>(kTypicalTileBytes));
}

LevelEstimate EstimateLevel(const TaskParameters& p, const std::atomic<bool>* stop) {
  const TaskTileRange range =
      TileRangeOf(p.LeftLongitude, p.RightLongitude, p.TopLatitude, p.BottomLatitude, p.Zoom, p.MapsType);
  int64_t tiles = range.TotalTiles;
  std::vector<TileKey> samples;
  if (p.Area) {
    // Only tiles inside the area count, and only they are asked for.
    const std::shared_ptr<const TileSelection> inside = p.Area->TilesInside(p.Zoom, RowOriginOf(p.MapsType), range);
    tiles = inside->Count();
    samples = SampleTiles(*inside, p.Zoom);
  } else {
    samples = SampleTiles(range, p.Zoom);
  }
  std::vector<std::string> urls;
  for (const TileKey& tile : samples)
    urls.push_back(BuildTileUrl(p.Hosts, p.MapsType, tile.x, tile.y, tile.zoom));
  NetworkSettings network = p.Network;
  network.ConnectTimeout = std::min(network.ConnectTimeout, kSampleConnectTimeout);
  network.ReadTimeout = std::min(network.ReadTimeout, kSampleReadTimeout);
  network.TileTimeout = std::min(network.TileTimeout, kSampleTileTimeout);
  return {p.Zoom, tiles, SampleTileSizes(urls, network, p, stop)};
}

std::string SampledSizeText(const LevelEstimate& estimate) {
  const TileSizeSample& s = estimate.sample;
  const std::string size = ByteSizeText(estimate.Bytes());
  if (!estimate.FromServer())
    return size + " at a typical tile size (no sample tile came from the server" +
           (s.failure.empty() ? std::string(")") : ": " + s.failure + ")");
  std::string text = size + " (" + std::to_string(s.fetched) + (s.fetched == 1 ? " sample tile, " : " sample tiles, ") +
                     SizeRangeText(s.smallest, s.largest);
  if (s.notFound > 0) text += "; " + std::to_string(s.notFound) + " not on the server";
  return text + ")";
}

std::string LevelEstimateLine(const LevelEstimate& estimate) {
  return "zoom " + std::to_string(estimate.zoom) + ": " + TileCount(estimate.tiles) + ", " + SampledSizeText(estimate);
}

std::string TotalEstimateLine(const std::vector<LevelEstimate>& levels) {
  int64_t tiles = 0;
  double bytes = 0;
  std::size_t typical = 0;
  for (const LevelEstimate& level : levels) {
    tiles += level.tiles;
    bytes += level.Bytes();
    typical += level.FromServer() ? 0 : 1;
  }
  const char* how = typical == 0 ? "" : typical == levels.size() ? " at a typical tile size" : " (partly at a typical tile size)";
  return "total: " + TileCount(tiles) + ", " + ByteSizeText(bytes) + how;
}

std::string WindowEstimateText(const std::vector<LevelEstimate>& levels) {
  if (levels.size() == 1) return TileCount(levels[0].tiles) + ", " + SampledSizeText(levels[0]);
  std::string text;
  for (const LevelEstimate& level : levels) text += LevelEstimateLine(level) + "; ";
  std::string total = TotalEstimateLine(levels);
  return text + "in all " + total.substr(std::string("total: ").size());
}

bool ServerEstimate::Start(const TaskParameters& parameters, int32_t lastZoom, std::string key,
                           std::function<void()> changed) {
  if (job_.Running()) return false;
  stop_ = false;
  key_ = std::move(key);
  text_ = "Asking the server for up to " + std::to_string(kMostSampleTiles) + " sample tiles...";
  return job_.Start([this, parameters, lastZoom, changed = std::move(changed)]() -> std::function<void()> {
    std::string text;
    try {
      std::vector<LevelEstimate> levels;
      TaskParameters level = parameters;
      for (level.Zoom = parameters.Zoom; level.Zoom <= std::max(lastZoom, parameters.Zoom) && !stop_; ++level.Zoom)
        levels.push_back(EstimateLevel(level, &stop_));
      text = WindowEstimateText(levels);
    } catch (const std::exception& error) {
      text = std::string("Start would refuse this task: ") + error.what();
    }
    return [this, text, changed] {
      text_ = text;
      if (changed) changed();
    };
  });
}

std::optional<std::string> ServerEstimate::TextFor(const std::string& key) const {
  if (key_.empty() || key != key_) return std::nullopt;
  return text_;
}
