#include "TestFiles.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder(const std::string& tag) {
  std::string pattern = (fs::temp_directory_path() / ("quarnel-" + tag + "-XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("cannot create the folder " + pattern);
  path_ = pattern + "/";
}

ScratchFolder::~ScratchFolder() {
  if (std::getenv("QUARNEL_KEEP_SCRATCH") != nullptr) return;
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

std::string ScratchFolder::MakeFolder(const std::string& name) const {
  const std::string path = path_ + name;
  fs::create_directories(path);
  return path;
}

std::size_t ScratchFolder::EntryCount() const {
  const fs::directory_iterator entries(path_);
  return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + path);
}

bool Exists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(path, ignored));
}
