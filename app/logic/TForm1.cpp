#include "TForm1.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "AppPaths.h"
#include "AreaImport.h"
#include "Files.h"
#include "HandlerGuard.h"
#include "IniFile.h"
#include "TaskConfig.h"
#include "MapServices.h"
#include "ProjectFile.h"
#include "ProgressLine.h"
#include "Text.h"
#include "TextFormat.h"

namespace {

// The total label for a project file, from the tile range it records; empty
// when the range is missing or unusable, so no other task's count stays shown.
std::string TotalLabelOf(const IniFile& project) {
  const int64_t minX = project.ReadInteger("XY", "MinX", -1), maxX = project.ReadInteger("XY", "MaxX", -1);
  const int64_t minY = project.ReadInteger("XY", "MinY", -1), maxY = project.ReadInteger("XY", "MaxY", -1);
  if (minX < 0 || minY < 0 || maxX < minX || maxY < minY) return {};
  return "Total images: " + std::to_string((maxX - minX + 1) * (maxY - minY + 1));
}

}  // namespace

TForm1::TForm1(Platform& platform, std::string configPathOverride, TaskRunOptions runOptions)
    : platform_(platform), configPathOverride_(std::move(configPathOverride)), runOptions_(runOptions) {
  face_.Caption = kApplicationCaption;
  face_.LabelArea = kNoAreaText;
  face_.BitBtn1Caption = kStartCaption;
  entries_.task.taskName = "newtask.qrnl";
  entries_.task.mapsTypeIndex = -1;  // no valid row selected
  handed_ = entries_;
}

TForm1::~TForm1() { EndRun(); }

// While the runs end, their reports still reach this window: it must be whole.
void TForm1::EndRun() {
  alive_.reset();  // no next level starts
  if (preparing_) preparing_->End();
  if (run_) run_->End();
}

std::string TForm1::ExecutableFolder() {
  std::string folder = platform_.ExecutableFolder();
  if (!folder.empty() && folder.back() != kDirSeparator) folder += kDirSeparator;
  return folder;
}

// The entries an estimate is for: the typed rectangle, the levels, the area and the source.
std::string TForm1::EstimateKey() const {
  const TaskEntries entries = StartEntries();
  char area[32];
  std::snprintf(area, sizeof area, "%p", static_cast<const void*>(entries.area.get()));
  return entries.left + '|' + entries.right + '|' + entries.top + '|' + entries.bottom + '|' +
         std::to_string(entries.zoom) + '|' + std::to_string(LastZoom()) + '|' + area + '|' + entries.source;
}

void TForm1::Take(const TForm1Entries& entries) {
  entries_ = entries;
  entries_.task.area = nullptr;
  handed_ = entries_;
}

void TForm1::NotifyControls() {
  // Typing over the area's bounds goes back to the rectangle.
  if (area_ && !CurrentArea()) SetAreaOf(nullptr, {});
  UpdateEstimate();
  // The total of other entries than those shown would mislead beside the estimate.
  if (!TaskRunning() && EstimateKey() != totalKey_) face_.LabelTotalxy.clear();
  if (!view_) return;
  TForm1Face face = face_;
  if (entries_ != handed_) face.entries = handed_ = entries_;
  view_->Draw(face);
}

void TForm1::EntriesChanged(const TForm1Entries& entries) {
  Take(entries);
  NotifyControls();
}

// A range's estimate over an area builds a mask per level: only when the
// entries changed. A sample from the server stands while they do not.
void TForm1::UpdateEstimate() {
  const std::string key = EstimateKey();
  if (const std::optional<std::string> sampled = serverEstimate_.TextFor(key)) {
    face_.LabelEstimate = *sampled;
    return;
  }
  if (key == estimateKey_) return;
  face_.LabelEstimate = EstimateText(StartEntries(), LastZoom());
  estimateKey_ = key;
}

void TForm1::EstimateFromServerClick(const TForm1Entries& entries) {
  Take(entries);
  RunHandler(platform_, [&] {
    if (serverEstimate_.Running()) return;
    StartPolicy policy;
    policy.replace = policy.bigTask = StartPolicy::Decide::Go;
    policy.dryRun = true;
    const std::optional<TaskParameters> parameters = ParametersForStart(platform_, configPath_, StartEntries(), policy);
    if (parameters) serverEstimate_.Start(*parameters, LastZoom(), EstimateKey(), [this] { NotifyControls(); });
  });
  NotifyControls();
}

void TForm1::FormShow() {
  RunHandler(platform_, [&] {
    configPath_ = ConfigFilePath(ExecutableFolder(), configPathOverride_);
    face_.comboMapsTypeItems.clear();
    for (const MapService& row : kMapServices) face_.comboMapsTypeItems.emplace_back(row.label);

    const IniFile config(configPath_);
    defaultPath_ = config.ReadString("IniParas", "DefaultPath", MainWindowDefaultSavePath());
    face_.Caption = std::string(kApplicationCaption) + " " + config.ReadString("IniParas", "Version", "3.3");
    entries_.task.savePath = defaultPath_;
    entries_.task.threads = std::to_string(config.ReadInteger("IniParas", "DefaultThreadCount", 1));
    entries_.task.mapsTypeIndex = 8;
    // The configured default shows in "Save tiles in:"; an opened task shows its own.
    entries_.task.storage = ReadTileStorage(config);
    ListSources();
    SelectMapType();
  });
  NotifyControls();
}

void TForm1::comboMapsTypeChange(const TForm1Entries& entries) {
  Take(entries);
  SelectMapType();
  NotifyControls();
}

void TForm1::SelectMapType() {
  // A selector without a valid row (a project file's odd map type) leaves the slider alone.
  const int32_t index = entries_.task.mapsTypeIndex;
  if (index >= 0 && index < static_cast<int32_t>(kMapServices.size()))
    entries_.task.zoom = kMapServices[index].defaultZoom;
  ShowChosenSource();
}

void TForm1::KeepZoomInRange() {
  const int32_t index = entries_.task.mapsTypeIndex;
  if (index >= 0 && index < static_cast<int32_t>(kMapServices.size())) {
    face_.TrackBar1Min = kMapServices[index].lowestZoom;
    face_.TrackBar1Max = kMapServices[index].highestZoom;
  }
  if (const SourceListing* source = ChosenSource()) {
    face_.TrackBar1Min = source->minZoom;
    face_.TrackBar1Max = std::max(source->maxZoom, source->minZoom);
  }
  int32_t& zoom = entries_.task.zoom;
  zoom = std::max(std::min(zoom, face_.TrackBar1Max), face_.TrackBar1Min);
  FollowSlider();
}

void TForm1::TrackBar1Change(const TForm1Entries& entries) {
  Take(entries);
  FollowSlider();
  NotifyControls();
}

void TForm1::FollowSlider() {
  const int32_t zoom = entries_.task.zoom;
  int32_t& to = entries_.zoomTo;
  face_.Label8 = std::to_string(zoom);
  face_.TrackBar1Hint = face_.Label8;
  if (to == zoomFollowed_ || to < zoom) to = zoom;
  to = std::max(std::min(to, face_.TrackBar1Max), zoom);
  zoomFollowed_ = zoom;
}

void TForm1::ZoomToChange(const TForm1Entries& entries) {
  Take(entries);
  entries_.zoomTo = std::max(std::min(entries_.zoomTo, face_.TrackBar1Max), entries_.task.zoom);
  NotifyControls();
}

void TForm1::Button1Click(const TForm1Entries& entries) {
  Take(entries);
  if (std::optional<std::string> folder = platform_.BrowseForFolder("Select path to save")) {
    entries_.task.savePath = *folder;
    NotifyControls();
  }
}

void TForm1::BitBtn1Click(const TForm1Entries& entries) {
  Take(entries);
  RunHandler(platform_, [&] {
    if (preparing_) {
      stopRequested_ = true;
      preparing_->Stop();
    } else if (TaskRunning()) {
      stopRequested_ = true;
      if (run_) run_->Stop();
    } else {
      Start();
    }
  });
  NotifyControls();
}

TaskEntries TForm1::StartEntries() const {
  TaskEntries entries = entries_.task;
  entries.area = CurrentArea();
  return entries;
}

std::shared_ptr<const Area> TForm1::CurrentArea() const {
  const TaskEntries& typed = entries_.task;
  const bool holdsBounds = areaBounds_.left == typed.left && areaBounds_.right == typed.right &&
                           areaBounds_.top == typed.top && areaBounds_.bottom == typed.bottom;
  return holdsBounds ? area_ : nullptr;
}

void TForm1::SetArea(const TForm1Entries& entries, std::shared_ptr<const Area> area, const std::string& name) {
  Take(entries);
  SetAreaOf(std::move(area), name);
  NotifyControls();
}

void TForm1::SetAreaOf(std::shared_ptr<const Area> area, const std::string& name) {
  area_ = std::move(area);
  areaFile_.clear();
  areaBuffer_.clear();
  face_.LabelArea = area_ ? name : kNoAreaText;
  areaBounds_ = area_ ? WithArea({}, area_) : TaskEntries{};
  if (!area_) return;
  TaskEntries& typed = entries_.task;
  typed.left = areaBounds_.left;
  typed.right = areaBounds_.right;
  typed.top = areaBounds_.top;
  typed.bottom = areaBounds_.bottom;
}

void TForm1::AreaButtonClick(const TForm1Entries& entries) {
  Take(entries);
  RunHandler(platform_, [&] {
    const std::optional<std::string> chosen = platform_.OpenFileDialog("Open area file:", kAreaFileFilter, defaultPath_);
    if (chosen) ImportArea(*chosen);
  });
  NotifyControls();
}

bool TForm1::ImportArea(std::string file) {
  try {
    const double buffer = ParseBufferMetres(entries_.buffer);
    Area area = ImportAreaFileThrough(ExecutableFolder() + kAreaImportProgram, file, buffer);
    const std::string name = std::filesystem::path(file).filename().string();
    SetAreaOf(std::make_shared<const Area>(std::move(area)), buffer > 0 ? name + " + " + entries_.buffer + " m" : name);
    areaFile_ = file;
    areaBuffer_ = entries_.buffer;
    return true;
  } catch (const AreaError& refusal) {
    platform_.ShowMessage(refusal.what());  // nothing changes
    return false;
  }
}

// The name of an existing task with no coordinates typed: the user means
// that task, as quarnel-cli takes the other entries from its file.
bool TForm1::OfferedExistingTask() {
  const TaskEntries& typed = entries_.task;
  const auto blank = [](const std::string& text) { return Trim(text).empty(); };
  if (!blank(typed.left) || !blank(typed.right) || !blank(typed.top) || !blank(typed.bottom)) return false;
  const std::optional<std::string> named = NamedTask();
  if (!named) return false;
  const std::filesystem::path path(*named);
  if (platform_.AskYesNo("A task named " + path.filename().string() + " exists in " + path.parent_path().string() +
                         ". Open it?"))
    LoadProjectFile(entries_, *named);
  return true;
}

bool TForm1::BufferApplied() {
  if (areaFile_.empty() || !CurrentArea() || entries_.buffer == areaBuffer_) return true;
  return ImportArea(areaFile_);
}

void TForm1::BufferChanged(const TForm1Entries& entries) {
  Take(entries);
  RunHandler(platform_, [&] { BufferApplied(); });
  NotifyControls();
}

void TForm1::Start() {
  if (configPath_.empty()) configPath_ = ConfigFilePath(ExecutableFolder(), configPathOverride_);
  stopRequested_ = false;
  levels_.reset();
  if (!BufferApplied() || OfferedExistingTask()) return;
  const TaskEntries entries = StartEntries();
  if (LastZoom() > entries.zoom) {
    StartLevels(entries);
    return;
  }
  std::optional<TaskParameters> parameters = ParametersForStart(platform_, configPath_, entries);
  if (!parameters) return;
  std::unique_ptr<TaskRun> run = CreateTaskRun(platform_, std::move(*parameters), *this, runOptions_);
  if (!run) return;  // the last task's records stay
  StartRun(std::move(run));
}

void TForm1::StartRun(std::unique_ptr<TaskRun> run) {
  retired_.reset();
  // A task's tile list can take minutes: the files are written off this
  // thread, and Stop meanwhile cancels them with nothing written.
  preparing_ = std::move(run);
  face_.BitBtn1Caption = kStopCaption;
  face_.progress.LabelProgress = "Writing the task's files...";
  preparing_->PrepareInBackground(platform_.NowText(), configPath_,
                                  [this](const std::optional<std::string>& error) { Prepared(error); });
}

// Runs through RunOnGuiThread on the set-up's thread, so the new run is
// never destroyed here. A set-up that failed leaves its task created but not
// started; one that was stopped leaves the last task's records in place.
void TForm1::Prepared(const std::optional<std::string>& error) {
  if (error) {
    levels_.reset();
    if (error->empty())
      retired_ = std::move(preparing_);
    else
      run_ = std::move(preparing_);
    face_.BitBtn1Caption = kStartCaption;
    face_.progress.LabelProgress = error->empty() ? "The task's set-up was stopped; nothing was written." : "";
    if (!error->empty()) platform_.ShowError(*error);
    NotifyControls();
    return;
  }
  run_ = std::move(preparing_);
  face_.LabelTotalxy = "Total images: " + std::to_string(levels_ ? levels_->total : run_->Task().TotalTiles);
  totalKey_ = EstimateKey();
  face_.progress.ProgressBar1Max = run_->Task().TotalTiles;
  ShowProgress();
  run_->StartWorkers(BlankImagePathIn(ExecutableFolder()));
  timer1Enabled_ = true;
  platform_.SetTimerEnabled(true);
  NotifyControls();
}

void TForm1::LoadParametersfromprojectfilel1Click(const TForm1Entries& entries) {
  std::optional<std::string> chosen =
      platform_.OpenFileDialog("Open project file:", "Projects(*.qrnl)|*.qrnl", defaultPath_);
  if (chosen) LoadProjectFile(entries, *chosen);
}

void TForm1::LoadProjectFile(const TForm1Entries& entries, const std::string& path) {
  Take(entries);
  RunHandler(platform_, [&] {
    const std::string fullName = std::filesystem::absolute(path).lexically_normal().string();
    ProjectFile project;
    TaskEntries stored;
    try {
      project = ProjectFile::Read(fullName);
      stored = EntriesOf(project);
    } catch (const ProjectFileError& refusal) {
      platform_.ShowMessage(refusal.what());  // a damaged file changes no entry
      return;
    } catch (const AreaError& refusal) {
      platform_.ShowMessage(refusal.what());  // nor does a damaged area file: never widened to the rectangle
      return;
    }
    TaskEntries& typed = entries_.task;
    typed.threads = stored.threads;
    typed.savePath = stored.savePath;
    typed.taskName = stored.taskName;
    SetAreaOf(stored.area, stored.area ? project.AreaFile : std::string());
    // The texts as the file holds them, so that a Start resumes the task.
    typed.left = areaBounds_.left = stored.left;
    typed.right = areaBounds_.right = stored.right;
    typed.top = areaBounds_.top = stored.top;
    typed.bottom = areaBounds_.bottom = stored.bottom;
    face_.LabelTotalxy = TotalLabelOf(IniFile(fullName));
    if (stored.area) face_.LabelTotalxy = "Total images: " + std::to_string(TilesOf(stored).value_or(0));
    typed.mapsTypeIndex = project.MapsType >= 0 && project.MapsType < static_cast<int32_t>(kMapServices.size())
                              ? project.MapsType
                              : -1;
    typed.source = stored.source;
    if (project.Source) ListTaskSource(*project.Source);
    SelectMapType();
    // After the map type, so the stored zoom replaces that type's default; a task is one level.
    typed.zoom = project.Zoom;
    entries_.zoomTo = project.Zoom;
    FollowSlider();
    totalKey_ = EstimateKey();
  });
  NotifyControls();
}

void TForm1::Exit1Click() {
  SaveProgressForExit();
  if (view_) view_->ExitRequested();
}

void TForm1::Options2Click() {
  if (view_) view_->ShowOptionsDialog();
}

void TForm1::ConvertLongitudeorLatitudetodegreen1Click() {
  if (view_) view_->ShowConverter();
}

void TForm1::dowloadfailedfiles1Click() {
  if (view_) view_->ShowRedownloadWindow();
}

void TForm1::About1Click() {
  if (view_) view_->ShowAboutBox();
}

void TForm1::Viewlogfile1Click() {
  if (!run_) {
    platform_.ShowMessage("No task running now." + std::string(18, ' '));
    return;
  }
  if (FileExists(run_->Task().LogPath)) {
    platform_.ShellOpen(run_->Task().LogPath);
    return;
  }
  platform_.ShowMessage("No logfile now." + std::string(25, ' '));
}

// The task the window names, else the one it ran last; the companions open
// it rather than whatever task was started last elsewhere.
std::vector<std::string> TForm1::WindowTaskArguments() const {
  if (const std::optional<std::string> named = NamedTask()) return {*named};
  if (run_ && FileExists(run_->Task().ProjectFilePath())) return {run_->Task().ProjectFilePath()};
  return {};
}

std::optional<std::string> TForm1::NamedTask() const {
  const TaskEntries& typed = entries_.task;
  if (!typed.savePath.empty() && !typed.taskName.empty()) {
    std::string path = typed.savePath;
    if (path.back() != kDirSeparator) path += kDirSeparator;
    path += typed.taskName;
    if (!path.ends_with(kProjectExtension)) path += kProjectExtension;
    if (FileExists(path)) return path;
  }
  return std::nullopt;
}

void TForm1::MapViewer1Click() {
  const std::string program = MapViewerPathIn(ExecutableFolder());
  if (FileExists(program)) platform_.StartProgram(program, WindowTaskArguments());
}

void TForm1::MapCombiner1Click() {
  const std::string program = MapCombinerPathIn(ExecutableFolder());
  if (FileExists(program)) platform_.StartProgram(program, WindowTaskArguments());
}

void TForm1::Usermanual1Click() {
  const std::string manual = HelpFilePathIn(ExecutableFolder());
  if (!FileExists(manual)) {
    platform_.ShowMessage("The user manual is missing:\n" + manual);
    return;
  }
  platform_.ShellOpenFile(manual, [&platform = platform_, manual] {
    platform.ShowMessage("No program could show the user manual. Open this file in a web browser:\n" + manual);
  });
}

void TForm1::Homepage1Click() { platform_.ShellOpen(kHomepageAddress); }
