#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "VectorTile.h"

// Name and value of the headers sent with every tile request, in order.
using RequestHeaders = std::vector<std::pair<std::string, std::string>>;

// Limits that keep a hung or hostile server from hanging a worker or a Stop.
// Read from the configuration's "Network" section at every Start.
struct NetworkSettings {
  static constexpr const char* kDefaultUserAgent = "Mozilla/3.0 (compatible; Indy Library)";

  int32_t ConnectTimeout = 30;  // seconds
  int32_t ReadTimeout = 60;     // seconds without a single byte
  std::string UserAgent = kDefaultUserAgent;
  int32_t RepeatLimit = 5;      // repeats of a tile after a reset, an early close or a busy server
  int64_t MaxTileBytes = int64_t{16} << 20;  // a larger body fails the tile as soon as it passes this
  int32_t TileTimeout = 120;  // seconds for a whole tile, however slowly its bytes drip in
  int32_t MaxRequestsPerSecond = 0;  // across all workers of a task; 0: no cap
  int32_t MaxRetryWait = 120;        // seconds, the longest wait a busy server's answer gets
  std::string CaFile;                // PEM certificates trusted beside the system's; empty: none
  bool CheckTileBodies = true;       // only whole PNG, JPEG, GIF or WebP images are tiles
  // What a tile is: an image, or a vector tile (then the body check is the
  // vector one, and the tile files end .pbf). A source or the task may set it.
  TaskTileFormat TileFormat = TaskTileFormat::Raster;
  // Tiles in a row that fail (404 aside) before the task is stopped; 0: never.
  int32_t StopAfterFailures = 50;
  // The "Headers" section, sent with each tile request (a Referer, an API
  // key): never logged or shown, since they may hold keys.
  RequestHeaders Headers;
  // The chosen source's key, filled in for "{key}" in an address or a header
  // value only as the request goes out; never logged, shown or stored.
  std::string Key;
};
