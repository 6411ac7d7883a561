#include "AppPaths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string WithoutTrailingSeparator(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

std::string ConfigFilePath(const ConfigLocationInputs& inputs) {
  if (!inputs.overridePath.empty()) return inputs.overridePath;
  if (inputs.executableFolderWritable) return inputs.executableFolder + "ini/config.ini";
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
  return ConfigFilePath(inputs);
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

std::string HelpFilePathIn(const std::string& executableFolder) { return executableFolder + "help/help.html"; }
std::string BlankImagePathIn(const std::string& executableFolder) {
  return executableFolder + "blankimg/blank.png";
}
std::string MapViewerPathIn(const std::string& executableFolder) { return executableFolder + "glimmet"; }
std::string MapCombinerPathIn(const std::string& executableFolder) { return executableFolder + "stitchel"; }
