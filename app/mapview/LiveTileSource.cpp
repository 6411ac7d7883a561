#include "LiveTileSource.h"

#include <QMetaObject>

#include <algorithm>
#include <cmath>

#include "TileImage.h"

LiveTileSource::LiveTileSource(LiveTileFetcher::Settings settings, const std::string& cacheFolder,
                               int64_t diskCacheBytes, QObject* parent)
    : MapLayerSource(parent), cache_(std::make_shared<TileDiskCache>(cacheFolder, diskCacheBytes)) {
  retry_.setSingleShot(true);
  connect(&retry_, &QTimer::timeout, this, &MapLayerSource::Changed);
  fetcher_ = std::make_unique<LiveTileFetcher>(std::move(settings), cache_,
                                               [this](LiveTileFetcher::Outcome outcome) {
                                                 QMetaObject::invokeMethod(
                                                     this, [this, outcome = std::move(outcome)] { Arrived(outcome); },
                                                     Qt::QueuedConnection);
                                               });
}

LiveTileSource::~LiveTileSource() { fetcher_.reset(); }

void LiveTileSource::Retain(const TileRange& range, int zoom) {
  if (zoom != failedZoom_) {
    failed_.clear();
    failedZoom_ = zoom;
  }
  const Clock::time_point now = Clock::now();
  std::optional<Clock::time_point> nextRetry;
  // The middle of the view first.
  const double midX = (range.minX + range.maxX) / 2.0, midY = (range.minY + range.maxY) / 2.0;
  std::vector<TileKey> wanted;
  for (int32_t y = range.minY; !range.Empty() && y <= range.maxY; ++y)
    for (int32_t x = range.minX; x <= range.maxX; ++x) {
      const TileKey key{x, y, zoom};
      if (decoded_.Find(key) || cache_->Contains(key)) continue;
      if (const auto failure = failed_.find({zoom, x, y}); failure != failed_.end() && failure->second.retryAt > now) {
        nextRetry = std::min(nextRetry.value_or(failure->second.retryAt), failure->second.retryAt);
        continue;
      }
      wanted.push_back(key);
    }
  if (nextRetry && !retry_.isActive())
    retry_.start(std::chrono::ceil<std::chrono::milliseconds>(*nextRetry - now) + std::chrono::milliseconds(1));
  std::stable_sort(wanted.begin(), wanted.end(), [&](const TileKey& a, const TileKey& b) {
    return std::hypot(a.x - midX, a.y - midY) < std::hypot(b.x - midX, b.y - midY);
  });
  fetcher_->Want(wanted);
}

QImage LiveTileSource::Image(int32_t x, int32_t topRow, int zoom) {
  const TileKey key{x, topRow, zoom};
  if (const QImage* image = decoded_.Find(key)) return *image;
  if (std::optional<std::string> bytes = cache_->Get(key)) {
    QImage image = DecodeTileImage(QByteArray::fromStdString(*bytes));
    if (!image.isNull()) {
      decoded_.Put(key, image);
      return image;
    }
  }
  return {};
}

void LiveTileSource::Arrived(const LiveTileFetcher::Outcome& outcome) {
  const TileKey& key = outcome.key;
  QImage image;
  if (outcome.ok) image = DecodeTileImage(QByteArray::fromStdString(outcome.bytes));
  if (image.isNull()) {
    const auto [failure, first] = failed_.try_emplace({key.zoom, key.x, key.y}, Failure{{}, firstRetry_});
    if (!first) failure->second.wait = std::min(failure->second.wait * 2, std::max(kLongestRetry, firstRetry_));
    failure->second.retryAt = Clock::now() + failure->second.wait;
    QString why = outcome.ok ? QStringLiteral("the server's answer is no image")
                             : QString::fromStdString(outcome.error).section(QLatin1Char('\r'), 0, 0);
    note_ = QStringLiteral("Tiles cannot be fetched: ") + why.trimmed();
  } else {
    failed_.erase({key.zoom, key.x, key.y});
    decoded_.Put(key, image);
    note_.clear();
  }
  emit Changed();
}
