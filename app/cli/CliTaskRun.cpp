#include "CliTaskRun.h"

#include <QCoreApplication>

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "AppPaths.h"
#include "ProgressLine.h"
#include "RunSummary.h"

CliTaskRun::CliTaskRun(CliPlatform& platform, const CliArguments& arguments)
    : platform_(platform),
      arguments_(arguments),
      form_(platform, arguments.configPath.value_or("")),
      out_(STDOUT_FILENO) {
  platform_.SetTickHandler([this] {
    const auto lock = platform_.LockGui();
    if (run_) run_->Tick();
  });
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
  platform_.SetTickHandler(nullptr);
}

int CliTaskRun::Run() {
  platform_.RunLocked([this] { form_.FormShow(); });
  if (arguments_.projectToOpen) {
    platform_.AnswerNextFileDialog(*arguments_.projectToOpen);
    platform_.RunLocked([this] { form_.Button4Click(); });
  }
  if (platform_.ErrorsShown() > 0) return kFailed;
  const std::optional<TaskEntries> entries = EntriesToStart();
  if (!entries) return kRefused;

  interrupt_ = std::make_unique<InterruptSignal>([this](int signal) { OnSignal(signal); });
  const int messagesBefore = platform_.MessagesShown();
  elapsed_.start();
  platform_.RunLocked([&] { Start(*entries); });
  if (!run_ || !run_->Active()) {
    out_.Flush();
    if (platform_.ErrorsShown() > 0) return kFailed;
    return platform_.MessagesShown() > messagesBefore ? kRefused : kFailed;
  }

  flushTimer_.start();
  if (progressOnTerminal_) progressTimer_.start();
  QCoreApplication::exec();
  progressTimer_.stop();
  flushTimer_.stop();
  const auto lock = platform_.LockGui();
  out_.Flush();
  ClearProgress();

  if (interrupts_ > 0) return kInterrupted;
  if (platform_.ErrorsShown() > 0 || run_->Counts().failed > 0) return kFailed;
  return kDone;
}

std::optional<TaskEntries> CliTaskRun::EntriesToStart() {
  const CliArguments& a = arguments_;
  TaskEntries entries = form_.Entries();
  if (a.left) entries.left = *a.left;
  if (a.right) entries.right = *a.right;
  if (a.top) entries.top = *a.top;
  if (a.bottom) entries.bottom = *a.bottom;
  if (a.savePath) entries.savePath = *a.savePath;
  if (a.taskName) entries.taskName = *a.taskName;
  entries.maxRequestsPerSecond = a.maxRate;
  if (a.threads) entries.threads = std::to_string(*a.threads);
  if (a.zoom) {
    // The slider cannot stand outside its range, so neither can the option.
    if (*a.zoom < form_.TrackBar1Min || *a.zoom > form_.TrackBar1Max) {
      platform_.ShowMessage("--zoom must be between " + std::to_string(form_.TrackBar1Min) + " and " +
                            std::to_string(form_.TrackBar1Max) + ".");
      return std::nullopt;
    }
    entries.zoom = *a.zoom;
  }
  return entries;
}

// Start's steps as the window takes them, without the window's controls.
void CliTaskRun::Start(const TaskEntries& entries) {
  std::optional<TaskParameters> parameters = ParametersForStart(platform_, form_.ConfigPath, entries);
  if (!parameters) return;
  run_ = CreateTaskRun(platform_, std::move(*parameters), *this);
  if (!run_) return;
  run_->Prepare(platform_.NowText(), form_.ConfigPath);
  run_->StartWorkers(BlankImagePathIn(platform_.ExecutableFolder()));
  platform_.SetTimerEnabled(true);
}

void CliTaskRun::OnSignal(int signal) {
  const auto lock = platform_.LockGui();
  if (signal == SIGTERM) SaveAndEnd(kTerminated);
  if (++interrupts_ > 1) SaveAndEnd(kInterrupted);
  if (progressOnTerminal_)
    platform_.ShowMessage("Stopping: each thread finishes its tile. Press Ctrl+C again to end at once.");
  if (run_ && run_->Active()) platform_.RunLocked([this] { run_->Stop(); });
}

// Workers may be inside a fetch or waiting on this thread: save and go.
void CliTaskRun::SaveAndEnd(int status) {
  const auto lock = platform_.LockGui();
  if (run_) platform_.RunLocked([this] { run_->SaveForExit(); });
  out_.Flush();
  ClearProgress();
  std::_Exit(status);
}

// The monitor closes a task at the first tick that finds no worker left; a
// script should not wait up to a second for it, so that tick comes at once.
// Runs on a worker, under the lock: the tick itself is queued to the main thread.
void CliTaskRun::WorkersEnded() {
  if (closeQueued_) return;
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

void CliTaskRun::Closed(const RunCounts& counts, const std::string& firstError) {
  QCoreApplication::exit(0);  // the loop ends once these lines are out
  if (!firstError.empty()) platform_.ShowError(firstError);
  platform_.WriteStderr(FormatRunSummary(counts));
  platform_.ShowMessage("Task stoped!" + std::string(20, ' '));
}

void CliTaskRun::ShowProgress() {
  if (!run_) return;
  const RunCounts counts = run_->Counts();
  const std::string text =
      "\r" + FormatProgress(counts.saved + counts.failed, run_->Task().TotalTiles, elapsed_.elapsed() / 1000.0) +
      "\033[K";
  [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, text.data(), text.size());
  progressShown_ = true;
}

void CliTaskRun::ClearProgress() {
  if (!progressShown_) return;
  progressShown_ = false;
  static constexpr char kClear[] = "\r\033[K";
  [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, kClear, sizeof kClear - 1);
}
