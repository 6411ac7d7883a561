#include "TileReadAhead.h"

#include <algorithm>
#include <utility>

#include "Files.h"
#include "TaskTiles.h"

namespace {

// Each side sleeps until there is a batch to take or room for one, so the
// two threads wake each other once per batch instead of once per tile.
constexpr std::size_t kBatch = 16;
// A huge tile's buffer is not kept circulating through the ring.
constexpr std::size_t kKeptCapacity = std::size_t{1} << 20;

// A missing tile and a stored placeholder are no data, as a blank file is.
void ReadOrigin(const TileOrigin& origin, const TileReadAhead::Classify& classify, TileBytes& tile) {
  SavedTile kind = SavedTile::Data;
  if (origin.tiles) {
    kind = origin.tiles->Read(origin.x, origin.y, tile.bytes, tile.problem);
  } else {
    bool missing = false;
    tile.problem.clear();
    if (!ReadSmallFile(origin.path, tile.bytes, missing, tile.problem))
      kind = missing ? SavedTile::Missing : SavedTile::Unreadable;
  }
  switch (kind) {
    case SavedTile::Data:
      classify(tile);
      return;
    case SavedTile::Unreadable: tile.kind = TileBytes::Kind::Bad; break;
    case SavedTile::Missing:
    case SavedTile::Placeholder: tile.kind = TileBytes::Kind::NoData; break;
  }
  tile.bytes.clear();
  tile.format = TileFormat::Unknown;
}

}  // namespace

TileReadAhead::TileReadAhead(const std::string& blank, std::function<void(const Visit&)> walk, Prepare prepare,
                             std::size_t depth)
    : TileReadAhead([blank](TileBytes& tile) { ClassifyTileBytes(blank, tile); }, std::move(walk),
                    std::move(prepare), depth) {}

TileReadAhead::TileReadAhead(Classify classify, std::function<void(const Visit&)> walk, Prepare prepare,
                             std::size_t depth)
    : classify_(std::move(classify)), prepare_(std::move(prepare)), slots_(std::max(depth, 2 * kBatch)) {
  reader_ = std::thread([this, walk = std::move(walk)] { Run(walk); });
}

TileReadAhead::~TileReadAhead() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  readerWake_.notify_one();
  reader_.join();
}

void TileReadAhead::Run(const std::function<void(const Visit&)>& walk) {
  std::exception_ptr failure;
  try {
    walk([this](const TileOrigin& origin, const TileSpot& spot) { Put(origin, spot); });
  } catch (const Stopped&) {
  } catch (...) {
    failure = std::current_exception();
  }
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
    failure_ = failure;
  }
  writerWake_.notify_one();
}

void TileReadAhead::Put(const TileOrigin& origin, const TileSpot& spot) {
  {
    std::unique_lock lock(mutex_);
    if (count_ == slots_.size()) {
      readerWaits_ = true;
      readerWake_.wait(lock, [this] { return stop_ || count_ + kBatch <= slots_.size(); });
      readerWaits_ = false;
    }
    if (stop_) throw Stopped{};
  }
  Slot& slot = slots_[tail_];
  slot.path = origin.path;
  slot.spot = spot;
  slot.spot.inFile = !origin.tiles || !origin.tiles->IsStore();
  ReadOrigin(origin, classify_, slot.tile);
  if (prepare_) prepare_(slot.tile);
  tail_ = (tail_ + 1) % slots_.size();
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    ++count_;
    wake = writerWaits_ && count_ >= kBatch;
  }
  if (wake) writerWake_.notify_one();
}

bool TileReadAhead::Next(std::string& path, TileSpot& spot, TileBytes& tile) {
  std::unique_lock lock(mutex_);
  if (count_ == 0 && !finished_) {
    writerWaits_ = true;
    writerWake_.wait(lock, [this] { return finished_ || count_ >= kBatch; });
    writerWaits_ = false;
  }
  if (count_ == 0) {
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
    return false;
  }
  lock.unlock();
  Slot& slot = slots_[head_];
  std::swap(path, slot.path);
  spot = slot.spot;
  std::swap(tile, slot.tile);
  if (slot.tile.bytes.capacity() > kKeptCapacity) std::string().swap(slot.tile.bytes);
  head_ = (head_ + 1) % slots_.size();
  lock.lock();
  --count_;
  const bool wake = readerWaits_ && count_ + kBatch <= slots_.size();
  lock.unlock();
  if (wake) readerWake_.notify_one();
  return true;
}
