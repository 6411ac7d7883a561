#include "TaskEntries.h"

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "AppPaths.h"
#include "IniFile.h"
#include "NumberEntry.h"
#include "ProxyConfigReader.h"
#include "TaskConfig.h"
#include "TaskRun.h"
#include "TextFormat.h"
#include "TileHttpClient.h"

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

bool Resumes(const TaskEntries& entries, const std::string& savePath, const std::string& taskFileName) {
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
  return mapsType == entries.mapsTypeIndex && left == entries.left && right == entries.right &&
         top == entries.top && bottom == entries.bottom && zoom == entries.zoom &&
         std::to_string(threads) == entries.threads && folderPart == savePath && filePart == entries.taskName;
}

}  // namespace

const char* CoordinateProblem(double left, double right, double top, double bottom) {
  if (left > 180 || left < -180) return "Left Longitude should be between -180 and 180.";
  if (right > 180 || right < -180) return "Right Longitude should be between -180 and 180.";
  if (top > 90 || top < -90) return "Top Latitude should be between -90 and 90.";
  if (bottom > 90 || bottom < -90) return "Bottom Latitude should be between -90 and 90.";
  if (left > right) return "Left Longitude should less than Right Longitude!";
  if (top < bottom) return "Bottom Latitude should less than Top Latitude!";
  return nullptr;
}

std::optional<TaskParameters> ParametersForStart(Platform& platform, const std::string& configPath,
                                                 const TaskEntries& entries) {
  const IniFile config(configPath);
  TaskParameters settings;
  const ProxyConfig proxy = ReadProxyConfig(config);
  settings.UseProxy = proxy.UseProxy;
  settings.ProxyServer = proxy.ProxyServer;
  settings.ProxyPort = proxy.ProxyPort;
  settings.ProxyUsername = proxy.ProxyUsername;
  settings.ProxyPassword = proxy.ProxyPassword;
  // Refused before anything is written: a bad port would end every worker at once.
  if (const auto problem = proxy.UseProxy ? ProxyPortProblem(proxy.ProxyPort) : std::nullopt) {
    platform.ShowMessage(*problem);
    return std::nullopt;
  }
  // "" or ".qrnl" would make a hidden project file and dump the tiles into the save folder.
  if (entries.taskName.empty() || entries.taskName == kProjectExtension) {
    platform.ShowMessage("Please enter a task name.");
    return std::nullopt;
  }
  settings.Hosts = ReadTileHosts(config);
  settings.Network = ReadNetworkSettings(config);
  // Every https tile would fail, each with a blank in its place.
  if (const auto problem = CaFileProblem(settings.Network.CaFile)) {
    platform.ShowMessage(*problem);
    return std::nullopt;
  }
  if (entries.maxRequestsPerSecond) settings.Network.MaxRequestsPerSecond = *entries.maxRequestsPerSecond;

  settings.Zoom = entries.zoom;

  std::string savePath = entries.savePath;
  if (savePath.empty()) {
    platform.ShowMessage("Please select a path to save the images.");
    return std::nullopt;
  }
  if (!DirectoryExists(savePath) && ::mkdir(savePath.c_str(), 0777) != 0) {
    platform.ShowMessage("Create directory " + savePath + " Failed.");
    return std::nullopt;
  }
  if (savePath.back() != kDirSeparator) savePath += kDirSeparator;

  const std::optional<double> left = ParseCoordinate(entries.left), right = ParseCoordinate(entries.right),
                              top = ParseCoordinate(entries.top), bottom = ParseCoordinate(entries.bottom);
  if (!left || !right || !top || !bottom) {
    platform.ShowMessage("Longitude or latitude input error!");
    return std::nullopt;
  }
  if (const char* problem = CoordinateProblem(*left, *right, *top, *bottom)) {
    platform.ShowMessage(problem);
    return std::nullopt;
  }

  const std::optional<int32_t> threads = ParseInt32(entries.threads);
  if (!threads) throw std::runtime_error("'" + entries.threads + "' is not a valid integer value");
  // The worker table has eight slots; a larger count from a project or
  // configuration file is lowered rather than overrunning it.
  settings.ThreadCount = std::min(*threads, TaskRun::kMaxWorkers);

  std::string taskFileName = entries.taskName;
  if (ExtensionOf(taskFileName) != kProjectExtension) taskFileName += kProjectExtension;

  settings.Resume = Resumes(entries, savePath, taskFileName);
  settings.LeftLongitude = *left;
  settings.RightLongitude = *right;
  settings.TopLatitude = *top;
  settings.BottomLatitude = *bottom;
  settings.ThreadSlots = TaskRun::kMaxWorkers;
  settings.MapsType = 8;
  settings.SavePath = savePath;
  settings.TaskFileName = taskFileName;
  return settings;
}
