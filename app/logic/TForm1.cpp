#include "TForm1.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "AppPaths.h"
#include "AreaImport.h"
#include "HandlerGuard.h"
#include "IniFile.h"
#include "MapServices.h"
#include "ProjectFile.h"
#include "ProgressLine.h"
#include "TextFormat.h"

namespace {

bool FileExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

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
    : platform_(platform), configPathOverride_(std::move(configPathOverride)), runOptions_(runOptions) {}

TForm1::~TForm1() {
  // Workers still running (or a set-up still writing) report to the run and
  // through it to this window; the process is ending, so the run is
  // abandoned rather than destroyed.
  if (RunningWorkers() > 0) (void)run_.release();
  if (preparing_) (void)preparing_.release();
}

std::string TForm1::ExecutableFolder() {
  std::string folder = platform_.ExecutableFolder();
  if (!folder.empty() && folder.back() != kDirSeparator) folder += kDirSeparator;
  return folder;
}

// The entries an estimate is for: the typed rectangle, the levels and the area.
std::string TForm1::EstimateKey() const {
  const TaskEntries entries = Entries();
  char area[32];
  std::snprintf(area, sizeof area, "%p", static_cast<const void*>(entries.area.get()));
  return entries.left + '|' + entries.right + '|' + entries.top + '|' + entries.bottom + '|' +
         std::to_string(entries.zoom) + '|' + std::to_string(LastZoom()) + '|' + area;
}

void TForm1::NotifyControls() {
  // Typing over the area's bounds goes back to the rectangle.
  if (area_ && !CurrentArea()) SetArea(nullptr, {});
  UpdateEstimate();
  if (view_) view_->ControlsChanged();
}

// A range's estimate over an area builds a mask per level: only when the
// entries changed. A sample from the server stands while they do not.
void TForm1::UpdateEstimate() {
  const std::string key = EstimateKey();
  if (const std::optional<std::string> sampled = serverEstimate_.TextFor(key)) {
    LabelEstimate = *sampled;
    return;
  }
  if (key == estimateKey_) return;
  LabelEstimate = EstimateText(Entries(), LastZoom());
  estimateKey_ = key;
}

void TForm1::EstimateFromServerClick() {
  RunHandler(platform_, [&] {
    if (serverEstimate_.Running()) return;
    StartPolicy policy;
    policy.replace = policy.bigTask = StartPolicy::Decide::Go;
    policy.dryRun = true;
    const std::optional<TaskParameters> parameters = ParametersForStart(platform_, ConfigPath, Entries(), policy);
    if (parameters) serverEstimate_.Start(*parameters, LastZoom(), EstimateKey(), [this] { NotifyControls(); });
  });
  NotifyControls();
}

void TForm1::FormShow() {
  RunHandler(platform_, [&] {
    const std::string executableFolder = ExecutableFolder();
    ConfigPath = ConfigFilePath(executableFolder, configPathOverride_);
    HelpFilePath = HelpFilePathIn(executableFolder);
    HomepageAddress = kHomepageAddress;
    SupportMailAddress = kSupportMailAddress;

    comboMapsTypeItems.clear();
    for (const MapService& row : kMapServices) comboMapsTypeItems.emplace_back(row.label);

    const IniFile config(ConfigPath);
    DefaultPath = config.ReadString("IniParas", "DefaultPath", MainWindowDefaultSavePath());
    DefaultOutputName = config.ReadString("IniParas", "DefaultOutputName", "bigmap.bmp");
    DefaultThreadCount = config.ReadInteger("IniParas", "DefaultThreadCount", 1);
    VersionText = config.ReadString("IniParas", "Version", "3.3");

    Caption = std::string(kApplicationCaption) + " " + VersionText;
    Edit6 = DefaultPath;
    UpDown2Max = kMaxWorkers;
    Edit10 = std::to_string(DefaultThreadCount);
    comboMapsTypeIndex = 8;
    comboMapsTypeChange();
  });
  NotifyControls();
}

void TForm1::comboMapsTypeChange() {
  // A selector without a valid row (a project file's odd map type) leaves the slider alone.
  if (comboMapsTypeIndex >= 0 && comboMapsTypeIndex < static_cast<int32_t>(kMapServices.size())) {
    const MapService& row = kMapServices[comboMapsTypeIndex];
    TrackBar1Max = row.highestZoom;
    TrackBar1Min = row.lowestZoom;
    TrackBar1Position = row.defaultZoom;
  }
  TrackBar1Change();
}

void TForm1::TrackBar1Change() {
  Label8 = std::to_string(TrackBar1Position);
  TrackBar1Hint = Label8;
  if (ZoomToPosition == zoomFollowed_ || ZoomToPosition < TrackBar1Position) ZoomToPosition = TrackBar1Position;
  ZoomToPosition = std::max(std::min(ZoomToPosition, TrackBar1Max), TrackBar1Position);
  zoomFollowed_ = TrackBar1Position;
  NotifyControls();
}

void TForm1::ZoomToChange() {
  ZoomToPosition = std::max(std::min(ZoomToPosition, TrackBar1Max), TrackBar1Position);
  NotifyControls();
}

void TForm1::Button1Click() {
  if (std::optional<std::string> folder = platform_.BrowseForFolder("Select path to save")) {
    Edit6 = *folder;
    NotifyControls();
  }
}

void TForm1::BitBtn1Click() {
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

TaskEntries TForm1::Entries() const {
  TaskEntries entries;
  entries.left = Edit1;
  entries.right = Edit3;
  entries.top = Edit2;
  entries.bottom = Edit4;
  entries.savePath = Edit6;
  entries.threads = Edit10;
  entries.taskName = EditTaskName;
  entries.zoom = TrackBar1Position;
  entries.mapsTypeIndex = comboMapsTypeIndex;
  entries.area = CurrentArea();
  return entries;
}

std::shared_ptr<const Area> TForm1::CurrentArea() const {
  const bool holdsBounds = areaBounds_.left == Edit1 && areaBounds_.right == Edit3 && areaBounds_.top == Edit2 &&
                           areaBounds_.bottom == Edit4;
  return holdsBounds ? area_ : nullptr;
}

void TForm1::SetArea(std::shared_ptr<const Area> area, const std::string& name) {
  area_ = std::move(area);
  LabelArea = area_ ? name : kNoAreaText;
  areaBounds_ = area_ ? WithArea({}, area_) : TaskEntries{};
  if (!area_) return;
  Edit1 = areaBounds_.left;
  Edit3 = areaBounds_.right;
  Edit2 = areaBounds_.top;
  Edit4 = areaBounds_.bottom;
}

void TForm1::AreaButtonClick() {
  RunHandler(platform_, [&] {
    const std::optional<std::string> chosen = platform_.OpenFileDialog("Open area file:", kAreaFileFilter, DefaultPath);
    if (!chosen) return;
    try {
      const double buffer = ParseBufferMetres(EditBuffer);
      Area area = ImportAreaFileThrough(ExecutableFolder() + kAreaImportProgram, *chosen, buffer);
      const std::string name = std::filesystem::path(*chosen).filename().string();
      SetArea(std::make_shared<const Area>(std::move(area)), buffer > 0 ? name + " + " + EditBuffer + " m" : name);
    } catch (const AreaError& refusal) {
      platform_.ShowMessage(refusal.what());  // nothing changes
    }
  });
  NotifyControls();
}

void TForm1::Start() {
  if (ConfigPath.empty()) ConfigPath = ConfigFilePath(ExecutableFolder(), configPathOverride_);
  stopRequested_ = false;
  levels_.reset();
  const TaskEntries entries = Entries();
  if (LastZoom() > entries.zoom) {
    StartLevels(entries);
    return;
  }
  std::optional<TaskParameters> parameters = ParametersForStart(platform_, ConfigPath, entries);
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
  BitBtn1Caption = kStopCaption;
  LabelProgress = "Writing the task's files...";
  preparing_->PrepareInBackground(platform_.NowText(), ConfigPath,
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
    BitBtn1Caption = kStartCaption;
    LabelProgress = error->empty() ? "The task's set-up was stopped; nothing was written." : "";
    if (!error->empty()) platform_.ShowError(*error);
    NotifyControls();
    return;
  }
  run_ = std::move(preparing_);
  LabelTotalxy = "Total images: " + std::to_string(levels_ ? levels_->total : run_->Task().TotalTiles);
  ProgressBar1Max = run_->Task().TotalTiles;
  ShowProgress();
  run_->StartWorkers(BlankImagePathIn(ExecutableFolder()));
  Timer1Enabled = true;
  platform_.SetTimerEnabled(true);
  NotifyControls();
}

void TForm1::LoadParametersfromprojectfilel1Click() {
  std::optional<std::string> chosen =
      platform_.OpenFileDialog("Open project file:", "Projects(*.qrnl)|*.qrnl", DefaultPath);
  if (chosen) LoadProjectFile(*chosen);
}

void TForm1::LoadProjectFile(const std::string& path) {
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
    Edit10 = stored.threads;
    Edit6 = stored.savePath;
    EditTaskName = stored.taskName;
    SetArea(stored.area, stored.area ? project.AreaFile : std::string());
    // The texts as the file holds them, so that a Start resumes the task.
    Edit1 = areaBounds_.left = stored.left;
    Edit3 = areaBounds_.right = stored.right;
    Edit2 = areaBounds_.top = stored.top;
    Edit4 = areaBounds_.bottom = stored.bottom;
    LabelTotalxy = TotalLabelOf(IniFile(fullName));
    if (stored.area) LabelTotalxy = "Total images: " + std::to_string(TilesOf(stored).value_or(0));
    comboMapsTypeIndex = project.MapsType >= 0 && project.MapsType < static_cast<int32_t>(kMapServices.size())
                             ? project.MapsType
                             : -1;
    comboMapsTypeChange();
    // After the map type, so the stored zoom replaces that type's default; a task is one level.
    TrackBar1Position = project.Zoom;
    ZoomToPosition = project.Zoom;
    TrackBar1Change();
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

void TForm1::MapViewer1Click() {
  const std::string program = MapViewerPathIn(ExecutableFolder());
  if (FileExists(program)) platform_.StartProgram(program);
}

void TForm1::MapCombiner1Click() {
  const std::string program = MapCombinerPathIn(ExecutableFolder());
  if (FileExists(program)) platform_.StartProgram(program);
}

void TForm1::Usermanual1Click() {
  const std::string manual = HelpFilePath.empty() ? HelpFilePathIn(ExecutableFolder()) : HelpFilePath;
  if (!FileExists(manual)) {
    platform_.ShowMessage("The user manual is missing:\n" + manual);
    return;
  }
  platform_.ShellOpenFile(manual, [&platform = platform_, manual] {
    platform.ShowMessage("No program could show the user manual. Open this file in a web browser:\n" + manual);
  });
}

void TForm1::Homepage1Click() { platform_.ShellOpen(kHomepageAddress); }
