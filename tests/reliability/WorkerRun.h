#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "TDownThread.h"
#include "Unitclasstask.h"

// Runs a task's workers in this process, as the main window would, and
// collects their reports. The reports run under a lock on the worker's own
// thread: the sink's contract is only that each call has had its effect
// when it returns.
class WorkerRun : public TDownThreadSink {
 public:
  // Starts ThreadCount workers on the task and waits until every one has
  // reported its end.
  void RunToEnd(const DownloadTask& task);

  std::vector<std::string> LogLines() const;
  std::vector<std::string> FailedLines() const;

  void Report(const WorkerReport& report) override;

 private:
  mutable std::mutex mutex_;
  std::condition_variable done_;
  int running_ = 0;
  std::vector<std::string> log_;
  std::vector<std::string> failed_;
};

// The libcurl global set-up, once per process, before any worker starts.
void InitHttpOnce();
