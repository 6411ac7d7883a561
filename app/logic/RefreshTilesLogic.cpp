#include "RefreshTilesLogic.h"

#include <sys/stat.h>

#include <charconv>
#include <filesystem>

#include "AppPaths.h"
#include "Files.h"
#include "IniFile.h"
#include "ProjectFile.h"
#include "RecentTask.h"
#include "TaskEntries.h"
#include "TextFormat.h"
#include "Unitclasstask.h"

namespace {

std::string ProgressText(const RefreshCounts& counts) {
  return "Asked again: " + std::to_string(counts.Checked()) + " tiles, " + std::to_string(counts.unchanged) +
         " unchanged, " + std::to_string(counts.replaced) + " replaced, " + std::to_string(counts.failed) +
         " kept on failure";
}

}  // namespace

std::optional<TaskParameters> ParametersForRefresh(Platform& platform, const std::string& configPath,
                                                   const std::string& projectPath) {
  ProjectFile project;
  try {
    project = ProjectFile::Read(std::filesystem::absolute(projectPath).lexically_normal().string());
  } catch (const ProjectFileError& refusal) {
    platform.ShowMessage(refusal.what());
    return std::nullopt;
  }
  StartPolicy policy;
  policy.replace = policy.bigTask = StartPolicy::Decide::Go;
  policy.dryRun = true;
  std::optional<TaskParameters> parameters = ParametersForStart(platform, configPath, EntriesOf(project), policy);
  if (!parameters) return std::nullopt;
  const std::string& name = parameters->TaskFileName;
  const std::string tileFolder = parameters->SavePath + name.substr(0, name.size() - std::string(kProjectExtension).size()) +
                                 kDirSeparator;
  if (!IsDirectory(tileFolder)) {
    platform.ShowMessage("The task has no tile folder " + tileFolder + ": there is nothing to refresh.");
    return std::nullopt;
  }
  return parameters;
}

RefreshRequest RefreshRequestFor(const DownloadTask& task, std::optional<int32_t> olderThanDays,
                                 const std::string& blankImagePath) {
  const TaskParameters& p = task.Parameters;
  return {&task, static_cast<const ProxyConfig&>(p), olderThanDays, blankImagePath};
}

bool ParseOlderThanDays(const std::string& text, std::optional<int32_t>& days) {
  days.reset();
  if (text.empty()) return true;
  int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 0) return false;
  days = value;
  return true;
}

RefreshTilesLogic::RefreshTilesLogic(Platform& platform, std::string configPathOverride)
    : platform_(platform), configPathOverride_(std::move(configPathOverride)) {}

RefreshTilesLogic::~RefreshTilesLogic() {
  *alive_ = false;
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

std::string RefreshTilesLogic::ConfigPath() {
  return ConfigFilePath(platform_.ExecutableFolder(), configPathOverride_);
}

void RefreshTilesLogic::FormShow() {
  if (EditProject.empty() && !running_) EditProject = LastTask(ConfigPath());
  Changed();
}

void RefreshTilesLogic::ButtonBrowseClick() {
  const std::optional<std::string> chosen =
      platform_.OpenFileDialog("Open task", "Projects(*.qrnl)|*.qrnl", std::filesystem::path(EditProject).parent_path());
  if (!chosen) return;
  EditProject = *chosen;
  Changed();
}

void RefreshTilesLogic::ButtonStartClick() {
  if (running_) {
    stop_ = true;
    LabelProgress = "Stopping: each thread finishes its tile.";
    Changed();
    return;
  }
  Start();
}

void RefreshTilesLogic::Start() {
  std::optional<int32_t> days;
  if (!ParseOlderThanDays(EditOlderThan, days)) {
    platform_.ShowMessage("'" + EditOlderThan + "' is not a number of days.");
    return;
  }
  if (EditProject.empty()) {
    platform_.ShowMessage("Please choose the task to refresh.");
    return;
  }
  std::optional<TaskParameters> parameters = ParametersForRefresh(platform_, ConfigPath(), EditProject);
  if (!parameters) return;
  if (thread_.joinable()) thread_.join();
  stop_ = false;
  running_ = true;
  LabelProgress = "Looking for tiles to ask again...";
  Changed();
  const std::string blank = BlankImagePathIn(platform_.ExecutableFolder());
  thread_ = std::thread([this, parameters = std::move(*parameters), days, blank, alive = alive_] {
    const auto post = [this, alive](std::function<void()> routine) {
      platform_.PostToGuiThread([alive, routine = std::move(routine)] {
        if (*alive) routine();
      });
    };
    RefreshResult result;
    try {
      const DownloadTask task(parameters);
      RefreshControl control;
      control.stop = &stop_;
      control.line = [&](const std::string& line) { post([this, line] { AppendLine(line); }); };
      control.progress = [&](const RefreshCounts& counts) {
        post([this, counts] {
          if (!stop_) LabelProgress = ProgressText(counts);
          Changed();
        });
      };
      result = RefreshTask(RefreshRequestFor(task, days, blank), control);
    } catch (const std::exception& error) {
      result.error = error.what();
    }
    post([this, result] {
      running_ = false;
      LabelProgress = result.error ? *result.error : RefreshSummary(result);
      AppendLine(LabelProgress);
      Changed();
    });
  });
}

void RefreshTilesLogic::AppendLine(const std::string& line) {
  Memo1.Append(line);
  if (view_) view_->Memo1Appended(line);
}

void RefreshTilesLogic::Changed() {
  if (view_) view_->ProgressChanged();
}
