#include "LowerLevels.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <tuple>

#include "TilePixels.h"
#include "Writers.h"

namespace {

// A block's root lies this many levels above the tasks' tiles: 256 task
// tiles a block, enough to outweigh handing it over, few enough to keep
// both cores busy on a small task.
constexpr int32_t kBlockDepth = 4;

// What a tile lends its parent: its pixels at half its side, or one colour.
struct Piece {
  TileFormat format = TileFormat::Unknown;  // Unknown: no data under it
  bool palette = false;                     // every tile under it was a palette PNG
  std::optional<uint32_t> colour;           // every pixel this colour; pixels not filled
  std::vector<uint8_t> pixels;
};

struct BuiltTile {
  PyramidTile place;
  std::string bytes;
  TileFormat format;
};

// What building a part of the pyramid yields for the job, kept until the
// calling thread takes it in order.
struct Yield {
  std::vector<BuiltTile> tiles;
  std::vector<std::pair<std::string, std::string>> bad;  // path, problem
  int64_t steps = 0, noData = 0;
  void Clear() {
    tiles.clear();
    bad.clear();
    steps = noData = 0;
  }
};

TileFormat Merged(TileFormat a, TileFormat b) {
  if (a == TileFormat::Png || b == TileFormat::Png) return TileFormat::Png;
  return a == TileFormat::Unknown ? b : a;
}

struct Stopped {};

}  // namespace

struct LowerLevels::Shared {
  std::vector<const CombineSource*> base;
  int32_t baseZoom = 0, minZoom = 0, rootZoom = 0, side = 256;
  bool palette = false, largeTiles = false;
  std::string blank;
  std::atomic<bool> stop{false};

  bool Meets(const PyramidTile& place) const {
    return std::any_of(base.begin(), base.end(), [&](const CombineSource* source) { return source->Meets(place); });
  }

  std::string Encode(const uint8_t* canvas, TileFormat format, bool fromPalette) const {
    if (format == TileFormat::Jpeg) return EncodeJpeg(canvas, kLowerJpegQuality, side);
    if (palette && fromPalette) return EncodePalettePng(canvas, side);
    return EncodePng(canvas, side, fromPalette ? kMapPngDeflateLevel : kPngDeflateLevel);
  }

  // A tile of one colour, encoded the first time it is asked for.
  std::string OneColour(uint32_t colour, TileFormat format, bool fromPalette) {
    const auto key = std::make_tuple(colour, format, fromPalette);
    {
      std::lock_guard lock(coloursMutex);
      if (const auto found = colours.find(key); found != colours.end()) return found->second;
    }
    std::vector<uint8_t> canvas(std::size_t{4} * side * side);
    FillPixels(colour, canvas.data(), std::size_t{1} * side * side);
    std::string bytes = Encode(canvas.data(), format, fromPalette);
    std::lock_guard lock(coloursMutex);
    return colours.emplace(key, std::move(bytes)).first->second;
  }

  std::mutex coloursMutex;
  std::map<std::tuple<uint32_t, TileFormat, bool>, std::string> colours;
};

namespace {

using Shared = LowerLevels::Shared;

// Walks part of the pyramid depth-first, from a node down to leafZoom, where
// leaf gives the pieces; builds and encodes every place at or below
// minZoom's level on the way up.
class PyramidBuilder {
 public:
  using Leaf = std::function<void(const PyramidTile& place, Piece& piece, Yield& yield)>;
  // Buffers are made on first use: a worker's levels above its blocks take none.
  PyramidBuilder(Shared& shared, int32_t leafZoom, Leaf leaf)
      : shared_(shared),
        leafZoom_(leafZoom),
        leaf_(std::move(leaf)),
        canvases_(static_cast<std::size_t>(leafZoom) + 1),
        pieces_(static_cast<std::size_t>(leafZoom) + 1) {}

  void Descend(const PyramidTile& node, Piece& piece, Yield& yield) {
    piece.format = TileFormat::Unknown;
    piece.palette = false;
    piece.colour.reset();
    if (!shared_.Meets(node)) return;
    if (node.zoom == leafZoom_) return leaf_(node, piece, yield);
    auto& children = pieces_[static_cast<std::size_t>(node.zoom) + 1];
    const auto order = ChildrenInOrder(node);
    for (std::size_t i = 0; i < 4; ++i) Descend(order[i], children[i], yield);
    if (node.zoom < shared_.minZoom) return;
    ++yield.steps;

    TileFormat format = TileFormat::Unknown;
    bool palette = true;
    // The colour of the whole canvas, when every quadrant is the same one (no data being transparent black).
    std::optional<uint32_t> colour;
    bool oneColour = true;
    for (std::size_t i = 0; i < 4; ++i) {
      const Piece& child = children[i];
      const std::optional<uint32_t> quadrant = child.format == TileFormat::Unknown ? 0u : child.colour;
      oneColour = oneColour && quadrant && (i == 0 || quadrant == colour);
      colour = quadrant;
      if (child.format == TileFormat::Unknown) continue;
      format = Merged(format, child.format);
      palette = palette && child.palette;
    }
    if (format == TileFormat::Unknown) return;
    if (!oneColour) colour.reset();

    const int32_t side = shared_.side;
    std::vector<uint8_t>& buffer = canvases_[static_cast<std::size_t>(node.zoom)];
    buffer.resize(std::size_t{4} * side * side);
    uint8_t* canvas = buffer.data();
    if (!colour)
      for (std::size_t i = 0; i < 4; ++i) {
        const Piece& child = children[i];
        const int right = order[i].x & 1, down = order[i].y & 1;
        if (child.format == TileFormat::Unknown)
          ClearQuarter(right, down, canvas, side);
        else if (child.colour)
          FillQuarter(*child.colour, right, down, canvas, side);
        else
          PlaceQuarter(child.pixels.data(), right, down, canvas, side);
      }
    std::string bytes = colour ? shared_.OneColour(*colour, format, palette) : shared_.Encode(canvas, format, palette);
    yield.tiles.push_back({node, std::move(bytes), format});
    if (node.zoom == shared_.minZoom) return;
    piece.format = format;
    piece.palette = palette;
    if (colour) {
      piece.colour = HalvedColour(*colour);
    } else {
      piece.pixels.resize(std::size_t{1} * side * side);
      HalveTile(canvas, piece.pixels.data(), side);
    }
  }

 private:
  Shared& shared_;
  const int32_t leafZoom_;
  const Leaf leaf_;
  std::vector<std::vector<uint8_t>> canvases_;  // one per zoom
  std::vector<std::array<Piece, 4>> pieces_;    // the four children's, one set per zoom
};

// A task tile's piece, on a worker: the last of the files offered at its
// place that has data and decodes, as the tasks' own pass chose. The files
// the tasks' pass reads and reports are only counted here, unless that pass
// does not run (512-pixel tiles).
class TaskTileLeaf {
 public:
  explicit TaskTileLeaf(Shared& shared) : shared_(shared), rgba_(kTileRgbaBytes), decoded_(kTileRgbaBytes) {}

  void operator()(const PyramidTile& place, Piece& piece, Yield& yield) {
    if (shared_.stop) throw Stopped{};
    bool palette = false, found = false, offered = false;
    TileFormat format = TileFormat::Unknown;
    for (const CombineSource* source : shared_.base) {
      if (!source->Holds(place.x, place.y)) continue;
      offered = true;
      const std::string path = source->FileAt(place.x, place.y);
      ReadTile(path, shared_.blank, tile_);
      ++yield.steps;
      if (tile_.kind == TileBytes::Kind::Bad && shared_.largeTiles) yield.bad.emplace_back(path, tile_.problem);
      if (tile_.kind != TileBytes::Kind::Data) continue;
      bool wasPalette = false;
      if (!DecodeTileRgba(tile_.bytes, decoded_.data(), problem_, &wasPalette)) {
        yield.bad.emplace_back(path, problem_ + (shared_.largeTiles ? "" : "; left out of the lower levels"));
        continue;
      }
      std::swap(rgba_, decoded_);
      found = true;
      format = tile_.format;
      palette = wasPalette && format == TileFormat::Png;
    }
    if (!found) {
      if (offered && shared_.largeTiles) ++yield.noData;
      return;
    }
    piece.format = format;
    piece.palette = palette;
    const std::optional<uint32_t> colour = UniformColour(rgba_.data(), kTileRgbaBytes / 4);
    piece.pixels.resize(kTileRgbaBytes / (shared_.largeTiles ? 1 : 4));
    // A 512-pixel tile holds its children as they are; a 256-pixel one, halved.
    if (shared_.largeTiles) {
      if (colour)
        piece.colour = colour;
      else
        std::memcpy(piece.pixels.data(), rgba_.data(), kTileRgbaBytes);
    } else if (colour) {
      piece.colour = HalvedColour(*colour);
    } else {
      HalveTile(rgba_.data(), piece.pixels.data());
    }
  }

 private:
  Shared& shared_;
  TileBytes tile_;
  std::string problem_;
  std::vector<uint8_t> rgba_, decoded_;
};

// The blocks, built by workers a bounded number ahead and taken back in order.
class BlockPool {
 public:
  struct Block {
    Piece piece;
    Yield yield;
    std::exception_ptr failure;
    bool done = false;
  };

  BlockPool(Shared& shared, std::vector<PyramidTile> roots) : shared_(shared), roots_(std::move(roots)) {
    const unsigned workers = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
    slots_.resize(workers + 2);
    for (unsigned i = 0; i < workers; ++i) threads_.emplace_back([this] { Work(); });
  }
  ~BlockPool() {
    {
      std::lock_guard lock(mutex_);
      shared_.stop = true;
    }
    workerWake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }

  // The next block in order, once built; rethrows what building it threw.
  Block& Take(const PyramidTile& root) {
    if (taken_ >= roots_.size() || !(roots_[taken_] == root))
      throw CombineError("The lower levels lost step with their blocks.");
    Block& block = slots_[taken_ % slots_.size()];
    std::unique_lock lock(mutex_);
    takerWake_.wait(lock, [&] { return block.done; });
    if (block.failure) std::rethrow_exception(block.failure);
    return block;
  }
  // The block taken last is used up: its slot takes another.
  void Release() {
    {
      std::lock_guard lock(mutex_);
      slots_[taken_ % slots_.size()].done = false;
      ++taken_;
    }
    workerWake_.notify_all();
  }

 private:
  void Work() {
    Yield ignored;
    PyramidBuilder builder(shared_, shared_.baseZoom, TaskTileLeaf(shared_));
    for (;;) {
      std::size_t index = 0;
      {
        std::unique_lock lock(mutex_);
        workerWake_.wait(lock, [&] {
          return shared_.stop || next_ >= roots_.size() || next_ < taken_ + slots_.size();
        });
        if (shared_.stop || next_ >= roots_.size()) return;
        index = next_++;
      }
      Block& block = slots_[index % slots_.size()];
      block.yield.Clear();
      block.failure = nullptr;
      try {
        builder.Descend(roots_[index], block.piece, block.yield);
      } catch (const Stopped&) {
        return;
      } catch (...) {
        block.failure = std::current_exception();
      }
      {
        std::lock_guard lock(mutex_);
        block.done = true;
      }
      takerWake_.notify_all();
    }
  }

  Shared& shared_;
  const std::vector<PyramidTile> roots_;
  std::vector<Block> slots_;
  std::size_t next_ = 0, taken_ = 0;
  std::mutex mutex_;
  std::condition_variable workerWake_, takerWake_;
  std::vector<std::thread> threads_;
};

void CollectRoots(const Shared& shared, const PyramidTile& node, std::vector<PyramidTile>& roots) {
  if (!shared.Meets(node)) return;
  if (node.zoom == shared.rootZoom) return roots.push_back(node);
  for (const PyramidTile& child : ChildrenInOrder(node)) CollectRoots(shared, child, roots);
}

}  // namespace

LowerLevels::LowerLevels(CombineJob& job, int32_t minZoom) : job_(job), shared_(std::make_unique<Shared>()) {
  Shared& shared = *shared_;
  shared.baseZoom = job.sources.front()->Zoom();
  for (const auto& source : job.sources) shared.baseZoom = std::min(shared.baseZoom, source->Zoom());
  for (const auto& source : job.sources)
    if (source->Zoom() == shared.baseZoom) {
      shared.base.push_back(source.get());
      taskTiles_ += source->TileCount();
    }
  shared.minZoom = minZoom;
  shared.rootZoom = std::max(minZoom, shared.baseZoom - kBlockDepth);
  shared.largeTiles = job.request.tileSize == 2 * kTilePixels;
  shared.side = job.request.tileSize;
  shared.palette = job.request.palette;
  shared.blank = job.blank;
  places_ = minZoom < shared.baseZoom ? CountPlaces(PyramidTile{}) : 0;
}

LowerLevels::~LowerLevels() = default;

int64_t LowerLevels::CountPlaces(const PyramidTile& node) const {
  if (node.zoom >= shared_->baseZoom || !shared_->Meets(node)) return 0;
  int64_t count = node.zoom >= shared_->minZoom ? 1 : 0;
  for (const PyramidTile& child : ChildrenInOrder(node)) count += CountPlaces(child);
  return count;
}

void LowerLevels::Build(const Emit& emit) {
  if (places_ == 0) return;
  Shared& shared = *shared_;
  shared.stop = false;
  std::vector<PyramidTile> roots;
  CollectRoots(shared, PyramidTile{}, roots);
  BlockPool blocks(shared, std::move(roots));
  const auto hand = [&](Yield& yield) {
    for (const auto& [path, problem] : yield.bad) job_.ReportBad(path, problem);
    job_.summary.noDataTiles += yield.noData;
    for (const BuiltTile& tile : yield.tiles) {
      emit(tile.place, tile.bytes, tile.format);
      ++job_.summary.lowerTiles;
    }
    for (int64_t i = 0; i < yield.steps; ++i) job_.Step();
  };
  // The levels above the blocks, on this thread, from the blocks' pieces;
  // what they built so far goes first, so the tiles keep the walk's order.
  PyramidBuilder top(shared, shared.rootZoom, [&](const PyramidTile& place, Piece& piece, Yield& above) {
    hand(above);
    above.Clear();
    BlockPool::Block& block = blocks.Take(place);
    hand(block.yield);
    std::swap(piece, block.piece);
    blocks.Release();
  });
  Yield yield;
  Piece piece;
  top.Descend(PyramidTile{}, piece, yield);
  hand(yield);
}
