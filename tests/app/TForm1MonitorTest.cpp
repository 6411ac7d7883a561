// The main window with real workers against a scripted tile server on
// 127.0.0.1: thread lowering, Stop, the progress saves and their order, the
// close and the save at exit.

#include <gtest/gtest.h>

#include "TextFormat.h"

#include <condition_variable>
#include <mutex>

#include "IniFile.h"
#include "MainWindowFixture.h"
#include "ProgressLine.h"
#include "ScriptedServer.h"

namespace {

using Lines = std::vector<std::string>;

// Serves tiles, but only as many as the test allows until it opens the gate.
class GatedTileServer {
 public:
  explicit GatedTileServer(bool gated) : open_(!gated) {}
  ~GatedTileServer() { Open(); }

  void Allow(int requests) {
    std::lock_guard<std::mutex> lock(mutex_);
    allowed_ += requests;
    changed_.notify_all();
  }
  void Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }
  void AnswerNotFound() { notFound_ = true; }
  std::string Host() const { return "127.0.0.1:" + std::to_string(server_.Port()); }
  std::size_t Requests() const { return server_.RequestCount(); }

 private:
  ScriptedAction Answer(const ScriptedRequest& request) {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [&] { return open_ || served_ < allowed_; });
    ++served_;
    return notFound_ ? Respond::Status(404, "Not Found") : ServeBodyFor(request);
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_;
  int allowed_ = 0;
  int served_ = 0;
  std::atomic<bool> notFound_{false};
  ScriptedServer server_{[this](const ScriptedRequest& request) { return Answer(request); }};
};

class MonitorTest : public MainWindowTest {
 protected:
  explicit MonitorTest(bool gated = false) : server_(gated) {}

  std::string ConfigText() override { return "[Hosts]\r\nOpenStreetMap=" + server_.Host() + "\r\n"; }
  TaskRunOptions RunOptions() override { return {}; }

  void TearDown() override {
    server_.Open();
    EXPECT_TRUE(platform_.PumpUntil([&] { return form_->RunningWorkers() == 0; }));
    if (form_->TaskRunning() && form_->Timer1Enabled()) TickUntilClosed();
  }

  // About 8 columns by 8 rows at zoom 8.
  void EnterBigTask(const std::string& threads) {
    EnterTask(threads);
    typed_.zoom = 8;
  }

  bool PumpUntilWorkersEnded() {
    return platform_.PumpUntil([&] { return form_->RunningWorkers() == 0; });
  }

  int CountLinesEndingWith(const std::string& end) const {
    int count = 0;
    for (const std::string& line : form_->Memo1()) count += line.ends_with(end);
    return count;
  }

  std::string ProjectKey(const std::string& key) const {
    return IniFile(SavePath() + "job.qrnl").ReadString("THREADS", key, "<missing>");
  }

  GatedTileServer server_;
};

class GatedMonitorTest : public MonitorTest {
 protected:
  GatedMonitorTest() : MonitorTest(true) {}
};

TEST_F(MonitorTest, ThreadsAreLoweredToTheTileCount) {
  EnterTask("8");
  Click();
  ASSERT_TRUE(platform_.messages.empty());
  EXPECT_EQ(form_->Parameters()->ThreadCount, 2);
  EXPECT_EQ(form_->RunningWorkers(), 2);
  EXPECT_NE(ReadFile(SavePath() + "job.qrnl").find("ThreadCount=2\r\n"), std::string::npos);
  ASSERT_TRUE(PumpUntilWorkersEnded());
  EXPECT_EQ(form_->TilesOkThisRun(), 2);
  EXPECT_EQ(form_->TilesFailedThisRun(), 0);
  EXPECT_EQ(CountLinesEndingWith(" Finished."), 2);
  EXPECT_EQ(TickUntilClosed(), 1);
  const DownloadTask& task = *form_->Task();
  EXPECT_TRUE(Exists(task.TileFilePath(8, 5)));
  EXPECT_TRUE(Exists(task.TileFilePath(8, 6)));
}

TEST_F(MonitorTest, NeverMoreThanEightWorkers) {
  EnterBigTask("12");
  Click();
  ASSERT_TRUE(platform_.messages.empty());
  ASSERT_GT(form_->TotalTiles(), 8);
  EXPECT_EQ(form_->Parameters()->ThreadCount, 8);
  EXPECT_EQ(form_->RunningWorkers(), 8);
  EXPECT_NE(ReadFile(SavePath() + "job.qrnl").find("ThreadCount=8\r\n"), std::string::npos);
  ASSERT_TRUE(PumpUntilWorkersEnded());
  EXPECT_EQ(CountLinesEndingWith(" Finished."), 8);
  EXPECT_EQ(form_->TilesOkThisRun(), form_->TotalTiles());
  EXPECT_EQ(TickUntilClosed(), 1);
  EXPECT_EQ(form_->Face().BitBtn1Caption, "Start");
}

TEST_F(GatedMonitorTest, SavesAtTicksFourAndEightPositionsLast) {
  server_.Allow(3);
  EnterBigTask("1");
  Click();
  ASSERT_TRUE(platform_.messages.empty());
  const DownloadTask& task = *form_->Task();
  const std::string headerOnly = ReadFile(task.LogPath);

  // The worker asks for a fourth tile only after it recorded the third.
  ASSERT_TRUE(platform_.PumpUntil([&] { return server_.Requests() >= 4; }));
  for (int tick = 1; tick <= 3; ++tick) form_->Timer1Timer();
  EXPECT_EQ(ReadFile(task.LogPath), headerOnly) << "nothing is saved before the fourth tick";
  EXPECT_EQ(ProjectKey("T1X"), "");

  form_->Timer1Timer();
  EXPECT_EQ(form_->TickCount(), 4);
  EXPECT_EQ(ProjectKey("T1X"), std::to_string(task.MinX));
  EXPECT_EQ(ProjectKey("T1Y"), std::to_string(task.MinY + 2));
  EXPECT_EQ(ProjectKey("T2X"), "");
  EXPECT_TRUE(Exists(task.TileFilePath(task.MinX, task.MinY + 2)));
  EXPECT_NE(ReadFile(task.LogPath).find("T1:seq=3, "), std::string::npos);
  EXPECT_EQ(ReadFile(task.FailedListPath), "");
  EXPECT_TRUE(form_->TaskRunning());

  server_.Allow(2);
  ASSERT_TRUE(platform_.PumpUntil([&] { return server_.Requests() >= 6; }));
  const std::string savedAtFour = ReadFile(task.LogPath);
  for (int tick = 5; tick <= 7; ++tick) form_->Timer1Timer();
  EXPECT_EQ(ReadFile(task.LogPath), savedAtFour);
  form_->Timer1Timer();
  EXPECT_EQ(ProjectKey("T1Y"), std::to_string(task.MinY + 4));
  EXPECT_NE(ReadFile(task.LogPath).find("T1:seq=5, "), std::string::npos);
  EXPECT_TRUE(platform_.errors.empty());
}

TEST_F(GatedMonitorTest, ProgressFollowsTheCountsEveryTickAndTheSummaryStays) {
  server_.Allow(3);
  EnterBigTask("1");
  Click();
  const int32_t total = form_->TotalTiles();
  EXPECT_EQ(form_->Face().progress.ProgressBar1Max, total);
  EXPECT_EQ(form_->Face().progress.LabelProgress, "0 of " + std::to_string(total) + " tiles, 0 failed");
  ASSERT_TRUE(platform_.PumpUntil([&] { return server_.Requests() >= 4; }));
  form_->Timer1Timer();
  EXPECT_EQ(form_->Face().progress.ProgressBar1Position, 3);
  EXPECT_EQ(form_->Face().progress.LabelProgress, FormatProgress(3, total, 0, 1.0));
  form_->Timer1Timer();
  EXPECT_EQ(form_->Face().progress.LabelProgress, FormatProgress(3, total, 0, 2.0)) << "the rate is per second of the run";

  Click();
  server_.Open();
  ASSERT_TRUE(PumpUntilWorkersEnded());
  TickUntilClosed();
  ASSERT_EQ(view_.summaries.size(), 1u);
  EXPECT_EQ(form_->Face().progress.LabelProgress, view_.summaries[0]);
  typed_.left = "11";
  form_->EntriesChanged(entries_);
  EXPECT_EQ(form_->Face().progress.LabelProgress, view_.summaries[0]) << "the summary stays until the next Start";
  EXPECT_EQ(form_->Face().LabelEstimate, EstimateText(form_->StartEntries()));
  EXPECT_FALSE(form_->Face().LabelEstimate.empty());
}

TEST_F(GatedMonitorTest, AListThatCannotBeSavedHoldsThePositionsBack) {
  server_.Allow(3);
  EnterBigTask("1");
  Click();
  const DownloadTask& task = *form_->Task();
  ASSERT_TRUE(platform_.PumpUntil([&] { return server_.Requests() >= 4; }));

  apptest::BlockWithFolder(task.FailedListPath);
  for (int tick = 1; tick <= 4; ++tick) form_->Timer1Timer();
  EXPECT_EQ(platform_.errors.size(), 1u);
  EXPECT_NE(ReadFile(task.LogPath).find("T1:seq=3, "), std::string::npos) << "the log goes first";
  EXPECT_EQ(ProjectKey("T1X"), "") << "no position may pass a list that is not on disk";
  EXPECT_TRUE(form_->Timer1Enabled());

  std::filesystem::remove(task.FailedListPath);
  for (int tick = 5; tick <= 8; ++tick) form_->Timer1Timer();
  EXPECT_EQ(platform_.errors.size(), 1u);
  EXPECT_EQ(ProjectKey("T1X"), std::to_string(task.MinX));
}

TEST_F(GatedMonitorTest, StopAsksEveryWorkerAndTheCloseFollows) {
  EnterBigTask("2");
  Click();
  ASSERT_TRUE(platform_.messages.empty());
  Click();
  Click();
  const Lines stopLines = {"Thread1will be terminated by user. please wait...",
                           "Thread2will be terminated by user. please wait..."};
  const Lines memo = form_->Memo1().ToVector();
  EXPECT_EQ(Lines(memo.end() - 4, memo.end()),
            (Lines{stopLines[0], stopLines[1], stopLines[0], stopLines[1]}));
  EXPECT_EQ(form_->Face().BitBtn1Caption, "Stop");

  server_.Open();
  ASSERT_TRUE(PumpUntilWorkersEnded());
  // Each worker finished only the tile it had in hand.
  EXPECT_LE(form_->TilesOkThisRun(), 2);
  EXPECT_EQ(CountLinesEndingWith(" Finished."), 2);
  EXPECT_EQ(TickUntilClosed(), 1);
  EXPECT_EQ(platform_.messages, Lines{"Task stoped!" + std::string(20, ' ')});
  EXPECT_EQ(form_->Memo1()[form_->Memo1().Count() - 5], "Task Stoped!");
}

// A Start clicked between two dialogs was lost: the reason and the closing text come as one.
TEST_F(MonitorTest, AnAutomaticStopClosesWithOneMessageThatExplainsIt) {
  server_.AnswerNotFound();
  EnterTask("2");
  typed_.zoom = 9;
  Click();
  ASSERT_TRUE(PumpUntilWorkersEnded());
  ASSERT_GT(TickUntilClosed(), 0);
  ASSERT_EQ(platform_.messages.size(), 1u);
  EXPECT_TRUE(platform_.messages[0].starts_with("The task was stopped: the first 100 tiles all failed"))
      << platform_.messages[0];
  EXPECT_TRUE(platform_.messages[0].ends_with("Start again to resume.\n\nTask stoped!" + std::string(20, ' ')));
}

TEST_F(MonitorTest, FailedTilesAreListedAndKeptWhenResuming) {
  server_.AnswerNotFound();
  EnterTask("1");
  Click();
  ASSERT_TRUE(PumpUntilWorkersEnded());
  EXPECT_EQ(form_->TilesFailedThisRun(), 2);
  EXPECT_EQ(form_->TilesOkThisRun(), 0);
  TickUntilClosed();
  const Lines listed = SplitTextLines(ReadFile(SavePath() + "job_failed.ftl"));
  ASSERT_EQ(listed.size(), 2u);
  EXPECT_EQ(listed, form_->Memo2().ToVector());
  EXPECT_EQ(listed[0].rfind(SavePath() + "job/", 0), 0u);
  EXPECT_NE(listed[0].find("|http://" + server_.Host() + "/"), std::string::npos);

  Click();
  ASSERT_TRUE(form_->Parameters()->Resume);
  EXPECT_EQ(Lines(form_->Memo2().begin(), form_->Memo2().begin() + 2), listed);
  ASSERT_TRUE(PumpUntilWorkersEnded());
  TickUntilClosed();
  EXPECT_EQ(SplitTextLines(ReadFile(SavePath() + "job_failed.ftl")).size(), 4u);
}

TEST_F(GatedMonitorTest, ExitSavesProgressWithoutWaitingForWorkers) {
  server_.Allow(3);
  EnterBigTask("1");
  Click();
  const DownloadTask& task = *form_->Task();
  ASSERT_TRUE(platform_.PumpUntil([&] { return server_.Requests() >= 4; }));
  // The fourth tile arrives and its worker waits for the GUI thread, which is
  // busy with the exit.
  server_.Allow(1);
  ASSERT_TRUE(platform_.WaitForPendingReports(1));

  form_->Exit1Click();
  EXPECT_EQ(view_.exitRequested, 1);
  EXPECT_FALSE(platform_.timerEnabled);
  EXPECT_EQ(ProjectKey("T1X"), std::to_string(task.MinX));
  EXPECT_EQ(ProjectKey("T1Y"), std::to_string(task.MinY + 2));
  const std::string log = ReadFile(task.LogPath);
  EXPECT_NE(log.find("T1:seq=3, "), std::string::npos);
  EXPECT_EQ(log.find("T1:seq=4, "), std::string::npos);
  EXPECT_TRUE(Exists(task.FailedListPath));
  EXPECT_TRUE(platform_.errors.empty());
}

}  // namespace
