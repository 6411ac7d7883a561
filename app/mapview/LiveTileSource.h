#pragma once

#include <QImage>
#include <QTimer>

#include <chrono>
#include <optional>
#include <map>
#include <memory>
#include <tuple>

#include "LiveTileFetcher.h"
#include "LruCache.h"
#include "TileDiskCache.h"
#include "MapLayerSource.h"

// The live server's tiles: from memory, else from the disk cache, else
// fetched in the background. The GUI thread never waits on the network;
// outcomes arrive as queued calls.
//
// A tile that failed is asked for again after a wait that doubles with each
// failure (and at once when the zoom changes), so a view left open while
// the network comes back fills in by itself. While fetching fails the view
// says so; the first tile that arrives takes the notice away.
class LiveTileSource : public MapLayerSource {
  Q_OBJECT
 public:
  static constexpr std::size_t kDecodedCapacity = 256;
  static constexpr int64_t kDiskCacheBytes = int64_t{200} << 20;
  static constexpr std::chrono::milliseconds kFirstRetry{5000};
  static constexpr std::chrono::milliseconds kLongestRetry{120000};

  // The disk cache is in cacheFolder (see TileCacheFolderFor).
  LiveTileSource(LiveTileFetcher::Settings settings, const std::string& cacheFolder,
                 int64_t diskCacheBytes = kDiskCacheBytes, QObject* parent = nullptr);
  ~LiveTileSource() override;

  void Retain(const TileRange& range, int zoom) override;
  QImage Image(int32_t x, int32_t topRow, int zoom) override;
  QString Note() const override { return note_; }

  TileDiskCache& DiskCache() { return *cache_; }
  std::size_t Queued() const { return fetcher_->Queued(); }
  // The first wait before a failed tile is asked for again (tests shorten it).
  void SetFirstRetry(std::chrono::milliseconds wait) { firstRetry_ = wait; }

 private:
  using Clock = std::chrono::steady_clock;
  using Key = std::tuple<int32_t, int32_t, int32_t>;
  struct Failure {
    Clock::time_point retryAt;
    std::chrono::milliseconds wait;
  };
  void Arrived(const LiveTileFetcher::Outcome& outcome);

  std::shared_ptr<TileDiskCache> cache_;
  LruCache<TileKey, QImage, TileKeyHash> decoded_{kDecodedCapacity};
  std::map<Key, Failure> failed_;
  int failedZoom_ = -1;
  std::chrono::milliseconds firstRetry_ = kFirstRetry;
  QTimer retry_;  // repaints the view when the next failed tile in it may be asked again
  QString note_;
  std::unique_ptr<LiveTileFetcher> fetcher_;
};
