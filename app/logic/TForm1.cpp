#include "TForm1.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "AppPaths.h"
#include "HandlerGuard.h"
#include "IniFile.h"
#include "NumberEntry.h"
#include "ProxyConfigReader.h"
#include "RecentTask.h"
#include "TaskConfig.h"
#include "TileHttpClient.h"
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

bool DirectoryExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

// The text from the last dot on, unless a separator follows that dot.
std::string ExtensionOf(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.find(kDirSeparator, dot) != std::string::npos) return {};
  return name.substr(dot);
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

TForm1::TForm1(Platform& platform, std::string configPathOverride)
    : platform_(platform), configPathOverride_(std::move(configPathOverride)) {}

TForm1::~TForm1() {
  if (RunningWorkers == 0) return;  // the workers, if any, have ended: their destructors join at once
  // Workers still running may be waiting on the GUI thread, which is this
  // one: joining them would never return. They are abandoned with the task
  // they read; the process is ending.
  for (auto& worker : workers_) {
    if (!worker) continue;
    worker->Terminate();
    (void)worker.release();
  }
  (void)task_.release();
  (void)parameters_.release();
}

std::string TForm1::ExecutableFolder() {
  std::string folder = platform_.ExecutableFolder();
  if (!folder.empty() && folder.back() != kDirSeparator) folder += kDirSeparator;
  return folder;
}

void TForm1::NotifyControls() {
  if (view_) view_->ControlsChanged();
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
    if (BitBtn1Caption == kStartCaption)
      Start();
    else
      Stop();
  });
  NotifyControls();
}

bool TForm1::ValidateEntries(double& left, double& right, double& top, double& bottom) {
  const std::optional<double> l = ParseCoordinate(Edit1), r = ParseCoordinate(Edit3),
                              t = ParseCoordinate(Edit2), b = ParseCoordinate(Edit4);
  if (!l || !r || !t || !b) {
    platform_.ShowMessage("Longitude or latitude input error!");
    return false;
  }
  left = *l, right = *r, top = *t, bottom = *b;
  const char* message = nullptr;
  if (left > 180 || left < -180)
    message = "Left Longitude should be between -180 and 180.";
  else if (right > 180 || right < -180)
    message = "Right Longitude should be between -180 and 180.";
  else if (top > 90 || top < -90)
    message = "Top Latitude should be between -90 and 90.";
  else if (bottom > 90 || bottom < -90)
    message = "Bottom Latitude should be between -90 and 90.";
  else if (left > right)
    message = "Left Longitude should less than Right Longitude!";
  else if (top < bottom)
    message = "Bottom Latitude should less than Top Latitude!";
  if (message) {
    platform_.ShowMessage(message);
    return false;
  }
  return true;
}

bool TForm1::TestResume(const std::string& savePath, const std::string& taskFileName) const {
  const std::string fullName = savePath + taskFileName;
  if (!FileExists(fullName)) return false;
  const IniFile project(fullName);
  const std::string left = project.ReadString("AREA", "LeftLongitude", "");
  const std::string right = project.ReadString("AREA", "RightLongitude", "");
  const std::string top = project.ReadString("AREA", "TopLatitude", "");
  const std::string bottom = project.ReadString("AREA", "BottomLatitude", "");
  const int32_t zoom = project.ReadInteger("Zoom", "Zoom", 100);
  const int32_t threads = project.ReadInteger("THREADS", "ThreadCount", 0);
  const int32_t mapsType = project.ReadInteger("MapsType", "MapsType", 100);

  const std::size_t split = fullName.rfind(kDirSeparator) + 1;
  const std::string folderPart = fullName.substr(0, split);
  const std::string filePart = fullName.substr(split);
  // Texts, not numbers: "10.50" typed does not match a stored "10.5".
  return mapsType == comboMapsTypeIndex && left == Edit1 && right == Edit3 && top == Edit2 &&
         bottom == Edit4 && zoom == TrackBar1Position && std::to_string(threads) == Edit10 &&
         folderPart == savePath && filePart == EditTaskName;
}

void TForm1::Start() {
  if (ConfigPath.empty()) ConfigPath = ConfigFilePath(ExecutableFolder(), configPathOverride_);
  const IniFile config(ConfigPath);
  TaskParameters settings;
  const ProxyConfig proxy = ReadProxyConfig(config);
  settings.UseProxy = proxy.UseProxy;
  settings.ProxyServer = proxy.ProxyServer;
  settings.ProxyPort = proxy.ProxyPort;
  settings.ProxyUsername = proxy.ProxyUsername;
  settings.ProxyPassword = proxy.ProxyPassword;
  // Refused before anything is written: a bad port would end every worker at once.
  if (const auto problem = proxy.UseProxy ? ProxyPortProblem(proxy.ProxyPort) : std::nullopt) {
    platform_.ShowMessage(*problem);
    return;
  }
  // "" or ".qrnl" would make a hidden project file and dump the tiles into the save folder.
  if (EditTaskName.empty() || EditTaskName == kProjectExtension) {
    platform_.ShowMessage("Please enter a task name.");
    return;
  }
  settings.Hosts = ReadTileHosts(config);
  settings.Network = ReadNetworkSettings(config);
  // Every https tile would fail, each with a blank in its place.
  if (const auto problem = CaFileProblem(settings.Network.CaFile)) {
    platform_.ShowMessage(*problem);
    return;
  }
  if (MaxRequestsPerSecondOverride) settings.Network.MaxRequestsPerSecond = *MaxRequestsPerSecondOverride;

  settings.Zoom = TrackBar1Position;

  std::string savePath = Edit6;
  if (savePath.empty()) {
    platform_.ShowMessage("Please select a path to save the images.");
    return;
  }
  if (!DirectoryExists(savePath) && ::mkdir(savePath.c_str(), 0777) != 0) {
    platform_.ShowMessage("Create directory " + savePath + " Failed.");
    return;
  }
  if (savePath.back() != kDirSeparator) savePath += kDirSeparator;

  double left = 0, right = 0, top = 0, bottom = 0;
  if (!ValidateEntries(left, right, top, bottom)) return;

  RunningWorkers = 0;

  const std::optional<int32_t> threads = ParseInt32(Edit10);
  if (!threads) throw std::runtime_error("'" + Edit10 + "' is not a valid integer value");
  // The worker table has eight slots; a larger count from a project or
  // configuration file is lowered rather than overrunning it.
  settings.ThreadCount = std::min(*threads, kMaxWorkers);

  std::string taskFileName = EditTaskName;
  if (ExtensionOf(taskFileName) != kProjectExtension) taskFileName += kProjectExtension;

  settings.Resume = TestResume(savePath, taskFileName);
  settings.LeftLongitude = left;
  settings.RightLongitude = right;
  settings.TopLatitude = top;
  settings.BottomLatitude = bottom;
  settings.ThreadSlots = kMaxWorkers;
  settings.MapsType = 8;
  settings.SavePath = savePath;
  settings.TaskFileName = taskFileName;

  auto parameters = std::make_unique<TaskParameters>(std::move(settings));
  std::unique_ptr<DownloadTask> task;
  try {
    task = std::make_unique<DownloadTask>(*parameters);
  } catch (const TaskSetupError& error) {
    if (!error.userMessage.empty()) platform_.ShowMessage(error.userMessage);
    platform_.ShowMessage("Error: Create task failure.");
    return;
  } catch (const std::exception&) {
    platform_.ShowMessage("Error: Create task failure.");
    return;
  }
  // The old task refers to the old parameters, so it goes first.
  task_ = std::move(task);
  parameters_ = std::move(parameters);
  if (task_->TotalTiles < parameters_->ThreadCount) parameters_->ThreadCount = task_->TotalTiles;

  task_->WriteProjectFile();
  task_->WriteTileList();
  task_->WriteLogHeader(platform_.NowText());
  task_->CreateFailedList();
  RememberLastTask(ConfigPath, task_->ProjectFilePath());

  savedLog_ = {};
  savedFailed_ = {};
  ReplaceMemo1(SplitTextLines(ReadWholeFile(task_->LogPath)));
  ReplaceMemo2(SplitTextLines(ReadWholeFile(task_->FailedListPath)));

  tilesOk_ = 0;
  tilesFailed_ = 0;
  workersBanned_ = 0;
  LabelTotalxy = "Total images: " + std::to_string(task_->TotalTiles);
  BitBtn1Caption = kStopCaption;
  StartWorkers();
  TickCount = 0;
  exiting_ = false;
  Timer1Enabled = true;
  platform_.SetTimerEnabled(true);
}

void TForm1::StartWorkers() {
  const std::string blankImage = BlankImagePathIn(ExecutableFolder());
  pacer_ = std::make_unique<RequestPacer>(parameters_->Network.MaxRequestsPerSecond);
  for (int32_t n = 0; n < parameters_->ThreadCount; ++n) {
    workers_[n] = std::make_unique<TDownThread>(false, task_.get(), n, *this, blankImage, pacer_.get());
    ++RunningWorkers;
  }
}

void TForm1::Stop() {
  for (int32_t n = 0; n < WorkerSlotsInUse(); ++n) {
    if (workers_[n]) workers_[n]->Terminate();
    AppendMemo1("Thread" + std::to_string(n + 1) + "will be terminated by user. please wait...");
  }
}

int32_t TForm1::WorkerSlotsInUse() const {
  if (!parameters_) return 0;
  return std::clamp(parameters_->ThreadCount, 0, kMaxWorkers);
}

void TForm1::LoadParametersfromprojectfilel1Click() {
  std::optional<std::string> chosen =
      platform_.OpenFileDialog("Open project file:", "Projects(*.qrnl)|*.qrnl", DefaultPath);
  if (chosen) LoadProjectFile(*chosen);
}

void TForm1::LoadProjectFile(const std::string& path) {
  RunHandler(platform_, [&] {
    if (!FileExists(path)) throw FileWriteError("Cannot open file " + path);
    const std::string fullName = std::filesystem::absolute(path).lexically_normal().string();
    const IniFile project(fullName);
    Edit1 = project.ReadString("AREA", "LeftLongitude", "");
    Edit3 = project.ReadString("AREA", "RightLongitude", "");
    Edit2 = project.ReadString("AREA", "TopLatitude", "");
    Edit4 = project.ReadString("AREA", "BottomLatitude", "");
    Edit10 = std::to_string(project.ReadInteger("THREADS", "ThreadCount", DefaultThreadCount));
    const std::size_t split = fullName.rfind(kDirSeparator) + 1;
    Edit6 = fullName.substr(0, split);
    EditTaskName = fullName.substr(split);
    LabelTotalxy = TotalLabelOf(project);
    const int32_t mapsType = project.ReadInteger("MapsType", "MapsType", 8);
    comboMapsTypeIndex = mapsType >= 0 && mapsType < static_cast<int32_t>(kMapTypeTable.size()) ? mapsType : -1;
    comboMapsTypeChange();
    // After the map type, so the stored zoom replaces that type's default.
    TrackBar1Position = project.ReadInteger("Zoom", "Zoom", 0);
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
  if (!task_) {
    platform_.ShowMessage("No task running now." + std::string(18, ' '));
    return;
  }
  if (FileExists(task_->LogPath)) {
    platform_.ShellOpen(task_->LogPath);
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
  platform_.ShellOpen(HelpFilePath.empty() ? HelpFilePathIn(ExecutableFolder()) : HelpFilePath);
}

void TForm1::Homepage1Click() { platform_.ShellOpen(kHomepageAddress); }
