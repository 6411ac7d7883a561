#include "OutputPath.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <optional>
#include <string_view>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "CombineError.h"

namespace fs = std::filesystem;

std::string WithoutTrailingSeparator(const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  return trimmed;
}

MadeFolders::~MadeFolders() {
  for (auto it = made_.rbegin(); it != made_.rend(); ++it) ::rmdir(it->c_str());
}

void MadeFolders::Make(const std::string& folder) {
  std::vector<fs::path> missing;
  std::error_code error;
  for (fs::path at = fs::absolute(folder, error); !at.empty(); at = at.parent_path()) {
    if (fs::symlink_status(at, error).type() != fs::file_type::not_found) break;
    missing.push_back(at);
    if (at == at.parent_path()) break;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (::mkdir(it->c_str(), 0777) == 0)
      made_.push_back(it->string());
    else if (errno != EEXIST)
      throw CombineError("Cannot make the output folder " + folder + ": " + std::strerror(errno) + ".");
  }
}

void CheckOutputPlace(const std::string& path, bool force, const std::string& replaceHint, MadeFolders* made) {
  const std::string target = WithoutTrailingSeparator(path);
  std::error_code error;
  if (fs::symlink_status(target, error).type() != fs::file_type::not_found && !force)
    throw CombineError("The output " + path + " exists; " + replaceHint + " to replace it.");
  fs::path folder = fs::path(target).parent_path();
  if (folder.empty()) folder = ".";
  if (made && fs::symlink_status(folder, error).type() == fs::file_type::not_found) made->Make(folder.string());
  if (!fs::is_directory(folder, error)) {
    const bool missing = fs::symlink_status(folder, error).type() == fs::file_type::not_found;
    throw CombineError("The output folder " + folder.string() + (missing ? " is missing." : " is not a folder."));
  }
  // Permission bits lie to root and on read-only mounts: try a file.
  const std::string probe = TemporaryBeside((folder / "probe").string());
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0)
    throw CombineError("The output folder " + folder.string() + " cannot be written: " + std::strerror(errno) + ".");
  ::close(fd);
  ::unlink(probe.c_str());
}

std::string TemporaryBeside(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  const fs::path target(WithoutTrailingSeparator(path));
  fs::path folder = target.parent_path();
  const std::string name = "." + target.filename().string() + ".part-" + std::to_string(::getpid()) + "-" +
                           std::to_string(counter++);
  return (folder.empty() ? fs::path(name) : folder / name).string();
}

namespace {

constexpr std::string_view kPartTag = ".part-";

// The pid in "PID-N..." when text has that form.
std::optional<pid_t> PidOfPart(std::string_view text) {
  std::size_t digits = 0;
  while (digits < text.size() && digits < 9 && std::isdigit(static_cast<unsigned char>(text[digits]))) ++digits;
  if (digits == 0 || digits >= text.size() || text[digits] != '-') return std::nullopt;
  if (digits + 1 >= text.size() || !std::isdigit(static_cast<unsigned char>(text[digits + 1]))) return std::nullopt;
  return static_cast<pid_t>(std::stol(std::string(text.substr(0, digits))));
}

}  // namespace

int RemoveStaleTemporariesOf(const std::string& path, const std::vector<std::string>& sidecars) {
  const fs::path target(WithoutTrailingSeparator(path));
  const std::string folder = target.parent_path().empty() ? "." : target.parent_path().string();
  std::vector<std::string> prefixes;
  for (const std::string& own : sidecars)
    prefixes.push_back("." + fs::path(WithoutTrailingSeparator(own)).filename().string() + std::string(kPartTag));
  prefixes.push_back("." + target.filename().string() + std::string(kPartTag));
  prefixes.push_back(".probe" + std::string(kPartTag));  // CheckOutputPlace's
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return 0;
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name(entry->d_name);
    for (const std::string& prefix : prefixes) {
      if (!name.starts_with(prefix)) continue;
      const std::optional<pid_t> owner = PidOfPart(name.substr(prefix.size()));
      // A run that still goes on may be about to rename its temporary.
      if (owner && *owner > 0 && ::kill(*owner, 0) != 0 && errno == ESRCH) stale.emplace_back(name);
      break;
    }
  }
  ::closedir(dir);
  int removed = 0;
  for (const std::string& name : stale) {
    std::error_code error;
    if (fs::remove_all(fs::path(folder) / name, error) > 0 && !error) ++removed;
  }
  return removed;
}

TemporaryOutput::~TemporaryOutput() {
  if (released_) return;
  std::error_code error;
  fs::remove_all(path_, error);
}

void TemporaryOutput::MoveInto(const std::string& target) {
  const std::string to = WithoutTrailingSeparator(target);
  std::error_code error;
  // A folder cannot be renamed over a non-empty one: move the old aside first.
  std::string aside;
  if (fs::is_directory(path_, error) && fs::exists(fs::symlink_status(to, error))) {
    aside = TemporaryBeside(to);
    if (std::rename(to.c_str(), aside.c_str()) != 0)
      throw CombineError("Cannot replace " + to + ": " + std::strerror(errno) + ".");
  }
  if (std::rename(path_.c_str(), to.c_str()) != 0) {
    const int code = errno;
    if (!aside.empty()) std::rename(aside.c_str(), to.c_str());
    throw CombineError("Cannot move the output into place as " + to + ": " + std::strerror(code) + ".");
  }
  released_ = true;
  if (!aside.empty()) fs::remove_all(aside, error);
}

void SyncFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw CombineError("Cannot open " + path + ": " + std::strerror(errno) + ".");
  const int result = ::fsync(fd);
  const int code = errno;
  ::close(fd);
  if (result != 0) throw CombineError("Cannot write " + path + ": " + std::strerror(code) + ".");
}
