#pragma once

// Scratch folders and small file helpers shared by the test suites. Paths
// are plain strings; a std::filesystem::path converts to one.

#include <cstddef>
#include <string>

// A fresh folder under the temporary folder, removed with everything in it
// when the test ends (kept when QUARNEL_KEEP_SCRATCH is set, for a post-mortem).
class ScratchFolder {
 public:
  // The tag goes into the folder's name: <temp>/quarnel-<tag>-XXXXXX.
  explicit ScratchFolder(const std::string& tag = "test");
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  // Ends with "/".
  const std::string& Path() const { return path_; }
  // Path() + name.
  std::string operator/(const std::string& name) const { return path_ + name; }
  // Path() + name, created as a folder (with any missing parents).
  std::string MakeFolder(const std::string& name) const;
  // Names directly in the folder, for checking that no temporary was left behind.
  std::size_t EntryCount() const;

 private:
  std::string path_;
};

// The whole file; empty when it is missing or unreadable.
std::string ReadFile(const std::string& path);
// Creates or replaces the file; throws std::runtime_error when that fails.
void WriteFile(const std::string& path, const std::string& bytes);
// Whether anything stands at path, a dangling link included: links are not followed.
bool Exists(const std::string& path);
