#include "LiveTileFetcher.h"

#include <algorithm>
#include <tuple>

#include "MapServices.h"
#include "TileHttpClient.h"

namespace {

std::tuple<int32_t, int32_t, int32_t> Tuple(const TileKey& key) { return {key.zoom, key.x, key.y}; }

}  // namespace

LiveTileFetcher::LiveTileFetcher(Settings settings, TileDiskCache* cache, Done done)
    : settings_(std::move(settings)), cache_(cache), done_(std::move(done)) {
  const int count = std::clamp(settings_.connections, 1, kMaxConnections);
  for (int i = 0; i < count; ++i) threads_.emplace_back([this] { Run(); });
}

LiveTileFetcher::~LiveTileFetcher() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    queue_.clear();
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void LiveTileFetcher::Want(const std::vector<TileKey>& tiles) {
  {
    std::lock_guard lock(mutex_);
    queue_.clear();
    for (const TileKey& key : tiles)
      if (!inFlight_.contains(Tuple(key))) queue_.push_back(key);
  }
  wake_.notify_all();
}

std::size_t LiveTileFetcher::Queued() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

std::string LiveTileFetcher::AddressOf(const TileKey& key) const {
  return BuildTileUrl(settings_.hosts, kOpenStreetMap, key.x, key.y, key.zoom);
}

void LiveTileFetcher::Run() {
  TileHttpClient client(settings_.network);
  const std::optional<std::string> proxyProblem = ApplyProxy(settings_.proxy, client);
  std::string buffer;
  for (;;) {
    TileKey key;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      key = queue_.front();
      queue_.pop_front();
      inFlight_.insert(Tuple(key));
    }
    Outcome outcome{key, false, {}, {}};
    if (proxyProblem) {
      outcome.error = *proxyProblem;
    } else {
      buffer.clear();
      try {
        client.Get(AddressOf(key), buffer);
        outcome.ok = true;
        outcome.bytes = buffer;
      } catch (const std::exception& failure) {
        outcome.error = failure.what();
      }
    }
    if (outcome.ok && cache_) cache_->Put(key, outcome.bytes);
    {
      std::lock_guard lock(mutex_);
      inFlight_.erase(Tuple(key));
      if (stopping_) return;
    }
    done_(std::move(outcome));
  }
}
