#include "TaskLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>

namespace {

// The process /proc/locks names for an flock on this file, if it can be seen.
std::optional<long> LockHolder(const struct stat& file) {
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    std::istringstream fields(line);
    std::string number, kind, advisory, access, pid, where;
    if (!(fields >> number >> kind >> advisory >> access >> pid >> where) || kind != "FLOCK") continue;
    unsigned int major = 0, minor = 0;
    unsigned long long inode = 0;
    if (std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) continue;
    if (major == ::major(file.st_dev) && minor == ::minor(file.st_dev) && inode == file.st_ino) {
      const long holder = std::strtol(pid.c_str(), nullptr, 10);
      if (holder > 0) return holder;
    }
  }
  return std::nullopt;
}

// The name it was started by (comm would cut it at 15 characters).
std::string ProgramOf(long pid) {
  std::ifstream cmdline("/proc/" + std::to_string(pid) + "/cmdline");
  std::string first;
  std::getline(cmdline, first, '\0');
  const std::size_t slash = first.rfind('/');
  if (slash != std::string::npos) first.erase(0, slash + 1);
  return first.empty() ? "a program" : first;
}

}  // namespace

TaskLock::TaskLock(const std::string& path) {
  fd_.Reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd_) {
    refusal_ = "not to be locked: " + path + ": " + std::strerror(errno);
    return;
  }
  if (::flock(fd_.Get(), LOCK_EX | LOCK_NB) == 0) {
    held_ = true;
    return;
  }
  if (errno != EWOULDBLOCK) {
    refusal_ = "not to be locked: " + path + ": " + std::strerror(errno);
    return;
  }
  struct stat folder {};
  const std::optional<long> holder = ::fstat(fd_.Get(), &folder) == 0 ? LockHolder(folder) : std::nullopt;
  refusal_ = "being downloaded or refreshed by " +
             (holder ? ProgramOf(*holder) + " (process " + std::to_string(*holder) + ")" : "another process");
}
