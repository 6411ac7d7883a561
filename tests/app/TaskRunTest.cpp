// A run on its own, over the fake platform: its states, its counts, what
// reaches the files at which tick, and the exit from every state. The
// workers' reports are made on the test's (GUI) thread; a task of no
// threads never requests anything.

#include "TaskRun.h"
#include "WorkerReports.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <filesystem>
#include <mutex>

#include "AppTestSupport.h"
#include "FakePlatform.h"
#include "ScriptedServer.h"
#include "TaskEntries.h"

namespace {

using Lines = std::vector<std::string>;
using State = TaskRun::State;

std::string Rewrite(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

class RecordingObserver : public TaskRunObserver {
 public:
  Lines events;
  Lines log;
  Lines failed;
  RunCounts closedWith;
  void LogLoaded(Lines lines) override { log = std::move(lines); }
  void FailedLoaded(Lines lines) override { failed = std::move(lines); }
  std::vector<LogLineKind> kinds;  // of the lines added since the load
  void LogLineAdded(const std::string& line, LogLineKind kind) override {
    log.push_back(line);
    kinds.push_back(kind);
  }
  void FailedLineAdded(const std::string& line) override { failed.push_back(line); }
  void WorkersEnded() override { events.push_back("workers ended"); }
  void TimerOff() override { events.push_back("timer off"); }
  void Closed(const RunCounts& counts, const std::string& firstError) override {
    closedWith = counts;
    events.push_back("closed" + (firstError.empty() ? "" : ": " + firstError));
  }
};

// Holds every request until the test opens it, so a worker stays in its
// first fetch while the test drives the run.
class HeldServer {
 public:
  ~HeldServer() { Open(); }
  void Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  void Hold() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = false;
  }
  int Port() const { return server_.Port(); }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = false;
  ScriptedServer server_{[this](const ScriptedRequest& request) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return open_; });
    return ServeBodyFor(request);
  }};
};

class TaskRunTest : public ::testing::Test {
 protected:
  HeldServer server_;
  ScratchFolder folder_;
  FakePlatform platform_{folder_.Path()};
  RecordingObserver observer_;
  std::unique_ptr<TaskRun> run_;

  void SetUp() override {
    WriteFile(folder_ / "config.ini", "[Hosts]\r\nOpenStreetMap=127.0.0.1:" + std::to_string(server_.Port()) + "\r\n");
  }
  void TearDown() override {
    if (!run_) return;
    server_.Open();
    EXPECT_TRUE(platform_.PumpUntil([&] { return run_->RunningWorkers() == 0; }));
    if (run_->Active()) Ticks(1);
  }

  // Two tiles at zoom 4; the one worker waits in its first fetch.
  std::unique_ptr<TaskRun> NewRun(const std::string& threads, TaskRunOptions options = {}) {
    TaskEntries entries;
    entries.left = "10", entries.right = "20", entries.top = "50", entries.bottom = "40";
    entries.zoom = 4;
    entries.threads = threads;
    entries.savePath = folder_ / "maps";
    entries.taskName = "job.qrnl";
    std::optional<TaskParameters> parameters = ParametersForStart(platform_, folder_ / "config.ini", entries);
    EXPECT_TRUE(parameters.has_value());
    return std::make_unique<TaskRun>(platform_, std::move(*parameters), observer_, options);
  }

  void StartRun(const std::string& threads) {
    if (run_) TearDown();
    server_.Hold();
    run_ = NewRun(threads);
    run_->Prepare(platform_.now, folder_ / "config.ini");
    run_->StartWorkers(folder_ / "blank.png");
  }

  // Lets the worker finish and closes the run.
  void EndRun() {
    server_.Open();
    ASSERT_TRUE(platform_.PumpUntil([&] { return run_->RunningWorkers() == 0; }));
    Ticks(1);
    ASSERT_EQ(run_->CurrentState(), State::Idle);
  }

  std::string Log() const { return ReadFile(run_->Task().LogPath); }
  std::string List() const { return ReadFile(run_->Task().FailedListPath); }
  void Ticks(int count) {
    for (int i = 0; i < count; ++i) run_->Tick();
  }
};

// The counts and the view's colours come from what each report says
// happened; a line that only looks like a saved tile counts for nothing.
TEST_F(TaskRunTest, CountsAndPaintsTheReportsByTheirEvents) {
  StartRun("1");
  const std::string listed = "/m/job/os_8_6_4.png|http://127.0.0.1:1/4/8/6.png";
  const std::vector<std::pair<WorkerReport, LogLineKind>> reports = {
      {{WorkerEvent::Saved, 0, {8, 5}, "T1:seq=1, os_8_5_4.png ->ok!", {}}, LogLineKind::Saved},
      {{WorkerEvent::Saved, 0, {8, 6}, "T1:seq=2, os_8_6_4.png ->ok!", {}}, LogLineKind::Saved},
      {{WorkerEvent::Waiting, 0, {8, 6}, "T1:8-6:Connection Closed Gracefully.", {}}, LogLineKind::Notice},
      {{WorkerEvent::Failed, 0, {8, 6}, "T1 404 Not Found->u", listed}, LogLineKind::Failure},
      {{WorkerEvent::NotFound, 0, {}, kNotFoundText, {}}, LogLineKind::Failure},
      {{WorkerEvent::Blank, 0, {8, 6}, "T1:8-6 got a blank image!", {}}, LogLineKind::Failure},
      {{WorkerEvent::Banned, 0, {}, kBanText, {}}, LogLineKind::Failure},
      {{WorkerEvent::Note, 0, {}, "T1:seq=3, os_8_7_4.png ->ok!", {}}, LogLineKind::Plain},
  };
  observer_.kinds.clear();
  for (const auto& [report, kind] : reports) run_->Report(report);
  std::vector<LogLineKind> kinds;
  for (const auto& [report, kind] : reports) kinds.push_back(kind);
  EXPECT_EQ(observer_.kinds, kinds);
  const RunCounts counts = run_->Counts();
  EXPECT_EQ(counts.saved, 2);
  EXPECT_EQ(counts.failed, 1);
  EXPECT_EQ(counts.blank, 1);
  EXPECT_EQ(counts.workersBanned, 1);
  EXPECT_EQ(counts.failedListPath, run_->Task().FailedListPath);
  EXPECT_EQ(observer_.failed, Lines{"/m/job/os_8_6_4.png|http://127.0.0.1:1/4/8/6.png"});
}

TEST_F(TaskRunTest, GoesFromIdleThroughRunningAndClosingBackToIdle) {
  run_ = NewRun("1");
  EXPECT_EQ(run_->CurrentState(), State::Idle);
  run_->Prepare(platform_.now, folder_ / "config.ini");
  EXPECT_EQ(run_->CurrentState(), State::Idle) << "files written, nothing started";
  run_->Tick();
  EXPECT_EQ(run_->Ticks(), 0) << "an idle run does not count ticks";
  run_->StartWorkers(folder_ / "blank.png");
  EXPECT_EQ(run_->CurrentState(), State::Running);
  EXPECT_EQ(run_->RunningWorkers(), 1);
  run_->Stop();
  EXPECT_EQ(run_->CurrentState(), State::Closing);
  EXPECT_EQ(observer_.log.back(), "Thread1will be terminated by user. please wait...");
  run_->Tick();
  EXPECT_EQ(run_->CurrentState(), State::Closing) << "the worker has not ended yet";
  EndRun();
  EXPECT_EQ(observer_.events, (Lines{"workers ended", "timer off", "closed"}));
  EXPECT_LE(observer_.closedWith.saved, 1) << "at most the tile in hand is finished";
  run_->Tick();
  EXPECT_EQ(observer_.events.size(), 3u) << "a tick after the close does nothing";
}

TEST_F(TaskRunTest, SavesAtEveryFourthTickAndTheCloseAppendsTheRest) {
  StartRun("1");
  const std::string header = Log();
  EXPECT_EQ(Rewrite(observer_.log), header) << "the view holds the file's lines";
  ReportSaved(*run_, 8, 5, "T1:seq=7, os_8_5_4.png ->ok!");
  ReportFailed(*run_, "a|b");
  Ticks(3);
  EXPECT_EQ(Log(), header);
  EXPECT_EQ(List(), "");
  run_->Tick();
  EXPECT_EQ(Log(), Rewrite(observer_.log));
  EXPECT_EQ(List(), "a|b\r\n");
  EXPECT_EQ(run_->UnsavedBytes(), 0u);
  EndRun();
  EXPECT_EQ(Log(), Rewrite(observer_.log));
  EXPECT_EQ(observer_.log.back(), "Log file has been saved as " + run_->Task().LogPath);
  EXPECT_GT(observer_.closedWith.bytes, 0u);
}

TEST_F(TaskRunTest, AResumedTaskContinuesItsFilesByteForByte) {
  StartRun("1");
  ReportFailed(*run_, "first|failure");
  EndRun();
  const std::string firstRun = Log();

  platform_.now = "2024-05-07 01:02:03";
  StartRun("1");
  ASSERT_TRUE(run_->Parameters().Resume);
  EXPECT_EQ(observer_.failed, Lines{"first|failure"});
  ReportFailed(*run_, "second|failure");
  EndRun();
  EXPECT_EQ(Log(), Rewrite(observer_.log));
  EXPECT_EQ(Log().rfind(firstRun + std::string(44, '-') + "\r\nLog continue...v=5.7\r\nNow time is:" + platform_.now,
                        0),
            0u);
  EXPECT_EQ(List(), "first|failure\r\nsecond|failure\r\n");
}

TEST_F(TaskRunTest, ASaveAfterTheFilesWereDeletedWritesThemWhole) {
  StartRun("1");
  ReportSaved(*run_, 8, 5, "T1:seq=9, os_8_5_4.png ->ok!");
  ReportFailed(*run_, "a|b");
  Ticks(4);
  std::filesystem::remove(run_->Task().LogPath);
  std::filesystem::remove(run_->Task().FailedListPath);
  ReportSaved(*run_, 8, 6, "T1:seq=10, os_8_6_4.png ->ok!");
  Ticks(4);
  EXPECT_EQ(Log(), Rewrite(observer_.log));
  EXPECT_EQ(List(), "a|b\r\n");
  EXPECT_TRUE(platform_.errors.empty());
}

// Exit saves only a run whose workers may still report, and only once.
TEST_F(TaskRunTest, ExitSavesFromRunningAndClosingOnly) {
  run_ = NewRun("1");
  run_->SaveForExit();
  EXPECT_EQ(run_->CurrentState(), State::Idle) << "nothing started, nothing to save";
  run_.reset();

  for (const bool stopFirst : {false, true}) {
    StartRun("1");
    observer_.events.clear();
    if (stopFirst) run_->Stop();
    ReportSaved(*run_, 8, 5, "T1:seq=3, os_8_5_4.png ->ok!");
    ReportFailed(*run_, "listed|before exit");
    run_->SaveForExit();
    EXPECT_EQ(run_->CurrentState(), State::Exiting);
    EXPECT_EQ(observer_.events, Lines{"timer off"});
    EXPECT_EQ(Log(), Rewrite(observer_.log)) << stopFirst;
    EXPECT_TRUE(List().ends_with("listed|before exit\r\n")) << stopFirst;

    ReportSaved(*run_, 8, 6, "T1:seq=4, os_8_6_4.png ->ok!");  // a worker still reports
    const std::string saved = Log();
    run_->SaveForExit();
    Ticks(8);
    EXPECT_EQ(Log(), saved) << "an exiting run is never saved or closed again";
    EXPECT_EQ(observer_.events, Lines{"timer off"});
    server_.Open();
    ASSERT_TRUE(platform_.PumpUntil([&] { return run_->RunningWorkers() == 0; }));
  }

  run_ = NewRun("1", {.startWorkers = false});
  run_->Prepare(platform_.now, folder_ / "config.ini");
  run_->StartWorkers(folder_ / "blank.png");
  Ticks(1);
  const std::string closed = Log();
  run_->SaveForExit();
  EXPECT_EQ(run_->CurrentState(), State::Idle) << "a closed run has nothing left to save";
  EXPECT_EQ(Log(), closed);
}

// Ending breaks off the fetch in hand and waits for the worker while it
// serves the worker's reports: the tile is left for a resume. A set-up
// ended the same way tells its front end nothing.
TEST_F(TaskRunTest, EndBreaksOffTheFetchInHandAndWaitsForTheWorker) {
  StartRun("1");  // the server holds the worker's first fetch
  run_->SaveForExit();
  run_->End();
  EXPECT_EQ(run_->RunningWorkers(), 0);
  EXPECT_EQ(observer_.log.back(), "T1 Finished.");
  EXPECT_EQ(run_->Counts().failed, 0);
  EXPECT_TRUE(observer_.failed.empty());

  run_ = NewRun("1");
  bool told = false;
  run_->PrepareInBackground(platform_.now, folder_ / "config.ini", [&](const std::optional<std::string>&) {
    told = true;
  });
  run_->End();
  EXPECT_FALSE(told);
}

// A resumed task fetches its listed tiles again: each one saved leaves the
// list at the next save, and the view is loaded anew.
TEST_F(TaskRunTest, ATileSavedAgainLeavesTheFailedList) {
  const auto start = [&] {
    run_ = NewRun("1", {.startWorkers = false});
    run_->Prepare(platform_.now, folder_ / "config.ini");
    run_->StartWorkers(folder_ / "blank.png");
  };
  start();
  const std::string tiles = run_->Task().TileFolder;
  for (const std::string& line : {tiles + "os_8_5_4.png|u1", tiles + "os_8_6_4.png|u2", tiles + "os_8_5_4.png|u1"})
    ReportFailed(*run_, line);
  Ticks(1);
  start();
  ASSERT_TRUE(run_->Parameters().Resume);
  EXPECT_EQ(run_->Counts().listed, 2);
  ReportSaved(*run_, 8, 5, "T1:seq=1, os_8_5_4.png ->ok!");
  ReportFailed(*run_, "new|failure");
  Ticks(4);
  const Lines left = {tiles + "os_8_6_4.png|u2", "new|failure"};
  EXPECT_EQ(List(), Rewrite(left));
  EXPECT_EQ(observer_.failed, left);
  Ticks(1);
  EXPECT_EQ(observer_.closedWith.listed, 2);
}

// A second run of a task that a run holds is refused, naming the holder,
// until the first one closes.
TEST_F(TaskRunTest, ATaskRunsOnceAtATime) {
  run_ = NewRun("1", {.startWorkers = false});
  EXPECT_EQ(CreateTaskRun(platform_, run_->Parameters(), observer_), nullptr);
  EXPECT_EQ(platform_.messages, Lines{"The task job.qrnl is being downloaded or refreshed by " +
                                      std::string(program_invocation_short_name) + " (process " +
                                      std::to_string(::getpid()) + "): start it again once that has ended."});
  run_->Prepare(platform_.now, folder_ / "config.ini");
  run_->StartWorkers(folder_ / "blank.png");
  Ticks(1);
  EXPECT_NE(CreateTaskRun(platform_, run_->Parameters(), observer_), nullptr);
}

// A close that cannot write the log or the list says which was not saved.
TEST_F(TaskRunTest, ACloseSaysWhatItCouldNotSave) {
  for (const bool logBroken : {true, false}) {
    run_ = NewRun("1", {.startWorkers = false});
    run_->Prepare(platform_.now, folder_ / "config.ini");
    run_->StartWorkers(folder_ / "blank.png");
    ReportFailed(*run_, "a|b");
    const std::string log = run_->Task().LogPath;
    const std::string broken = logBroken ? log : run_->Task().FailedListPath;
    std::filesystem::remove(broken);
    std::filesystem::create_directory(broken);  // no file can take its place
    Ticks(1);
    EXPECT_EQ(observer_.log.back(),
              logBroken ? "Log file could not be saved as " + log + "." : "Log file has been saved as " + log);
    EXPECT_EQ(observer_.closedWith.listSaved, logBroken);
    EXPECT_EQ(observer_.events.back().rfind("closed: ", 0), 0u) << observer_.events.back();
    std::filesystem::remove(broken);
    WriteFile(broken, "");
  }
}

}  // namespace
