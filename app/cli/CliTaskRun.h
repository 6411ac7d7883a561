#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <memory>
#include <optional>

#include "CliArguments.h"
#include "CliPlatform.h"
#include "InterruptSignal.h"
#include "StdoutLines.h"
#include "TaskEntries.h"
#include "TaskRun.h"

// One task run of quarnel-cli. The entries come from the configuration's
// defaults, then from a project file (--open's, and the existing task's for
// every entry the command line does not give), then from the options; they
// pass Start's own checks (ParametersForStart) to a TaskRun, which this class
// drives: the set-up writes the task's files on its own thread while the
// event loop answers signals, the loop runs the monitor's ticks, the run
// closes the task, the loop ends and the exit status is worked out.
// Workers' routines run under the platform's GUI lock (TaskRun.h's hand-over rule).
//
// The first SIGINT presses Stop (during the set-up: cancels it, nothing
// written); the second saves the progress and ends the process at once,
// without waiting for fetches in flight. SIGTERM (a logout, a service
// manager) saves the progress at once, breaks off the fetches in flight and
// ends once the workers have.
class CliTaskRun : private TaskRunObserver {
 public:
  enum ExitStatus { kDone = 0, kFailed = 1, kRefused = 2, kInterrupted = 130, kTerminated = 143 };

  // area: the task's area, imported from --area (null: none given).
  CliTaskRun(CliPlatform& platform, const CliArguments& arguments, std::shared_ptr<const Area> area = nullptr);
  ~CliTaskRun() override;

  // Runs the task to its close; returns the process's exit status.
  int Run();
  // The entries to start; nullopt when one is unusable (a message was shown).
  std::optional<TaskEntries> EntriesToStart();

 private:
  void Start(const TaskEntries& entries);
  void Prepared(const std::optional<std::string>& error);
  void OnSignal(int signal);
  [[noreturn]] void SaveAndEnd(int status);

  void ShowProgress();
  void ClearProgress();

  // TaskRunObserver
  void LogLineAdded(const std::string& line, LogLineKind /*kind*/) override { out_.Append(line); }
  void WorkersEnded() override;
  void TimerOff() override { platform_.SetTimerEnabled(false); }
  void Closed(const RunCounts& counts, const std::string& firstError) override;

  CliPlatform& platform_;
  const CliArguments& arguments_;
  std::shared_ptr<const Area> area_;
  std::string configPath_;
  std::unique_ptr<TaskRun> run_;
  StdoutLines out_;
  QTimer flushTimer_;
  QTimer progressTimer_;
  QElapsedTimer elapsed_;
  std::unique_ptr<InterruptSignal> interrupt_;
  bool progressOnTerminal_ = false;
  bool progressShown_ = false;
  bool closeQueued_ = false;
  bool setUpFailed_ = false;
  bool terminating_ = false;
  int interrupts_ = 0;
};
