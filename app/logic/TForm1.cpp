#include "TForm1.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "AppPaths.h"
#include "HandlerGuard.h"
#include "IniFile.h"
#include "ProjectFile.h"
#include "ProgressLine.h"
#include "TextFormat.h"

const std::array<MapTypeRow, 9> kMapTypeTable = {{
    {"Google Street Maps", 1, 19, 12},
    {"Google Satellite Maps", 1, 20, 12},
    {"Google Terrain Maps", 1, 15, 12},
    {"Yahoo Street Maps", 1, 18, 12},
    {"Yahoo Satellite Maps", 1, 18, 12},
    {"Microsoft VirtualEarth Street Maps", 1, 19, 12},
    {"Microsoft VirtualEarth Satellite Maps", 1, 19, 12},
    {"Microsoft VirtualEarth Hybrid Maps", 1, 19, 12},
    {"OpenStreet Maps", 1, 18, 12},
}};

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

// The entries an estimate is for: the typed rectangle and zoom, and whatever else changes the count.
std::string TForm1::EstimateKey() const {
  const TaskEntries entries = Entries();
  return entries.left + '|' + entries.right + '|' + entries.top + '|' + entries.bottom + '|' +
         std::to_string(entries.zoom) + '|' + EstimateText(entries);
}

void TForm1::NotifyControls() {
  LabelEstimate = serverEstimate_.TextFor(EstimateKey()).value_or(EstimateText(Entries()));
  if (view_) view_->ControlsChanged();
}

void TForm1::EstimateFromServerClick() {
  RunHandler(platform_, [&] {
    if (serverEstimate_.Running()) return;
    StartPolicy policy;
    policy.replace = policy.bigTask = StartPolicy::Decide::Go;
    policy.dryRun = true;
    const std::optional<TaskParameters> parameters = ParametersForStart(platform_, ConfigPath, Entries(), policy);
    if (parameters) serverEstimate_.Start(*parameters, EstimateKey(), [this] { NotifyControls(); });
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
    for (const MapTypeRow& row : kMapTypeTable) comboMapsTypeItems.emplace_back(row.label);

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
  if (comboMapsTypeIndex >= 0 && comboMapsTypeIndex < static_cast<int32_t>(kMapTypeTable.size())) {
    const MapTypeRow& row = kMapTypeTable[comboMapsTypeIndex];
    TrackBar1Max = row.highestZoom;
    TrackBar1Min = row.lowestZoom;
    TrackBar1Position = row.defaultZoom;
  }
  TrackBar1Change();
}

void TForm1::TrackBar1Change() {
  Label8 = std::to_string(TrackBar1Position);
  TrackBar1Hint = Label8;
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
    if (preparing_)
      preparing_->Stop();
    else if (TaskRunning())
      run_->Stop();
    else
      Start();
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
  return entries;
}

void TForm1::Start() {
  if (ConfigPath.empty()) ConfigPath = ConfigFilePath(ExecutableFolder(), configPathOverride_);
  std::optional<TaskParameters> parameters = ParametersForStart(platform_, ConfigPath, Entries());
  if (!parameters) return;
  std::unique_ptr<TaskRun> run = CreateTaskRun(platform_, std::move(*parameters), *this, runOptions_);
  if (!run) return;  // the last task's records stay
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
  LabelTotalxy = "Total images: " + std::to_string(run_->Task().TotalTiles);
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
    try {
      project = ProjectFile::Read(fullName);
    } catch (const ProjectFileError& refusal) {
      platform_.ShowMessage(refusal.what());  // a damaged file changes no entry
      return;
    }
    const TaskEntries stored = EntriesOf(project);
    Edit1 = stored.left;
    Edit3 = stored.right;
    Edit2 = stored.top;
    Edit4 = stored.bottom;
    Edit10 = stored.threads;
    Edit6 = stored.savePath;
    EditTaskName = stored.taskName;
    LabelTotalxy = TotalLabelOf(IniFile(fullName));
    comboMapsTypeIndex = project.MapsType >= 0 && project.MapsType < static_cast<int32_t>(kMapTypeTable.size())
                             ? project.MapsType
                             : -1;
    comboMapsTypeChange();
    // After the map type, so the stored zoom replaces that type's default.
    TrackBar1Position = project.Zoom;
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
