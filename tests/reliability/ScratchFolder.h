#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A private folder under /tmp for one test, removed with everything in it
// when the test ends (kept when QUARNEL_KEEP_SCRATCH is set, for a post-mortem).
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& tag);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::string& Path() const { return path_; }
  // path_ + "/" + name, with the folder created when makeFolder is set.
  std::string Sub(const std::string& name, bool makeFolder = false) const;

 private:
  std::string path_;
};

std::string ReadBytes(const std::string& path);  // empty when missing
void WriteBytes(const std::string& path, const std::string& bytes);
bool Exists(const std::string& path);

// Lines split on LF with an optional CR before it, as the list readers split them.
std::vector<std::string> SplitLines(const std::string& text);
bool EveryLineEndsWithCrLf(const std::string& text);

// Every file and link below root (not following links): relative path ->
// a fingerprint of its type, size and content.
std::map<std::string, std::string> Fingerprints(const std::string& root);
