#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <memory>

#include "CliArguments.h"
#include "CliPlatform.h"
#include "InterruptSignal.h"
#include "StdoutLines.h"
#include "TForm1.h"

// One task run of quarnel-cli, driven through the main window's logic as a
// user would drive the window:
//
//   FormShow (configuration defaults) -> "Open task ..." with --open's file
//   -> the options replace single entries -> Start -> the event loop runs
//   the workers' hand-overs and the monitor's ticks -> the monitor closes
//   the task -> the loop ends and the exit status is worked out.
//
// The first SIGINT presses Stop; the second saves the progress and ends the
// process at once, without waiting for fetches in flight. SIGTERM (a logout,
// a service manager) saves and ends at once too.
class CliTaskRun : private TForm1View {
 public:
  enum ExitStatus { kDone = 0, kFailed = 1, kRefused = 2, kInterrupted = 130, kTerminated = 143 };

  CliTaskRun(CliPlatform& platform, const CliArguments& arguments);
  ~CliTaskRun() override;

  // Runs the task to its close; returns the process's exit status.
  int Run();

 private:
  // Puts the command line's entries into the window; false when one is unusable.
  bool ApplyEntries();
  void OnSignal(int signal);
  [[noreturn]] void SaveAndEnd(int status);
  void CloseSoonAfterLastWorker();
  void ShowProgress();
  void ClearProgress();

  // TForm1View
  void ControlsChanged() override;
  void Memo1Appended(const std::string& line) override;
  void RunSummaryReady(const std::string& summary) override { platform_.WriteStderr(summary); }

  CliPlatform& platform_;
  const CliArguments& arguments_;
  TForm1 form_;
  StdoutLines out_;
  QTimer flushTimer_;
  QTimer progressTimer_;
  QElapsedTimer elapsed_;
  std::unique_ptr<InterruptSignal> interrupt_;
  bool progressOnTerminal_ = false;
  bool progressShown_ = false;
  bool started_ = false;
  bool closeQueued_ = false;
  int interrupts_ = 0;
};
