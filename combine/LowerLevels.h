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

// Builds the levels below the tasks' lowest zoom, down to minZoom, each tile
// from its four children (a missing child, or one outside the task's area,
// is no data), encoded as they are: PNG when any of them is PNG, else JPEG
// at kLowerJpegQuality; a palette PNG when asked and every child is one.
// With 512-pixel tiles the tasks' lowest zoom is not written: each tile of
// the level above it is its four children side by side.
//
// The pyramid is cut into blocks: the subtrees under the tiles of a level at
// most four above the tasks' (never below minZoom). Worker threads build
// blocks, each task tile read and decoded once, one tile of pixels per level
// held; the calling thread takes the blocks back in the walk's order, hands
// their tiles on and builds the levels above them. Memory is bounded by the
// blocks in flight, the order of the tiles is that of one depth-first walk
// in Hilbert order, whatever the threads.
//
// A tile of one colour is known as such: four children of the same colour
// make their parent that colour without averaging, and each such tile is
// encoded once.
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

  struct Shared;

 private:
  int64_t CountPlaces(const PyramidTile& node) const;

  CombineJob& job_;
  std::unique_ptr<Shared> shared_;
  int64_t places_ = 0, taskTiles_ = 0;
};
