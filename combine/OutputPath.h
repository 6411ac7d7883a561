#pragma once

#include <string>
#include <vector>

// The output's place: checked before any work, written under a hidden
// temporary name beside it, renamed into place at the end.

// The folders an output's place needed, made with their missing parents and
// removed again (those still empty) unless kept: a run that fails or is
// cancelled leaves no folder behind.
class MadeFolders {
 public:
  MadeFolders() = default;
  ~MadeFolders();
  MadeFolders(const MadeFolders&) = delete;
  MadeFolders& operator=(const MadeFolders&) = delete;
  // Throws CombineError naming the folder and the reason when it cannot be made.
  void Make(const std::string& folder);
  void Keep() { made_.clear(); }

 private:
  std::vector<std::string> made_;  // outermost first
};

// Throws CombineError: an output that exists (without force; the message
// ends "; <replaceHint> to replace it."), a folder that cannot be written.
// A missing folder is made through `made` (without one, it is refused).
void CheckOutputPlace(const std::string& path, bool force, const std::string& replaceHint = "give --force",
                      MadeFolders* made = nullptr);

// A hidden name beside path, unique to this process: ".NAME.part-PID-N".
std::string TemporaryBeside(const std::string& path);

// Removes what killed runs left beside path: the hidden temporaries of path
// and of the sidecars named (TemporaryBeside's names, with any ending), whose
// process no longer runs. A file or a whole folder; errors are passed over.
// Returns how many it removed.
int RemoveStaleTemporariesOf(const std::string& path, const std::vector<std::string>& sidecars = {});

// Removes its path (a file or a whole folder) when destroyed, unless released.
class TemporaryOutput {
 public:
  explicit TemporaryOutput(std::string path) : path_(std::move(path)) {}
  ~TemporaryOutput();
  TemporaryOutput(const TemporaryOutput&) = delete;
  TemporaryOutput& operator=(const TemporaryOutput&) = delete;
  const std::string& Path() const { return path_; }
  // Renames the temporary over target (a folder replaces the old one whole).
  // Throws CombineError when the rename fails.
  void MoveInto(const std::string& target);

 private:
  std::string path_;
  bool released_ = false;
};

// Makes a file's bytes durable before it is renamed into place.
void SyncFile(const std::string& path);

// path without a trailing separator.
std::string WithoutTrailingSeparator(const std::string& path);
