#include "TileSizeSample.h"

#include <algorithm>

#include "FetchFailure.h"
#include "RequestPacer.h"
#include "TileFetch.h"
#include "TileHttpClient.h"
#include "TileSelection.h"
#include "Unitclasstask.h"

std::vector<TileKey> SampleTiles(const TaskTileRange& range, int32_t zoom) {
  const int64_t width = int64_t{range.MaxX} - range.MinX + 1, height = int64_t{range.MaxY} - range.MinY + 1;
  std::vector<TileKey> tiles;
  if (width <= 0 || height <= 0) return tiles;
  int64_t rows = std::min<int64_t>(height, width >= height ? 2 : 4);
  const int64_t columns = std::min<int64_t>(width, kMostSampleTiles / rows);
  rows = std::min<int64_t>(height, kMostSampleTiles / columns);
  for (int64_t i = 0; i < columns; ++i)
    for (int64_t j = 0; j < rows; ++j)
      tiles.push_back({static_cast<int32_t>(range.MinX + (2 * i + 1) * width / (2 * columns)),
                       static_cast<int32_t>(range.MinY + (2 * j + 1) * height / (2 * rows)), zoom});
  return tiles;
}

std::vector<TileKey> SampleTiles(const TileSelection& inside, int32_t zoom) {
  std::vector<TileKey> tiles;
  const int64_t count = inside.Count();
  const int64_t wanted = std::min<int64_t>(count, kMostSampleTiles);
  if (wanted <= 0) return tiles;
  // The middle tile of each of `wanted` equal shares of the walk.
  const auto rankOf = [&](int64_t i) { return (2 * i + 1) * count / (2 * wanted); };
  int64_t passed = 0;
  struct Enough {};
  try {
    inside.ForEachRun([&](int32_t x, int32_t firstY, int32_t lastY) {
      const int64_t length = int64_t{lastY} - firstY + 1;
      while (static_cast<int64_t>(tiles.size()) < wanted && rankOf(static_cast<int64_t>(tiles.size())) < passed + length)
        tiles.push_back({x, static_cast<int32_t>(firstY + (rankOf(static_cast<int64_t>(tiles.size())) - passed)), zoom});
      passed += length;
      if (static_cast<int64_t>(tiles.size()) == wanted) throw Enough{};
    });
  } catch (const Enough&) {
  }
  return tiles;
}

TileSizeSample SampleTileSizes(const std::vector<std::string>& urls, const NetworkSettings& network,
                               const ProxyConfig& proxy, const std::atomic<bool>* stop) {
  TileSizeSample sample;
  NetworkSettings once = network;
  once.RepeatLimit = 0;  // one request per tile: a "429" is an answer too
  TileHttpClient client(once);
  if (std::optional<std::string> problem = ApplyProxy(proxy, client)) {
    sample.failure = *problem;
    return sample;
  }
  const std::atomic<bool> never{false};
  RequestPacer pacer(once.MaxRequestsPerSecond);
  TileFetcher fetcher(client, once, &pacer, stop ? *stop : never);
  std::string body;
  for (const std::string& url : urls) {
    const TileFetchResult result = fetcher.Fetch(url, body);
    if (result.status == TileFetchResult::Status::Abandoned) break;
    if (result.status == TileFetchResult::Status::Fetched) {
      const auto size = static_cast<int64_t>(body.size());
      sample.smallest = sample.fetched == 0 ? size : std::min(sample.smallest, size);
      sample.largest = std::max(sample.largest, size);
      sample.totalBytes += size;
      ++sample.fetched;
      continue;
    }
    if (result.outcome == FetchOutcome::NotFound) {
      ++sample.notFound;
      if (sample.failure.empty()) sample.failure = ReadableFailure(result.message);
      continue;
    }
    sample.failure = ReadableFailure(result.message.empty() ? "a failure without a message" : result.message);
    break;
  }
  return sample;
}
