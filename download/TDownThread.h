#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

class DownloadTask;

// Where a worker's reports go. Each call must run its effect on the GUI
// thread and return only when it has run (the worker waits for it).
class TDownThreadSink {
 public:
  virtual ~TDownThreadSink() = default;
  virtual void AddLogLine(const std::string& line) = 0;
  virtual void AddFailedLine(const std::string& line) = 0;
  virtual void WorkerDone(int32_t threadIndex) = 0;
};

struct TilePosition {
  int32_t x = 0;
  int32_t y = 0;
};

// One download worker: walks the task's whole range and fetches the tiles
// whose sequence number falls to it. The life of a tile in a worker is told
// at the top of TDownThread.cpp.
class TDownThread {
 public:
  TDownThread(bool createSuspended, const DownloadTask* task, int32_t threadIndex,
              TDownThreadSink& sink, std::string blankImagePath);
  // Asks the thread to stop and waits for it.
  ~TDownThread();
  TDownThread(const TDownThread&) = delete;
  TDownThread& operator=(const TDownThread&) = delete;

  void Start();      // only for a worker created suspended
  void Terminate();  // the stop request; the tile in hand is finished first
  bool Terminated() const { return terminated_.load(); }
  void WaitFor();    // joins the thread

  // The last tile this worker saved, published as one consistent pair.
  TilePosition LastPosition() const;
  int32_t LastX() const { return LastPosition().x; }
  int32_t LastY() const { return LastPosition().y; }
  int32_t ThreadIndex() const { return threadIndex_; }

 private:
  void Execute();

  const DownloadTask* task_;
  int32_t threadIndex_;
  TDownThreadSink& sink_;
  std::string blankImagePath_;
  std::atomic<bool> terminated_{false};
  std::atomic<uint64_t> last_{0};
  std::thread thread_;
};
