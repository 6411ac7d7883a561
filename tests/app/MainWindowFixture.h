#pragma once

// A main window over the fake platform, a scratch folder and its own
// configuration file, with helpers to enter a task and run it to its close.

#include <filesystem>
#include <memory>
#include <string>

#include "AppTestSupport.h"
#include "FakePlatform.h"
#include "TForm1.h"

class RecordingView : public TForm1View {
 public:
  TForm1Entries entries;  // as the window's entries would show them
  int memo1Replaced = 0;
  int exitRequested = 0;
  std::vector<std::string> summaries;
  void Draw(const TForm1Face& face) override {
    if (face.entries) entries = *face.entries;
  }
  void Memo1Replaced() override { ++memo1Replaced; }
  void ExitRequested() override { ++exitRequested; }
  void RunSummaryReady(const std::string& summary) override { summaries.push_back(summary); }
};

class MainWindowTest : public ::testing::Test {
 protected:
  ScratchFolder folder_;
  std::string exe_ = folder_.Path() + "bin/";
  std::string configPath_ = folder_.Path() + "config.ini";
  std::string save_ = folder_.Path() + "maps";
  FakePlatform platform_{exe_};
  RecordingView view_;
  // What the user types goes here; the window's handlers are handed it.
  TForm1Entries& entries_ = view_.entries;
  TaskEntries& typed_ = view_.entries.task;
  std::unique_ptr<TForm1> form_;

  void SetUp() override {
    std::filesystem::create_directories(exe_);
    WriteFile(configPath_, ConfigText());
    form_ = std::make_unique<TForm1>(platform_, configPath_, RunOptions());
    form_->SetView(&view_);
    form_->FormShow();
  }

  virtual std::string ConfigText() { return ""; }
  // Runs are driven by hand (no worker threads) unless a suite serves tiles.
  virtual TaskRunOptions RunOptions() { return {.startWorkers = false}; }

  // A two-tile task at zoom 4 (columns 8, rows 5 and 6) under "job.qrnl".
  void EnterTask(const std::string& threads = "1", const std::string& name = "job.qrnl") {
    typed_.savePath = save_;
    typed_.left = "10";
    typed_.right = "20";
    typed_.top = "50";
    typed_.bottom = "40";
    typed_.zoom = 4;
    typed_.threads = threads;
    typed_.taskName = name;
  }

  std::string SavePath() const { return save_ + "/"; }

  // Presses Start/Stop; a Start's files are written on a thread of their
  // own, whose hand-over is pumped here.
  void Click() {
    form_->BitBtn1Click(entries_);
    ASSERT_TRUE(platform_.PumpUntil([&] { return !form_->TaskPreparing(); }));
  }

  // Fires ticks until the task is closed; returns the ticks it took.
  int TickUntilClosed(int limit = 20) {
    for (int tick = 1; tick <= limit; ++tick) {
      form_->Timer1Timer();
      if (!form_->TaskRunning()) return tick;
    }
    return -1;
  }
};
