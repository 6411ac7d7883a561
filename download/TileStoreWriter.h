#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "Commonfunc.h"
#include "TileFreshness.h"
#include "TileStore.h"

// The one writer of a task kept in one file. Workers hand it their tiles
// and go on fetching; a thread of its own commits what has gathered in one
// transaction (WAL) once kBatchTiles wait or kBatchDelay has passed since
// the first of them. Only once a tile's batch is committed is it settled:
// the worker then takes it back (TakeSettled) and only then reports it
// saved and moves its resume position, so a position in the project file
// never names a tile the file does not hold, and a kill loses at most the
// batch in hand, which the resume fetches again. A batch that cannot be
// written (a full disk, a read-only file) settles every tile in it as
// failed, with the reason. Placeholders of failed tiles go the same way but
// settle as nothing: nobody waits for them.
//
// At most kMaxPendingBytes wait in memory; a worker that finds that much
// waits for the next commit, the only time a worker ever waits here.
class TileStoreWriter {
 public:
  static constexpr std::size_t kBatchTiles = 512;
  static constexpr std::chrono::milliseconds kBatchDelay{250};
  static constexpr std::size_t kMaxPendingBytes = std::size_t{8} << 20;

  // A tile as the writer hands it back: committed, or failed with the reason.
  struct Settled {
    int32_t x = 0;  // in the task's own rows
    int32_t y = 0;
    int64_t seq = 0;
    uint64_t bytes = 0;
    std::optional<std::string> problem;  // set: not in the file
  };

  // zoom and origin turn the task's rows into the store's; workers is the
  // task's worker count (the indexes handed in are below it).
  TileStoreWriter(std::unique_ptr<TileStore> store, int32_t zoom, RowOrigin origin, int32_t workers);
  // Commits what is left, then writes the journal back into the file.
  ~TileStoreWriter();
  TileStoreWriter(const TileStoreWriter&) = delete;
  TileStoreWriter& operator=(const TileStoreWriter&) = delete;

  // A fetched tile (bytes copied) with what the server said of its freshness.
  void Put(int32_t worker, int32_t x, int32_t y, int64_t seq, std::string_view bytes,
           const TileFreshness& freshness, int64_t checked);
  void PutPlaceholder(int32_t x, int32_t y);
  // What has settled for this worker since the last call, in the order handed in.
  std::vector<Settled> TakeSettled(int32_t worker);
  // Returns once every tile this worker handed in has settled.
  void WaitSettled(int32_t worker);

 private:
  struct Item {
    int32_t worker = -1;  // -1: a placeholder
    int32_t x = 0;
    int32_t y = 0;
    int64_t seq = 0;
    std::string bytes;
    TileFreshness freshness;
    int64_t checked = 0;
  };
  void Run();
  void Commit(std::vector<Item>& batch);

  std::unique_ptr<TileStore> store_;
  const int32_t zoom_;
  const RowOrigin origin_;
  std::mutex mutex_;  // guards everything below
  std::condition_variable wake_;      // the writer's: something to do
  std::condition_variable settled_;   // the workers': a batch settled
  std::vector<Item> pending_;
  std::size_t pendingBytes_ = 0;
  std::chrono::steady_clock::time_point firstPending_;
  std::vector<std::vector<Settled>> done_;  // per worker
  std::vector<int64_t> inFlight_;           // per worker: handed in, not yet settled
  int32_t waiters_ = 0;  // workers in WaitSettled
  bool stopping_ = false;
  std::thread thread_;
};
