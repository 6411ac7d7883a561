#include "TileStoreWriter.h"

#include <algorithm>
#include <exception>

TileStoreWriter::TileStoreWriter(std::unique_ptr<TileStore> store, int32_t zoom, RowOrigin origin, int32_t workers)
    : store_(std::move(store)),
      zoom_(zoom),
      origin_(origin),
      done_(static_cast<std::size_t>(std::max(workers, 1))),
      inFlight_(static_cast<std::size_t>(std::max(workers, 1)), 0) {
  thread_ = std::thread([this] { Run(); });
}

TileStoreWriter::~TileStoreWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
  try {
    store_->Checkpoint();
  } catch (const std::exception&) {
    // The journal stays beside the file; SQLite folds it in at the next opening.
  }
}

void TileStoreWriter::Put(int32_t worker, int32_t x, int32_t y, int64_t seq, std::string_view bytes,
                          const TileFreshness& freshness, int64_t checked) {
  std::unique_lock<std::mutex> lock(mutex_);
  settled_.wait(lock, [&] { return pendingBytes_ < kMaxPendingBytes || stopping_; });
  if (pending_.empty()) firstPending_ = std::chrono::steady_clock::now();
  pending_.push_back({worker, x, y, seq, std::string(bytes), freshness, checked});
  pendingBytes_ += bytes.size();
  ++inFlight_[static_cast<std::size_t>(worker)];
  if (pending_.size() >= kBatchTiles || pendingBytes_ >= kMaxPendingBytes / 2) wake_.notify_one();
}

void TileStoreWriter::PutPlaceholder(int32_t x, int32_t y) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (pending_.empty()) firstPending_ = std::chrono::steady_clock::now();
  pending_.push_back({-1, x, y, 0, {}, {}, 0});
}

std::vector<TileStoreWriter::Settled> TileStoreWriter::TakeSettled(int32_t worker) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<Settled> taken;
  taken.swap(done_[static_cast<std::size_t>(worker)]);
  return taken;
}

void TileStoreWriter::WaitSettled(int32_t worker) {
  std::unique_lock<std::mutex> lock(mutex_);
  ++waiters_;
  wake_.notify_one();  // no need to wait out the batch's delay
  settled_.wait(lock, [&] { return inFlight_[static_cast<std::size_t>(worker)] == 0; });
  --waiters_;
}

void TileStoreWriter::Run() {
  std::vector<Item> batch;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (pending_.empty()) {
      if (stopping_) return;
      wake_.wait(lock);
      continue;
    }
    // A full batch, a worker waiting for its tiles or the end commits at once; else the delay.
    const bool now = stopping_ || waiters_ > 0 || pending_.size() >= kBatchTiles ||
                     pendingBytes_ >= kMaxPendingBytes / 2;
    const auto due = firstPending_ + kBatchDelay;
    if (!now && std::chrono::steady_clock::now() < due) {
      wake_.wait_until(lock, due);
      continue;
    }
    batch.swap(pending_);
    pendingBytes_ = 0;
    lock.unlock();
    Commit(batch);
    lock.lock();
    batch.clear();
    settled_.notify_all();
  }
}

void TileStoreWriter::Commit(std::vector<Item>& batch) {
  std::vector<TileWrite> tiles;
  std::vector<StoredValidators> validators;
  tiles.reserve(batch.size());
  for (const Item& item : batch) {
    const int32_t top = TopCountedRow(origin_, zoom_, item.y);
    tiles.push_back({zoom_, item.x, top, item.bytes, item.worker < 0});
    if (item.worker >= 0 && !item.freshness.Empty())
      validators.push_back({zoom_, item.x, top, item.checked, item.freshness.expires, item.freshness.validators.etag,
                            item.freshness.validators.lastModified});
  }
  std::optional<std::string> problem;
  try {
    store_->WriteBatch(tiles);
  } catch (const std::exception& e) {
    problem = e.what();
  }
  if (!problem) {
    try {
      store_->PutValidators(validators);
    } catch (const std::exception&) {
      // Without its validators a tile is fetched whole at the next refresh: nothing is lost.
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Item& item : batch) {
    if (item.worker < 0) continue;
    const auto worker = static_cast<std::size_t>(item.worker);
    done_[worker].push_back({item.x, item.y, item.seq, item.bytes.size(), problem});
    --inFlight_[worker];
  }
}
