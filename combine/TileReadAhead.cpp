#include "TileReadAhead.h"

#include <algorithm>
#include <utility>

namespace {

// Each side sleeps until there is a batch to take or room for one, so the
// two threads wake each other once per batch instead of once per tile.
constexpr std::size_t kBatch = 16;
// A huge tile's buffer is not kept circulating through the ring.
constexpr std::size_t kKeptCapacity = std::size_t{1} << 20;

}  // namespace

TileReadAhead::TileReadAhead(const std::string& blank, std::function<void(const Visit&)> walk, Prepare prepare,
                             std::size_t depth)
    : TileReadAhead([blank](const std::string& path, TileBytes& tile) { ReadTile(path, blank, tile); },
                    std::move(walk), std::move(prepare), depth) {}

TileReadAhead::TileReadAhead(Read read, std::function<void(const Visit&)> walk, Prepare prepare, std::size_t depth)
    : read_(std::move(read)), prepare_(std::move(prepare)), slots_(std::max(depth, 2 * kBatch)) {
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
    walk([this](const std::string& path, const TileSpot& spot) { Put(path, spot); });
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

void TileReadAhead::Put(const std::string& path, const TileSpot& spot) {
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
  slot.path = path;
  slot.spot = spot;
  read_(path, slot.tile);
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
