// Eight workers over a server that resets, closes and refuses, while another
// thread reads their positions the way the progress monitor does and, in the
// second case, asks them to stop half-way. Built only under ThreadSanitizer:
// the point is what it reports, not what the workers fetch.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "ScriptedServer.h"
#include "TDownThread.h"
#include "TestFiles.h"
#include "TileHttpClient.h"
#include "Unitclasstask.h"

namespace {

class CountingSink : public TDownThreadSink {
 public:
  void Report(const WorkerReport& report) override {
    std::lock_guard lock(mutex_);
    ++lines_;
    if (report.event == WorkerEvent::Failed) ++failed_;
    if (report.event != WorkerEvent::Ended) return;
    ++done_;
    changed_.notify_all();
  }
  bool WaitDone(int workers, std::chrono::seconds limit) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [&] { return done_ == workers; });
  }
  int Done() {
    std::lock_guard lock(mutex_);
    return done_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int lines_ = 0, failed_ = 0, done_ = 0;
};

ScriptedAction Flaky(const ScriptedRequest& request) {
  const std::string body = BodyFor(request.target);
  switch (std::hash<std::string>{}(request.target + std::to_string(request.index)) % 10) {
    case 0: return Respond::Reset();
    case 1: return Respond::CloseMidBody(body, body.size() / 2);
    case 2: return Respond::Status(404, "Not Found");
    case 3: return Respond::ConnectionClose(body);
    default: return Respond::Ok(body);
  }
}

struct StressTask {
  StressTask() {
    params.LeftLongitude = 8.0;
    params.RightLongitude = 12.0;
    params.TopLatitude = 48.0;
    params.BottomLatitude = 45.0;
    params.Zoom = 11;
    params.ThreadCount = 8;
    params.SavePath = folder.Path();
    params.TaskFileName = "stress.qrnl";
    params.Hosts.OpenStreetMap = "127.0.0.1:" + std::to_string(server.Port());
    params.Network.RepeatLimit = 2;
    task = std::make_unique<DownloadTask>(params);
  }

  ScriptedServer server{Flaky};
  ScratchFolder folder{"tsan"};
  TaskParameters params;
  std::unique_ptr<DownloadTask> task;
};

// Reads every worker's position until all have ended, as the monitor's tick does.
int64_t PollPositions(const std::vector<std::unique_ptr<TDownThread>>& workers, CountingSink& sink) {
  int64_t reads = 0;
  while (sink.Done() < static_cast<int>(workers.size())) {
    for (const auto& worker : workers) {
      const TilePosition position = worker->LastPosition();
      reads += position.x >= 0;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return reads;
}

}  // namespace

TEST(WorkerStress, EightWorkersWhileThePositionsAreRead) {
  TileHttpClient::GlobalInit();
  StressTask stress;
  ASSERT_GE(stress.task->TotalTiles, 400);
  CountingSink sink;
  std::vector<std::unique_ptr<TDownThread>> workers;
  for (int32_t i = 0; i < 8; ++i)
    workers.push_back(std::make_unique<TDownThread>(false, stress.task.get(), i, sink, "/nonexistent/blank.png"));
  EXPECT_GT(PollPositions(workers, sink), 0);
  EXPECT_TRUE(sink.WaitDone(8, std::chrono::seconds(120)));
  workers.clear();
}

TEST(WorkerStress, StopRequestedWhileFetching) {
  TileHttpClient::GlobalInit();
  StressTask stress;
  CountingSink sink;
  std::vector<std::unique_ptr<TDownThread>> workers;
  for (int32_t i = 0; i < 8; ++i)
    workers.push_back(std::make_unique<TDownThread>(false, stress.task.get(), i, sink, "/nonexistent/blank.png"));
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    for (const auto& worker : workers) worker->Terminate();
  });
  PollPositions(workers, sink);
  stopper.join();
  EXPECT_TRUE(sink.WaitDone(8, std::chrono::seconds(120)));
  workers.clear();
}
