#include "LiveTileFetcher.h"

#include <algorithm>
#include <optional>
#include <tuple>

#include <cstdlib>

#include "AppPaths.h"
#include "MapServices.h"
#include "ProjectVersion.h"
#include "ProxyConfig.h"
#include "RequestPacer.h"
#include "TaskConfig.h"
#include "TileFetch.h"
#include "TileHttpClient.h"

namespace {

std::tuple<int32_t, int32_t, int32_t> Tuple(const TileKey& key) { return {key.zoom, key.x, key.y}; }

}  // namespace

struct LiveTileFetcher::Shared {
  Settings settings;
  std::shared_ptr<TileDiskCache> cache;
  std::optional<RequestPacer> pacer;  // shared by the threads: the cap is the map's, not each thread's
  std::mutex mutex;  // guards everything below
  std::condition_variable wake;
  Done done;
  std::deque<TileKey> queue;
  std::set<std::tuple<int32_t, int32_t, int32_t>> inFlight;
  std::atomic<bool> stopping = false;  // also read by a fetch's pacer and waits
};

LiveTileFetcher::LiveTileFetcher(Settings settings, std::shared_ptr<TileDiskCache> cache, Done done)
    : shared_(std::make_shared<Shared>()) {
  shared_->settings = std::move(settings);
  // The view shows only images, and a page cached as a tile would show as a hole for good.
  shared_->settings.network.CheckTileBodies = true;
  shared_->pacer.emplace(shared_->settings.network.MaxRequestsPerSecond);
  shared_->cache = std::move(cache);
  shared_->done = std::move(done);
  const int count = std::clamp(shared_->settings.connections, 1, kMaxConnections);
  for (int i = 0; i < count; ++i) std::thread(Run, shared_).detach();
}

LiveTileFetcher::~LiveTileFetcher() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->stopping = true;
    shared_->done = nullptr;
    shared_->queue.clear();
  }
  shared_->wake.notify_all();
}

void LiveTileFetcher::Want(const std::vector<TileKey>& tiles) {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->queue.clear();
    for (const TileKey& key : tiles)
      if (!shared_->inFlight.contains(Tuple(key))) shared_->queue.push_back(key);
  }
  shared_->wake.notify_all();
}

std::size_t LiveTileFetcher::Queued() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->queue.size();
}

std::string LiveTileFetcher::AddressOf(const TileKey& key) const {
  return BuildTileUrl(shared_->settings.hosts, kOpenStreetMap, key.x, key.y, key.zoom);
}

void LiveTileFetcher::Run(std::shared_ptr<Shared> shared) {
  TileHttpClient client(shared->settings.network);
  const std::optional<std::string> proxyProblem = ApplyProxy(shared->settings.proxy, client);
  TileFetcher fetcher(client, shared->settings.network, &*shared->pacer, shared->stopping);
  std::string buffer;
  for (;;) {
    TileKey key;
    {
      std::unique_lock lock(shared->mutex);
      shared->wake.wait(lock, [&] { return shared->stopping || !shared->queue.empty(); });
      if (shared->stopping) return;
      key = shared->queue.front();
      shared->queue.pop_front();
      shared->inFlight.insert(Tuple(key));
    }
    Outcome outcome{key, false, {}, {}};
    if (proxyProblem) {
      outcome.error = *proxyProblem;
    } else {
      const TileFetchResult result =
          fetcher.Fetch(BuildTileUrl(shared->settings.hosts, kOpenStreetMap, key.x, key.y, key.zoom), buffer);
      outcome.ok = result.status == TileFetchResult::Status::Fetched;
      if (outcome.ok) outcome.bytes = buffer;
      else outcome.error = result.message;
    }
    if (outcome.ok && shared->cache) shared->cache->Put(key, outcome.bytes);
    // Told under the lock, so that no report runs once the destructor has returned.
    std::lock_guard lock(shared->mutex);
    shared->inFlight.erase(Tuple(key));
    if (shared->stopping) return;
    if (shared->done) shared->done(std::move(outcome));
  }
}

LiveTileFetcher::Settings ReadLiveSettings(const IniFile& config) {
  LiveTileFetcher::Settings settings;
  settings.hosts = ReadTileHosts(config);
  settings.network = ReadNetworkSettings(config);
  // Viewing requests, which tile servers' policies allow, say whose they are.
  settings.network.UserAgent = kLiveUserAgentPrefix + std::string(kProjectVersion) + " (+" + kHomepageAddress + ")";
  settings.proxy = ReadProxyConfig(config);
  return settings;
}

std::string LiveTileCacheFolder(const TileHosts& hosts) {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  return TileCacheFolderFor(UserCacheFolder(xdg ? xdg : "", HomeFolder()), hosts.OpenStreetMap);
}
