#pragma once

#include <QImage>

#include <memory>
#include <set>
#include <tuple>

#include "LiveTileFetcher.h"
#include "LruCache.h"
#include "TileDiskCache.h"
#include "TileSource.h"

// The live server's tiles: from memory, else from the disk cache, else
// fetched in the background. The GUI thread never waits on the network;
// outcomes arrive as queued calls. A tile that failed is not asked for again
// until the zoom changes; while fetching fails the view says so.
class LiveTileSource : public TileSource {
  Q_OBJECT
 public:
  static constexpr std::size_t kDecodedCapacity = 256;
  static constexpr int64_t kDiskCacheBytes = int64_t{200} << 20;

  // The disk cache is in cacheFolder (see TileCacheFolderFor).
  LiveTileSource(LiveTileFetcher::Settings settings, const std::string& cacheFolder,
                 int64_t diskCacheBytes = kDiskCacheBytes, QObject* parent = nullptr);
  ~LiveTileSource() override;

  void Retain(const TileRange& range, int zoom) override;
  QImage Image(int32_t x, int32_t topRow, int zoom) override;
  QString Note() const override { return note_; }

  TileDiskCache& DiskCache() { return *cache_; }
  std::size_t Queued() const { return fetcher_->Queued(); }

 private:
  void Arrived(const LiveTileFetcher::Outcome& outcome);
  using Key = std::tuple<int32_t, int32_t, int32_t>;

  std::shared_ptr<TileDiskCache> cache_;
  LruCache<TileKey, QImage, TileKeyHash> decoded_{kDecodedCapacity};
  std::set<Key> failed_;
  int failedZoom_ = -1;
  QString note_;
  std::unique_ptr<LiveTileFetcher> fetcher_;
};
