#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "TileFetch.h"

class DownloadTask;
class FailureWatch;
class FreshWriter;
class RequestPacer;
class TileHttpClient;
class TileStoreWriter;

struct TilePosition {
  int32_t x = 0;
  int32_t y = 0;
  friend bool operator==(const TilePosition&, const TilePosition&) = default;
};

// What a worker's report says happened. The owner counts and colours by it;
// the line is only what the log shows.
enum class WorkerEvent : uint8_t {
  Note,      // a line and nothing more (a proxy setting the worker cannot use)
  Saved,     // the tile is on disk
  Waiting,   // the tile is asked for again, at once or after a wait
  Failed,    // the tile failed; listed is its failed-list entry
  NotFound,  // the advice that follows a 404
  Blank,     // the blank image stands in for the failed tile
  Banned,    // the server refuses this client; the worker ends
  Error,     // an error nobody expected ended the worker's walk
  Ended,     // the worker's last report: it touches nothing after it
};

// One report, valid only during the call that hands it over.
struct WorkerReport {
  WorkerEvent event = WorkerEvent::Note;
  int32_t worker = 0;        // the worker's index
  TilePosition tile;         // the tile it is about, when it is about one
  std::string_view line;     // the log's line
  std::string_view listed;   // Failed: "path|address" for the failed list
};

// Where a worker's reports go. Each call must run its effect serialised with
// everything else its owner does (on the GUI thread, or under the owner's
// lock) and return only when it has run (the worker waits for it). The
// owner must therefore never wait for a worker (WaitFor) while holding that
// serialisation and while that worker may still be reporting.
class TDownThreadSink {
 public:
  virtual ~TDownThreadSink() = default;
  virtual void Report(const WorkerReport& report) = 0;
};

// One download worker: walks the task's whole range and fetches the tiles
// whose sequence number falls to it. The life of a tile in a worker is told
// at the top of TDownThread.cpp.
class TDownThread {
 public:
  // pacer, watch, fresh and store, when given, are shared by all the task's
  // workers and outlive them. With store, tiles go into the task's file.
  TDownThread(bool createSuspended, const DownloadTask* task, int32_t threadIndex,
              TDownThreadSink& sink, std::string blankImagePath, RequestPacer* pacer = nullptr,
              FailureWatch* watch = nullptr, FreshWriter* fresh = nullptr, TileStoreWriter* store = nullptr);
  // Asks the thread to stop and waits for it.
  ~TDownThread();
  TDownThread(const TDownThread&) = delete;
  TDownThread& operator=(const TDownThread&) = delete;

  void Start();      // only for a worker created suspended
  void Terminate();  // the stop request; the tile in hand is finished first
  // The stop request for an owner that is ending: a fetch in flight breaks
  // off, and its tile is neither saved nor recorded (a resume fetches it).
  void Abandon();
  bool Terminated() const { return terminated_.load(); }
  void WaitFor();    // joins the thread

  // The last tile this worker saved, published as one consistent pair.
  TilePosition LastPosition() const;
  int32_t LastX() const { return LastPosition().x; }
  int32_t LastY() const { return LastPosition().y; }
  int32_t ThreadIndex() const { return threadIndex_; }
  // Bytes of the tiles this worker has written; read from any thread.
  uint64_t BytesSaved() const { return bytesSaved_.load(std::memory_order_relaxed); }

 private:
  void Execute();
  void Run();
  void FetchTile(int32_t x, int32_t y, int64_t seq, bool& stopWorker);
  void HandleFailure(FetchOutcome outcome, const std::string& message, int32_t x, int32_t y,
                     const std::string& url, bool& stopWorker);
  void PutBlankImage(const std::string& path);
  bool SaveTile(int32_t x, int32_t y, int64_t seq, const std::string& url);
  void ReportSaved(int32_t x, int32_t y, int64_t seq, uint64_t bytes);
  void ReportUnwritten(int32_t x, int32_t y, const std::string& url, const std::string& problem);
  // The store's settled tiles, reported as the folder's are once written.
  void ReportSettled();
  void Close();

  // Hands msg_ over as the line of a report of this event.
  void Report(WorkerEvent event, TilePosition tile = {}, std::string_view listed = {});
  void BeginLine();  // msg_ = "T" + n
  void AppendTileXY(int32_t x, int32_t y);  // ":" + x + "-" + y
  void SetLast(int32_t x, int32_t y);

  const DownloadTask* task_;
  int32_t threadIndex_;
  TDownThreadSink& sink_;
  std::string blankImagePath_;
  RequestPacer* pacer_;
  FailureWatch* watch_;
  FreshWriter* fresh_;
  TileStoreWriter* store_;
  std::optional<std::string> blankImage_;  // read on first need, then kept

  std::string msg_;     // the line of the next report
  std::string buffer_;  // the body of the tile in hand, reused from tile to tile
  std::unique_ptr<TileHttpClient> http_;
  std::unique_ptr<TileFetcher> fetcher_;

  std::atomic<bool> terminated_{false};
  std::atomic<bool> abandoned_{false};
  std::atomic<uint64_t> last_{0};
  std::atomic<uint64_t> bytesSaved_{0};
  bool started_ = false;
  std::thread thread_;
};
