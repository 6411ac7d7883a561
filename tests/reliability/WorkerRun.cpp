#include "WorkerRun.h"

#include <algorithm>

#include "CliTask.h"
#include "TileHttpClient.h"

void InitHttpOnce() {
  static std::once_flag once;
  std::call_once(once, [] { TileHttpClient::GlobalInit(); });
}

void WorkerRun::RunToEnd(const DownloadTask& task) {
  InitHttpOnce();
  const int32_t count = std::clamp(task.Parameters.ThreadCount, 0, 8);
  std::vector<std::unique_ptr<TDownThread>> workers;
  {
    std::lock_guard lock(mutex_);
    running_ = count;
  }
  for (int32_t i = 0; i < count; ++i)
    workers.push_back(std::make_unique<TDownThread>(false, &task, i, *this, BlankImagePath()));
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return running_ == 0; });
  lock.unlock();
  workers.clear();  // joins each thread
}

std::vector<std::string> WorkerRun::LogLines() const {
  std::lock_guard lock(mutex_);
  return log_;
}

std::vector<std::string> WorkerRun::FailedLines() const {
  std::lock_guard lock(mutex_);
  return failed_;
}

void WorkerRun::Report(const WorkerReport& report) {
  std::lock_guard lock(mutex_);
  log_.emplace_back(report.line);
  if (report.event == WorkerEvent::Failed) failed_.emplace_back(report.listed);
  if (report.event != WorkerEvent::Ended) return;
  --running_;
  done_.notify_all();
}
