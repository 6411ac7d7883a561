#include "LowerLevels.h"

#include <algorithm>
#include <cstring>

#include "TilePixels.h"
#include "TileReadAhead.h"
#include "Writers.h"

namespace {

// Runs on the read-ahead's thread: a data tile becomes its halved pixels;
// one that does not decode keeps no pixels and says why.
TileReadAhead::Prepare HalveOnRead() {
  return [rgba = std::vector<uint8_t>(kTileRgbaBytes)](TileBytes& tile) mutable {
    tile.pixels.clear();
    if (tile.kind != TileBytes::Kind::Data) return;
    if (!DecodeTileRgba(tile.bytes, rgba.data(), tile.problem)) return;
    tile.pixels.resize(kQuarterRgbaBytes);
    HalveTile(rgba.data(), tile.pixels.data());
  };
}

TileFormat Merged(TileFormat a, TileFormat b) {
  if (a == TileFormat::Png || b == TileFormat::Png) return TileFormat::Png;
  return a == TileFormat::Unknown ? b : a;
}

}  // namespace

LowerLevels::LowerLevels(CombineJob& job, int32_t minZoom) : job_(job), minZoom_(minZoom) {
  baseZoom_ = job.sources.front()->Zoom();
  for (const auto& source : job.sources) baseZoom_ = std::min(baseZoom_, source->Zoom());
  for (const auto& source : job.sources)
    if (source->Zoom() == baseZoom_) {
      base_.push_back(source.get());
      taskTiles_ += source->TileCount();
    }
  canvases_.assign(static_cast<std::size_t>(baseZoom_), std::vector<uint8_t>(kTileRgbaBytes));
  quarters_.assign(static_cast<std::size_t>(baseZoom_) + 1, std::vector<uint8_t>(kQuarterRgbaBytes));
  places_ = minZoom_ < baseZoom_ ? CountPlaces(PyramidTile{}) : 0;
}

LowerLevels::~LowerLevels() = default;

bool LowerLevels::Meets(const PyramidTile& place) const {
  return std::any_of(base_.begin(), base_.end(), [&](const CombineSource* source) { return source->Meets(place); });
}

int64_t LowerLevels::CountPlaces(const PyramidTile& node) const {
  if (node.zoom >= baseZoom_ || !Meets(node)) return 0;
  int64_t count = node.zoom >= minZoom_ ? 1 : 0;
  for (const PyramidTile& child : ChildrenInOrder(node)) count += CountPlaces(child);
  return count;
}

void LowerLevels::Build(const Emit& emit) {
  if (places_ == 0) return;
  emit_ = &emit;
  tiles_ = std::make_unique<TileReadAhead>(job_.blank, PlaceWalk(base_), HalveOnRead());
  Descend(PyramidTile{}, quarters_[0].data());
  tiles_.reset();
}

// Fills quarter with the halved tile at node and gives its format, or
// Unknown when nothing under it has data.
TileFormat LowerLevels::Descend(const PyramidTile& node, uint8_t* quarter) {
  if (!Meets(node)) return TileFormat::Unknown;
  if (node.zoom == baseZoom_) return TakeTaskTile(node, quarter);
  const auto zoom = static_cast<std::size_t>(node.zoom);
  uint8_t* canvas = canvases_[zoom].data();
  uint8_t* childQuarter = quarters_[zoom + 1].data();
  TileFormat format = TileFormat::Unknown;
  for (const PyramidTile& child : ChildrenInOrder(node)) {
    const TileFormat childFormat = Descend(child, childQuarter);
    if (node.zoom < minZoom_) continue;
    if (childFormat == TileFormat::Unknown) {
      ClearQuarter(child.x & 1, child.y & 1, canvas);
      continue;
    }
    PlaceQuarter(childQuarter, child.x & 1, child.y & 1, canvas);
    format = Merged(format, childFormat);
  }
  if (node.zoom < minZoom_) return TileFormat::Unknown;
  if (format != TileFormat::Unknown) {
    const std::string bytes = format == TileFormat::Png ? EncodePng(canvas) : EncodeJpeg(canvas, kLowerJpegQuality);
    (*emit_)(node, bytes, format);
    ++job_.summary.lowerTiles;
    if (node.zoom > minZoom_) HalveTile(canvas, quarter);
  }
  job_.Step();
  return format;
}

// The task's tile at place, from the read-ahead: the last of the files
// offered there that has data, as the tasks' own pass chose.
TileFormat LowerLevels::TakeTaskTile(const PyramidTile& place, uint8_t* quarter) {
  if (std::none_of(base_.begin(), base_.end(), [&](const CombineSource* s) { return s->Holds(place.x, place.y); }))
    return TileFormat::Unknown;
  std::string path;
  TileSpot spot;
  TileBytes tile;
  TileFormat format = TileFormat::Unknown;
  for (int32_t taken = 0, offered = 1; taken < offered; ++taken) {
    if (!tiles_->Next(path, spot, tile) || spot.place != place)
      throw CombineError("The lower levels lost step with the task's tiles at " + path + ".");
    offered = spot.candidates;
    job_.Step();
    if (tile.kind != TileBytes::Kind::Data) continue;  // the tasks' pass counted and reported it
    if (tile.pixels.empty()) {
      job_.ReportBad(path, tile.problem + "; left out of the lower levels");
      continue;
    }
    std::memcpy(quarter, tile.pixels.data(), kQuarterRgbaBytes);
    format = tile.format;
  }
  return format;
}
