#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "TileImage.h"
#include "TileOrder.h"

struct CombineJob;
class CombineSource;
class TileReadAhead;

// Builds the levels below the tasks' lowest zoom, down to minZoom, each tile
// from its four children (a missing child, or one outside the task's area,
// is no data), encoded as they are:
// PNG when any of them is PNG, else JPEG at kLowerJpegQuality.
//
// The walk is the tile pyramid depth-first in Hilbert order, so a parent's
// children arrive one after the other: one tile of pixels per level is held,
// whatever the task's size. The tasks' tiles are read (and decoded, halved)
// on the read-ahead's thread while this one composes and encodes.
class LowerLevels {
 public:
  using Emit = std::function<void(const PyramidTile& place, std::string_view bytes, TileFormat format)>;

  // minZoom lies between 0 and the tasks' lowest zoom (Combine checks).
  LowerLevels(CombineJob& job, int32_t minZoom);
  ~LowerLevels();

  // The steps of the job's progress the build takes: every task tile it
  // reads (decoding is most of the work) and every lower place it visits.
  int64_t Steps() const { return places_ > 0 ? places_ + taskTiles_ : 0; }
  // The lower places alone: at most this many tiles are built.
  int64_t Places() const { return places_; }
  // Emits every lower tile that has data; reports the tasks' tiles that do not decode.
  void Build(const Emit& emit);

 private:
  TileFormat Descend(const PyramidTile& node, uint8_t* quarter);
  TileFormat TakeTaskTile(const PyramidTile& place, uint8_t* quarter);
  bool Meets(const PyramidTile& place) const;
  int64_t CountPlaces(const PyramidTile& node) const;

  CombineJob& job_;
  const int32_t minZoom_;
  int32_t baseZoom_ = 0;
  std::vector<const CombineSource*> base_;
  int64_t places_ = 0, taskTiles_ = 0;
  const Emit* emit_ = nullptr;
  std::unique_ptr<TileReadAhead> tiles_;
  std::vector<std::vector<uint8_t>> canvases_, quarters_;  // one of each per zoom
};
