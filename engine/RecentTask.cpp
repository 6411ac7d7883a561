#include "RecentTask.h"

#include <filesystem>
#include <system_error>

#include "IniFile.h"

void RememberLastTask(const std::string& configPath, const std::string& projectFilePath) {
  try {
    IniFile ini(configPath);
    ini.SetCreateMode(0600);  // the same file may hold the proxy password
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(projectFilePath, error);
    ini.WriteString(kRecentSection, kLastTaskKey, error ? projectFilePath : absolute.lexically_normal().string());
  } catch (const std::exception&) {
  }
}

std::string LastTask(const std::string& configPath) {
  const IniFile ini(configPath);
  std::string path = ini.ReadString(kRecentSection, kLastTaskKey, "");
  std::error_code error;
  if (path.empty() || !std::filesystem::is_regular_file(path, error)) return {};
  return path;
}
