#include "Files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace {

bool StatOf(const std::string& path, struct stat& info) { return ::stat(path.c_str(), &info) == 0; }

}  // namespace

bool PathExists(const std::string& path) {
  struct stat info {};
  return StatOf(path, info);
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return StatOf(path, info) && S_ISREG(info.st_mode);
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return StatOf(path, info) && S_ISDIR(info.st_mode);
}

bool FolderIsEmpty(const std::string& path) {
  DIR* folder = ::opendir(path.c_str());
  if (!folder) return false;
  bool empty = true;
  while (const dirent* entry = ::readdir(folder)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      empty = false;
      break;
    }
  }
  ::closedir(folder);
  return empty;
}

std::optional<std::string> MakeFolders(const std::string& path) {
  if (path.empty()) return std::string(std::strerror(ENOENT));
  if (IsDirectory(path)) return std::nullopt;
  // The parent is the text before the last slash that trailing slashes leave.
  const std::size_t last = path.find_last_not_of('/');
  const std::size_t slash = last == std::string::npos ? std::string::npos : path.rfind('/', last);
  if (slash != std::string::npos && slash > 0) {
    if (std::optional<std::string> problem = MakeFolders(path.substr(0, slash))) return problem;
  }
  // Another process may make it in between: that is as good.
  if (::mkdir(path.c_str(), 0777) == 0) return std::nullopt;
  const int error = errno;
  if (error == EEXIST && IsDirectory(path)) return std::nullopt;
  // A file in the folder's place: "File exists" would leave the user guessing which.
  return std::string(std::strerror(error == EEXIST ? ENOTDIR : error));
}
