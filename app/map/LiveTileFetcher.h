#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "Ftl.h"
#include "IniFile.h"
#include "NetworkSettings.h"
#include "TileDiskCache.h"
#include "TileHosts.h"

// Fetches the live map's tiles on a few threads, each with its own
// TileHttpClient and so at most one connection: the public servers allow two.
//
// Life of a tile: the view asks for the tiles it shows (Want); those not
// already being fetched wait in a queue that each Want replaces, so a tile
// the view has left is never fetched. A thread takes the next one, fetches
// it through the configured proxy on the one fetch road (TileFetcher: the
// rate cap shared by the threads, the repeats and waits, the classifier and
// the whole-image check), keeps only a whole image in the disk cache, and
// hands the bytes or the failure's text to `done`, on that thread. A fetch already
// under way when its tile leaves the view runs to its end (bounded by the
// time-outs) and its tile is cached for later.
//
// The destructor never waits for the network: it tells the threads to end
// and lets them go; what they still use is shared with them, and what they
// fetch after that is only cached.
class LiveTileFetcher {
 public:
  struct Settings {
    TileHosts hosts;
    NetworkSettings network;
    ProxyConfig proxy;
    int connections = 2;
  };
  struct Outcome {
    TileKey key;
    bool ok = false;
    std::string bytes;  // the body when ok
    std::string error;  // the failure's text otherwise
  };
  using Done = std::function<void(Outcome)>;

  static constexpr int kMaxConnections = 2;

  // cache may be null. Threads start at once.
  LiveTileFetcher(Settings settings, std::shared_ptr<TileDiskCache> cache, Done done);
  ~LiveTileFetcher();
  LiveTileFetcher(const LiveTileFetcher&) = delete;
  LiveTileFetcher& operator=(const LiveTileFetcher&) = delete;

  // The tiles wanted now, the most wanted first (rows from the top; the
  // address counts them as the OpenStreetMap service does).
  void Want(const std::vector<TileKey>& tiles);
  std::size_t Queued() const;

  // The address of a tile as this fetcher asks for it.
  std::string AddressOf(const TileKey& key) const;

 private:
  struct Shared;
  static void Run(std::shared_ptr<Shared> shared);

  std::shared_ptr<Shared> shared_;
};

// The fetcher's settings from the application configuration: the
// OpenStreetMap host or address template, the "Network" section and the proxy.
LiveTileFetcher::Settings ReadLiveSettings(const IniFile& config);
// The disk cache for the configured server under the user's cache folder.
std::string LiveTileCacheFolder(const TileHosts& hosts);

// The base layer's user agent opens with this, then the version.
inline constexpr const char* kLiveUserAgentPrefix = "Quarnel/";
