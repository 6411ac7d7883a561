#include "CliServerTools.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <variant>

#include "AppPaths.h"
#include "CliTaskRun.h"
#include "CliZoomRange.h"
#include "InterruptSignal.h"
#include "ProgressLine.h"
#include "RefreshTilesLogic.h"
#include "ServerEstimate.h"
#include "StdoutLines.h"
#include "TaskEntries.h"
#include "Unitclasstask.h"

namespace {

constexpr int kRefused = 2;

std::string ConfigPathFor(CliPlatform& platform, const CliArguments& arguments) {
  return ConfigFilePath(platform.ExecutableFolder(), arguments.configPath.value_or(""));
}

// The parameters a task run of these arguments would start with, through
// Start's checks, with nothing created.
std::optional<TaskParameters> DryRunParameters(CliPlatform& platform, const CliArguments& arguments,
                                               const std::shared_ptr<const Area>& area) {
  CliTaskRun run(platform, arguments, area);
  const std::optional<TaskEntries> entries = run.EntriesToStart();
  if (!entries) return std::nullopt;
  StartPolicy policy;
  policy.replace = policy.bigTask = StartPolicy::Decide::Go;
  policy.dryRun = true;
  policy.saveFolderEntry = "--path";
  return ParametersForStart(platform, ConfigPathFor(platform, arguments), *entries, policy);
}

}  // namespace

int RunDryRun(CliPlatform& platform, const CliArguments& arguments, std::shared_ptr<const Area> area) {
  std::vector<CliArguments> levels{arguments};
  if (arguments.zoomRange) {
    CliArguments named = arguments;
    // Levels are named only to find a task that exists: the window's default name will do.
    if (!named.taskName && !named.projectToOpen) named.taskName = "newtask";
    auto runs = ZoomLevelRuns(named, MapsTypeForRun(named));
    if (const auto* error = std::get_if<std::string>(&runs)) {
      platform.ShowMessage(*error);
      return kRefused;
    }
    levels = std::move(std::get<std::vector<CliArguments>>(runs));
  }
  std::vector<LevelEstimate> estimates;
  for (const CliArguments& level : levels) {
    const std::optional<TaskParameters> parameters = DryRunParameters(platform, level, area);
    if (!parameters) return platform.ErrorsShown() > 0 ? 1 : kRefused;
    try {
      estimates.push_back(EstimateLevel(*parameters));
    } catch (const std::exception& error) {
      platform.ShowMessage(std::string("Start would refuse this task: ") + error.what());
      return kRefused;
    }
    std::printf("%s\n", LevelEstimateLine(estimates.back()).c_str());
    std::fflush(stdout);
  }
  std::printf("%s\n", TotalEstimateLine(estimates).c_str());
  return 0;
}

int RunRefresh(CliPlatform& platform, const CliArguments& arguments) {
  const std::optional<TaskParameters> parameters =
      ParametersForRefresh(platform, ConfigPathFor(platform, arguments), arguments.refreshProject);
  if (!parameters) return platform.ErrorsShown() > 0 ? 1 : kRefused;
  const DownloadTask task(*parameters);

  std::atomic<bool> stop{false};
  std::mutex outputMutex;  // the lines come from the fetchers, the progress from the timer
  StdoutLines out(STDOUT_FILENO);
  RefreshCounts latest;
  bool progressShown = false;
  const bool onTerminal = ::isatty(STDERR_FILENO) == 1;
  const auto clearProgress = [&] {
    if (!progressShown) return;
    progressShown = false;
    static constexpr char kClear[] = "\r\033[K";
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, kClear, sizeof kClear - 1);
  };
  platform.SetBeforeStderr([&] {
    std::lock_guard lock(outputMutex);
    out.Flush();
    clearProgress();
  });

  RefreshControl control;
  control.stop = &stop;
  control.line = [&](const std::string& line) {
    std::lock_guard lock(outputMutex);
    out.Append(line);
  };
  control.progress = [&](const RefreshCounts& counts) {
    std::lock_guard lock(outputMutex);
    latest = counts;
  };
  RefreshResult result;
  std::thread worker([&] {
    result = RefreshTask(RefreshRequestFor(task, arguments.olderThanDays,
                                           BlankImagePathIn(platform.ExecutableFolder())),
                         control);
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
  });

  int interrupts = 0;
  bool terminated = false;
  InterruptSignal interrupt([&](int signal) {
    // Only a second Ctrl+C ends at once, as promised; SIGTERM stops like the first.
    if (signal == SIGINT && ++interrupts > 1) {
      {
        std::lock_guard lock(outputMutex);
        out.Flush();
        clearProgress();
      }
      std::_Exit(130);
    }
    stop = true;
    if (signal == SIGTERM) {
      terminated = true;
      return;
    }
    if (onTerminal)
      platform.ShowMessage("Stopping: each thread finishes its tile. Press Ctrl+C again to end at once.");
  });
  QTimer timer;
  timer.setInterval(250);
  QObject::connect(&timer, &QTimer::timeout, [&] {
    std::lock_guard lock(outputMutex);
    out.Flush();
    if (!onTerminal) return;
    const std::string text = "\rAsked again: " + std::to_string(latest.Checked()) + " of " +
                             std::to_string(latest.due) + " tiles found due\033[K";
    [[maybe_unused]] const ssize_t n = ::write(STDERR_FILENO, text.data(), text.size());
    progressShown = true;
  });
  timer.start();
  QCoreApplication::exec();
  timer.stop();
  worker.join();
  {
    std::lock_guard lock(outputMutex);
    out.Flush();
    clearProgress();
  }
  platform.SetBeforeStderr(nullptr);
  if (terminated) return 143;

  if (result.error) {
    platform.ShowMessage(*result.error);
    return 1;
  }
  platform.WriteStderr(RefreshSummary(result));
  if (interrupts > 0) return 130;
  return result.finished && result.counts.failed == 0 ? 0 : 1;
}
