#pragma once

#include <QImage>
#include <QTimer>

#include <memory>
#include <set>
#include <tuple>

#include "CoverageGrid.h"
#include "LruCache.h"
#include "TaskFolder.h"
#include "MapLayerSource.h"

// The tiles of one task's folder, drawn with their states: a tint over
// the blank, failed and missing ones, and a frame in each tile's state
// colour, so a saved tile stands out from the live map around it. Tiles
// outside the task's area are not drawn at all. Only tiles in view are
// decoded, a few per paint, and at most `decodedCapacity` decoded images
// are held however far the view pans.
class TaskFolderSource : public MapLayerSource {
  Q_OBJECT
 public:
  static constexpr std::size_t kDefaultDecodedCapacity = 256;
  // Decodes per paint; the rest follow on the next turn of the event loop.
  static constexpr int kDecodesPerPaint = 24;
  static constexpr int kCoverageAlpha = 210;

  TaskFolderSource(TaskScan scan, QByteArray blankImage, std::size_t decodedCapacity = kDefaultDecodedCapacity,
                   QObject* parent = nullptr);

  int TileZoom(int) const override { return states_.Extent().zoom; }
  RowOrigin Origin() const override { return states_.Extent().origin; }
  void Retain(const TileRange& range, int zoom) override;
  QImage Image(int32_t x, int32_t topRow, int zoom) override;
  QColor Overlay(int32_t x, int32_t topRow, int zoom) override;
  QColor Border(int32_t x, int32_t topRow, int zoom) override;
  QImage Coverage(QRectF* covers) override;

  const TaskTileStates& States() const { return states_; }
  const TaskExtent& Extent() const { return states_.Extent(); }
  // A saved tile whose file does not decode (or claims a huge size).
  bool Undecodable(int32_t x, int32_t y) const { return undecodable_.contains({x, y}); }
  // The task's tiles, in its folder or its store; null for a store that could not be opened.
  const TaskTiles* Tiles() const { return tiles_.get(); }
  // After a re-fetch: the tile's new state (row in the service's count).
  void SetState(int32_t x, int32_t y, TileState state);

  std::size_t DecodedCount() const { return decoded_.Size(); }
  std::size_t DecodedCapacity() const { return decoded_.Capacity(); }

  static QColor StateColour(TileState state);
  // A saved tile whose file cannot be shown.
  static QColor UndecodableColour() { return QColor(0x8e, 0x24, 0xaa); }

 private:
  void RebuildCoverageImage();

  QImage DecodeSaved(int32_t x, int32_t y) const;

  TaskTileStates states_;
  std::unique_ptr<TaskTiles> tiles_;
  CoverageGrid coverage_;
  QImage coverageImage_;
  QImage blank_;
  LruCache<TileKey, QImage, TileKeyHash> decoded_;
  std::set<std::pair<int32_t, int32_t>> undecodable_;
  int decodesLeft_ = kDecodesPerPaint;
  bool morePending_ = false;
};
