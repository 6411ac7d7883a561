#include "CliTaskRun.h"

#include <QCoreApplication>

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "ProgressLine.h"

CliTaskRun::CliTaskRun(CliPlatform& platform, const CliArguments& arguments)
    : platform_(platform),
      arguments_(arguments),
      form_(platform, arguments.configPath.value_or("")),
      out_(STDOUT_FILENO) {
  form_.SetView(this);
  platform_.SetTickHandler([this] {
    const auto lock = platform_.LockGui();
    form_.Timer1Timer();
  });
  platform_.SetAfterHandOver([this] { CloseSoonAfterLastWorker(); });
  platform_.SetBeforeStderr([this] {
    out_.Flush();
    ClearProgress();
  });

  flushTimer_.setInterval(250);
  QObject::connect(&flushTimer_, &QTimer::timeout, [this] {
    const auto lock = platform_.LockGui();
    out_.Flush();
  });
  progressOnTerminal_ = ::isatty(STDERR_FILENO) == 1;
  progressTimer_.setInterval(500);
  QObject::connect(&progressTimer_, &QTimer::timeout, [this] {
    const auto lock = platform_.LockGui();
    ShowProgress();
  });
}

CliTaskRun::~CliTaskRun() {
  platform_.SetBeforeStderr(nullptr);
  platform_.SetAfterHandOver(nullptr);
  platform_.SetTickHandler(nullptr);
  form_.SetView(nullptr);
}

int CliTaskRun::Run() {
  platform_.RunLocked([this] { form_.FormShow(); });
  if (arguments_.projectToOpen) {
    platform_.AnswerNextFileDialog(*arguments_.projectToOpen);
    platform_.RunLocked([this] { form_.Button4Click(); });
  }
  if (platform_.ErrorsShown() > 0) return kFailed;
  if (!ApplyEntries()) return kRefused;

  interrupt_ = std::make_unique<InterruptSignal>([this](int signal) { OnSignal(signal); });
  const int messagesBefore = platform_.MessagesShown();
  elapsed_.start();
  platform_.RunLocked([this] { form_.BitBtn1Click(); });
  if (!form_.TaskRunning()) {
    out_.Flush();
    if (platform_.ErrorsShown() > 0) return kFailed;
    return platform_.MessagesShown() > messagesBefore ? kRefused : kFailed;
  }
  started_ = true;

  flushTimer_.start();
  if (progressOnTerminal_) progressTimer_.start();
  QCoreApplication::exec();
  progressTimer_.stop();
  flushTimer_.stop();
  const auto lock = platform_.LockGui();
  out_.Flush();
  ClearProgress();

  if (interrupts_ > 0) return kInterrupted;
  if (platform_.ErrorsShown() > 0 || form_.TilesFailedThisRun() > 0) return kFailed;
  return kDone;
}

bool CliTaskRun::ApplyEntries() {
  const CliArguments& a = arguments_;
  if (a.left) form_.Edit1 = *a.left;
  if (a.right) form_.Edit3 = *a.right;
  if (a.top) form_.Edit2 = *a.top;
  if (a.bottom) form_.Edit4 = *a.bottom;
  if (a.savePath) form_.Edit6 = *a.savePath;
  if (a.taskName) form_.EditTaskName = *a.taskName;
  form_.MaxRequestsPerSecondOverride = a.maxRate;
  if (a.threads) form_.Edit10 = std::to_string(*a.threads);
  if (a.zoom) {
    // The slider cannot stand outside its range, so neither can the option.
    if (*a.zoom < form_.TrackBar1Min || *a.zoom > form_.TrackBar1Max) {
      platform_.ShowMessage("--zoom must be between " + std::to_string(form_.TrackBar1Min) + " and " +
                            std::to_string(form_.TrackBar1Max) + ".");
      return false;
    }
    form_.TrackBar1Position = *a.zoom;
    platform_.RunLocked([this] { form_.TrackBar1Change(); });
  }
  return true;
}

void CliTaskRun::OnSignal(int signal) {
  const auto lock = platform_.LockGui();
  if (signal == SIGTERM) SaveAndEnd(kTerminated);
  if (++interrupts_ > 1) SaveAndEnd(kInterrupted);
  if (progressOnTerminal_)
    platform_.ShowMessage("Stopping: each thread finishes its tile. Press Ctrl+C again to end at once.");
  if (form_.TaskRunning()) platform_.RunLocked([this] { form_.BitBtn1Click(); });
}

// Workers may be inside a fetch or waiting on this thread: save and go.
void CliTaskRun::SaveAndEnd(int status) {
  const auto lock = platform_.LockGui();
  platform_.RunLocked([this] { form_.SaveProgressForExit(); });
  out_.Flush();
  ClearProgress();
  std::_Exit(status);
}

// The monitor closes a task at the first tick that finds no worker left; a
// script should not wait up to a second for it, so that tick comes at once.
// Runs on a worker, under the lock: the tick itself is queued to the main thread.
void CliTaskRun::CloseSoonAfterLastWorker() {
  if (closeQueued_ || form_.RunningWorkers != 0 || !form_.TaskRunning()) return;
  closeQueued_ = true;
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [this] {
        {
          const auto lock = platform_.LockGui();
          closeQueued_ = false;
        }
        platform_.TickNow();
      },
      Qt::QueuedConnection);
}

void CliTaskRun::ControlsChanged() {
  if (started_ && !form_.TaskRunning()) QCoreApplication::exit(0);
}

void CliTaskRun::Memo1Appended(const std::string& line) { out_.Append(line); }

void CliTaskRun::ShowProgress() {
  const int64_t done = form_.TilesOkThisRun() + form_.TilesFailedThisRun();
  const std::string text = "\r" + FormatProgress(done, form_.TotalTiles(), elapsed_.elapsed() / 1000.0) + "\033[K";
  [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, text.data(), text.size());
  progressShown_ = true;
}

void CliTaskRun::ClearProgress() {
  if (!progressShown_) return;
  progressShown_ = false;
  static constexpr char kClear[] = "\r\033[K";
  [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, kClear, sizeof kClear - 1);
}
