#pragma once

// A TileSelection over an explicit set of tiles, worked out tile by tile:
// the plain truth the engine's and the workers' use of a selection is
// checked against (area/ has the real one, checked against the same walk).

#include <algorithm>
#include <set>
#include <utility>

#include "TileSelection.h"
#include "Unitclasstask.h"

class TileSetSelection : public TileSelection {
 public:
  // The tiles (x, y) selected, in a rectangle of rows minY..maxY from column minX on.
  TileSetSelection(std::set<std::pair<int32_t, int32_t>> tiles, int32_t minX, int32_t minY, int32_t maxY)
      : tiles_(std::move(tiles)), minX_(minX), minY_(minY), height_(int64_t{maxY} - minY + 1) {}

  int64_t Count() const override { return static_cast<int64_t>(tiles_.size()); }
  bool Contains(int32_t x, int32_t y) const override { return tiles_.count({x, y}) > 0; }
  std::optional<int64_t> NextWorkerSeq(int64_t workers, int64_t index, int64_t fromSeq) const override {
    std::optional<int64_t> best;
    for (const auto& [x, y] : tiles_) {
      const int64_t seq = Seq(x, y);
      if (seq >= fromSeq && seq % workers == index && (!best || seq < *best)) best = seq;
    }
    return best;
  }
  int64_t WorkerTilesThrough(int64_t workers, int64_t index, int64_t seq) const override {
    return std::count_if(tiles_.begin(), tiles_.end(), [&](const auto& tile) {
      const int64_t s = Seq(tile.first, tile.second);
      return s <= seq && s % workers == index;
    });
  }
  void ForEachRun(const std::function<void(int32_t, int32_t, int32_t)>& visit) const override {
    for (const auto& [x, y] : tiles_) visit(x, y, y);  // the set's order is the walk's
  }

 private:
  int64_t Seq(int32_t x, int32_t y) const { return (int64_t{x} - minX_) * height_ + (y - minY_) + 1; }
  std::set<std::pair<int32_t, int32_t>> tiles_;
  int32_t minX_, minY_;
  int64_t height_;
};

// A TaskArea whose selection is a fixed set of tiles.
class TileSetArea : public TaskArea {
 public:
  TileSetArea(std::set<std::pair<int32_t, int32_t>> tiles, std::string text)
      : tiles_(std::move(tiles)), text_(std::move(text)) {}
  const std::string& FileText() const override { return text_; }
  std::shared_ptr<const TileSelection> TilesInside(int32_t, RowOrigin, const TaskTileRange& range) const override {
    return std::make_shared<TileSetSelection>(tiles_, range.MinX, range.MinY, range.MaxY);
  }

 private:
  std::set<std::pair<int32_t, int32_t>> tiles_;
  std::string text_;
};
