#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

// One scratch file per fuzzing process, in a folder removed when it ends.
class FuzzScratch {
 public:
  FuzzScratch(const char* tag, const char* fileName) {
    std::string dir = std::string("/tmp/quarnel-fuzz-") + tag + "-XXXXXX";
    if (::mkdtemp(dir.data()) == nullptr) std::abort();
    folder_ = dir;
    file_ = dir + "/" + fileName;
  }
  ~FuzzScratch() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  const std::string& File() const { return file_; }

 private:
  std::string folder_;
  std::string file_;
};
