#include "FileChecks.h"

#include <filesystem>
#include <functional>

namespace fs = std::filesystem;

bool EveryLineEndsWithCrLf(const std::string& text) {
  if (text.empty()) return true;
  if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) return false;
  for (std::size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 1))
    if (at == 0 || text[at - 1] != '\r') return false;
  return true;
}

std::map<std::string, std::string> Fingerprints(const std::string& root) {
  std::map<std::string, std::string> prints;
  std::error_code error;
  for (fs::recursive_directory_iterator it(root, fs::directory_options::none, error), end;
       it != end; it.increment(error)) {
    const fs::path& path = it->path();
    const std::string key = fs::relative(path, root).string();
    const fs::file_status status = fs::symlink_status(path);
    if (fs::is_symlink(status)) {
      prints[key] = "link->" + fs::read_symlink(path).string();
    } else if (fs::is_regular_file(status)) {
      const std::string bytes = ReadFile(path.string());
      prints[key] = "file:" + std::to_string(bytes.size()) + ":" +
                    std::to_string(std::hash<std::string>{}(bytes));
    } else if (fs::is_directory(status)) {
      prints[key] = "dir";
    } else {
      prints[key] = "other";
    }
  }
  return prints;
}
