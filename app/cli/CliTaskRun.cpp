#include "CliTaskRun.h"

#include <QCoreApplication>

#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "AppPaths.h"
#include "Files.h"
#include "IniFile.h"
#include "MapServices.h"
#include "MapTypeZoom.h"
#include "ProjectFile.h"
#include "ProgressLine.h"
#include "RunSummary.h"
#include "TextFormat.h"
#include "ZoomLevels.h"

CliTaskRun::CliTaskRun(CliPlatform& platform, const CliArguments& arguments, std::shared_ptr<const Area> area)
    : platform_(platform),
      arguments_(arguments),
      area_(std::move(area)),
      configPath_(ConfigFilePath(platform.ExecutableFolder(), arguments.configPath.value_or(""))),
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
  const auto lock = platform_.LockGui();  // the run ends under the lock, as its handlers run
  run_.reset();
}

int CliTaskRun::Run() {
  const std::optional<TaskEntries> entries = EntriesToStart();
  if (!entries) return platform_.ErrorsShown() > 0 ? kFailed : kRefused;

  interrupt_ = std::make_unique<InterruptSignal>([this](int signal) { OnSignal(signal); });
  const int messagesBefore = platform_.MessagesShown();
  elapsed_.start();
  platform_.RunLocked([&] { Start(*entries); });
  if (!run_) {
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
  run_->End();  // after SIGTERM the workers are still there
  out_.Flush();
  ClearProgress();

  if (terminating_) return kTerminated;
  if (interrupts_ > 0) return kInterrupted;
  if (setUpFailed_ || platform_.ErrorsShown() > 0 || run_->Counts().failed > 0) return kFailed;
  return kDone;
}

std::optional<TaskEntries> CliTaskRun::EntriesToStart() {
  const CliArguments& a = arguments_;
  // The window's defaults: the configured folder and thread count, the map type's default zoom.
  TaskEntries entries;
  {
    const IniFile config(configPath_);
    entries.savePath = config.ReadString("IniParas", "DefaultPath", MainWindowDefaultSavePath());
    entries.threads = std::to_string(config.ReadInteger("IniParas", "DefaultThreadCount", 1));
    entries.taskName = "newtask.qrnl";
    entries.zoom = kMapServices[kOpenStreetMap].defaultZoom;
    entries.mapsTypeIndex = kOpenStreetMap;
  }
  // The command line's area or rectangle replaces the task's own: its area file is not needed then.
  const bool rectangleGiven = a.left || a.right || a.top || a.bottom;
  const bool readArea = !area_ && !rectangleGiven;
  try {
    if (a.projectToOpen) {
      const std::string fullName = std::filesystem::absolute(*a.projectToOpen).lexically_normal().string();
      entries = EntriesOf(ProjectFile::Read(fullName), readArea);
    }
    // A task that exists gives every entry the command line does not, so running it again resumes it.
    const std::string savePath = a.savePath.value_or(entries.savePath);
    const std::string name = CliTaskFileName(a.taskName.value_or(entries.taskName));
    const std::string existing = savePath + (savePath.ends_with(kDirSeparator) ? "" : std::string(1, kDirSeparator)) +
                                 name;
    if (!a.projectToOpen && !name.empty() && !TaskNameProblem(name) && FileExists(existing))
      entries = EntriesOf(ProjectFile::Read(existing), readArea);
  } catch (const AreaError& refusal) {
    // Never widened to its rectangle: a task whose area file is missing or damaged is refused.
    platform_.ShowMessage(refusal.what());
    return std::nullopt;
  } catch (const ProjectFileError& refusal) {
    if (a.projectToOpen) {
      platform_.ShowMessage(refusal.what());
      return std::nullopt;
    }
    // An existing task's damaged file is replaced only when asked.
    if (!a.replace) {
      platform_.ShowMessage(std::string(refusal.what()) + " (--replace replaces the task)");
      return std::nullopt;
    }
  }
  if (a.left) entries.left = *a.left;
  if (a.right) entries.right = *a.right;
  if (a.top) entries.top = *a.top;
  if (a.bottom) entries.bottom = *a.bottom;
  if (rectangleGiven) entries.area.reset();
  if (area_) entries = WithArea(std::move(entries), area_);
  if (a.savePath) entries.savePath = *a.savePath;
  if (a.taskName) entries.taskName = *a.taskName;
  entries.maxRequestsPerSecond = a.maxRate;
  if (a.source) entries.source = *a.source;
  if (a.format) entries.tileFormat = TaskTileFormatNamed(*a.format);
  if (a.threads) entries.threads = std::to_string(*a.threads);
  if (a.zoom) entries.zoom = *a.zoom;
  // The slider cannot stand outside its map type's range, so neither can the option.
  const int32_t mapsType = entries.mapsTypeIndex;
  if (a.zoom && mapsType >= 0 && mapsType < kMapsTypeCount && !ZoomInMapTypeRange(mapsType, *a.zoom)) {
    const MapService& row = kMapServices[static_cast<std::size_t>(mapsType)];
    platform_.ShowMessage("--zoom must be between " + std::to_string(row.lowestZoom) + " and " +
                          std::to_string(row.highestZoom) + ".");
    return std::nullopt;
  }
  if (a.levelOfRange) LowerThreadsToTiles(entries);
  return entries;
}

// Start's steps as the window takes them.
void CliTaskRun::Start(const TaskEntries& entries) {
  StartPolicy policy;
  policy.replace = arguments_.replace ? StartPolicy::Decide::Go : StartPolicy::Decide::Refuse;
  policy.bigTask = arguments_.noSpaceCheck ? StartPolicy::Decide::Go : StartPolicy::Decide::Refuse;
  policy.saveFolderEntry = "--path";
  std::optional<TaskParameters> parameters = ParametersForStart(platform_, configPath_, entries, policy);
  if (!parameters) return;
  run_ = CreateTaskRun(platform_, std::move(*parameters), *this);
  if (!run_) return;
  run_->PrepareInBackground(platform_.NowText(), configPath_,
                            [this](const std::optional<std::string>& error) { Prepared(error); });
}

// Runs on the set-up's thread, under the GUI lock.
void CliTaskRun::Prepared(const std::optional<std::string>& error) {
  if (error || terminating_ || interrupts_ > 0) {
    if (error && !error->empty()) platform_.ShowError(*error);
    setUpFailed_ = error.has_value();
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    return;
  }
  // Timers belong to the main thread, and so does the start of the workers.
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [this] {
        const auto lock = platform_.LockGui();
        if (terminating_ || interrupts_ > 0) {
          QCoreApplication::exit(0);
          return;
        }
        run_->StartWorkers(BlankImagePathIn(platform_.ExecutableFolder()));
        platform_.SetTimerEnabled(true);
      },
      Qt::QueuedConnection);
}

void CliTaskRun::OnSignal(int signal) {
  const auto lock = platform_.LockGui();
  // The set-up's files are not written yet: it is stopped, and nothing is left behind.
  if (run_ && run_->Preparing()) {
    terminating_ = terminating_ || signal == SIGTERM;
    if (signal == SIGINT) ++interrupts_;
    run_->Stop();
    return;
  }
  if (signal == SIGTERM) {
    // Saved now; Run then ends the workers.
    terminating_ = true;
    if (run_ && run_->Active()) platform_.RunLocked([this] { run_->SaveForExit(); });
    QCoreApplication::exit(0);
    return;
  }
  if (++interrupts_ > 1) SaveAndEnd(kInterrupted);
  if (progressOnTerminal_)
    platform_.ShowMessage("Stopping: each thread finishes its tile. Press Ctrl+C again to end at once.");
  if (run_ && run_->Active()) platform_.RunLocked([this] { run_->Stop(); });
}

// The second Ctrl+C, promised to end at once: workers may be inside a
// fetch, so the progress is saved and the process ends without them.
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
  if (!counts.stopReason.empty()) platform_.WriteStderr(counts.stopReason);
  platform_.WriteStderr(FormatRunSummary(counts));
  platform_.ShowMessage("Task stoped!" + std::string(20, ' '));
}

void CliTaskRun::ShowProgress() {
  if (!run_ || !run_->Active()) return;
  const RunCounts counts = run_->Counts();
  const std::string text =
      "\r" + FormatProgress(counts.Done(), counts.total, elapsed_.elapsed() / 1000.0, counts.doneBefore) + "\033[K";
  [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, text.data(), text.size());
  progressShown_ = true;
}

void CliTaskRun::ClearProgress() {
  if (!progressShown_) return;
  progressShown_ = false;
  static constexpr char kClear[] = "\r\033[K";
  [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, kClear, sizeof kClear - 1);
}
