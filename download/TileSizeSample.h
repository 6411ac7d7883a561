#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "Commonfunc.h"
#include "Ftl.h"
#include "NetworkSettings.h"

struct TaskTileRange;
class TileSelection;

// A few tiles of a task fetched to judge its size: detailed tiles are large
// and sea tiles small, so a fixed tile size can be off several times over.

inline constexpr int32_t kMostSampleTiles = 8;

// Up to 8 tiles spread over the range: the middle tile of each cell of a
// grid of at most 8 cells, wide for a wide range and tall for a tall one;
// every tile of a range of 8 or fewer.
std::vector<TileKey> SampleTiles(const TaskTileRange& range, int32_t zoom);
// The same for a task over an area: up to 8 of the tiles inside, evenly
// spaced in the walk's order (columns rising, rows rising within each).
std::vector<TileKey> SampleTiles(const TileSelection& inside, int32_t zoom);

struct TileSizeSample {
  int32_t fetched = 0;   // whole images that came
  int32_t notFound = 0;  // "404": a tile the server does not have
  int64_t totalBytes = 0;
  int64_t smallest = 0;
  int64_t largest = 0;
  std::string failure;  // why no tile came, or why sampling stopped early
  double MeanBytes() const { return fetched > 0 ? static_cast<double>(totalBytes) / fetched : 0; }
};

// Fetches each address once, on the workers' road but without repeats or
// waits, so at most one request per address goes out; the first failure
// other than a missing tile ends the sampling (the server cannot be
// reached, or refuses). stop may be null.
TileSizeSample SampleTileSizes(const std::vector<std::string>& urls, const NetworkSettings& network,
                               const ProxyConfig& proxy, const std::atomic<bool>* stop = nullptr);
