#include "ScratchFolder.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder(const std::string& tag) {
  std::string pattern = "/tmp/quarnel-rel-" + tag + "-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + pattern);
  path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
  if (std::getenv("QUARNEL_KEEP_SCRATCH") != nullptr) return;
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string ScratchFolder::Sub(const std::string& name, bool makeFolder) const {
  const std::string path = path_ + "/" + name;
  if (makeFolder) fs::create_directories(path);
  return path;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

bool Exists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(path, ignored));
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    const std::size_t next = end == std::string::npos ? text.size() : end + 1;
    if (end == std::string::npos) end = text.size();
    if (end > start && text[end - 1] == '\r') --end;
    lines.emplace_back(text, start, end - start);
    start = next;
  }
  return lines;
}

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
      const std::string bytes = ReadBytes(path.string());
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
