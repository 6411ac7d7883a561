#pragma once

// Scratch folders and small file helpers for the logic tests.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace apptest {

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

inline bool Exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

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

// A fresh folder, removed with everything in it at the end of the test.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = ::testing::TempDir() + "quarnel-app-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    path_ = pattern + "/";
  }
  ~ScratchFolder() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& Path() const { return path_; }  // ends with "/"

 private:
  std::string path_;
};

}  // namespace apptest
