#include "Files.h"

#include <sys/stat.h>

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
