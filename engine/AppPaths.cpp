#include "AppPaths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "Files.h"

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string WithoutTrailingSeparator(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

constexpr const char* kBlankImage = "blankimg/blank.png";

}  // namespace

std::string ConfigFilePath(const ConfigLocationInputs& inputs) {
  if (!inputs.overridePath.empty()) return inputs.overridePath;
  if (inputs.executableFolderWritable && !inputs.installed) return inputs.executableFolder + "ini/config.ini";
  // XDG says a relative $XDG_CONFIG_HOME is to be ignored.
  std::string base = inputs.xdgConfigHome;
  if (base.empty() || base.front() != '/') base = WithoutTrailingSeparator(inputs.home) + "/.config";
  return WithoutTrailingSeparator(base) + "/quarnel/config.ini";
}

std::string ConfigFilePath(const std::string& executableFolder, const std::string& overridePath) {
  ConfigLocationInputs inputs;
  inputs.executableFolder = executableFolder;
  inputs.overridePath = overridePath;
  inputs.xdgConfigHome = Environment("XDG_CONFIG_HOME");
  inputs.home = HomeFolder();
  inputs.executableFolderWritable =
      !executableFolder.empty() && ::access(executableFolder.c_str(), W_OK) == 0;
  inputs.installed = RunsFromAnInstall(executableFolder);
  return ConfigFilePath(inputs);
}

std::string RunningExecutableFolder() {
  std::error_code error;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string("./") : exe.parent_path().string() + "/";
}

std::string HomeFolder() {
  std::string home = Environment("HOME");
  if (home.empty()) {
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir) home = entry->pw_dir;
  }
  return WithoutTrailingSeparator(home);
}

std::string MainWindowDefaultSavePath() { return HomeFolder() + "/qrnl"; }
std::string OptionsDefaultSavePath() { return HomeFolder() + "/downloads"; }

std::string InstalledDataFolder(const std::string& executableFolder) {
  const std::filesystem::path folder = std::filesystem::path(executableFolder) / "../share/quarnel/";
  return folder.lexically_normal().string();
}

std::string ProgramFilePath(const std::string& executableFolder, const std::string& relativePath) {
  const std::string beside = executableFolder + relativePath;
  if (PathExists(beside)) return beside;
  const std::string installed = InstalledDataFolder(executableFolder) + relativePath;
  return PathExists(installed) ? installed : beside;
}

bool RunsFromAnInstall(const std::string& executableFolder) {
  return !executableFolder.empty() && ProgramFilePath(executableFolder, kBlankImage) != executableFolder + kBlankImage;
}

std::string HelpFilePathIn(const std::string& executableFolder) {
  return ProgramFilePath(executableFolder, "help/help.html");
}
std::string BlankImagePathIn(const std::string& executableFolder) {
  return ProgramFilePath(executableFolder, kBlankImage);
}
std::string MapViewerPathIn(const std::string& executableFolder) { return executableFolder + "glimmet"; }
std::string MapCombinerPathIn(const std::string& executableFolder) { return executableFolder + "stitchel"; }
