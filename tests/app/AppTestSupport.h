#pragma once

// File helpers of the logic tests, beside the shared ones.

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "TestFiles.h"

namespace apptest {

inline unsigned PermissionBits(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return 0xFFFF;
  return status.st_mode & 07777;
}

// Puts a folder where a file is expected, so that writing the file fails.
inline void BlockWithFolder(const std::string& path) {
  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
}

}  // namespace apptest
