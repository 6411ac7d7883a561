#include "Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// A tile file larger than this is no tile: the file is not read into memory.
constexpr off_t kMaxTileFileBytes = 16 << 20;

bool StatOf(const std::string& path, struct stat& info) { return ::stat(path.c_str(), &info) == 0; }

}  // namespace

bool PathExists(const std::string& path) {
  struct stat info {};
  return StatOf(path, info);
}

bool FileExists(const std::string& path) {
  struct stat info {};
  return StatOf(path, info) && S_ISREG(info.st_mode);
}

bool IsDirectory(const std::string& path) {
  struct stat info {};
  return StatOf(path, info) && S_ISDIR(info.st_mode);
}

bool FolderIsEmpty(const std::string& path) {
  DIR* folder = ::opendir(path.c_str());
  if (!folder) return false;
  bool empty = true;
  while (const dirent* entry = ::readdir(folder)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
      empty = false;
      break;
    }
  }
  ::closedir(folder);
  return empty;
}

std::optional<std::string> MakeFolders(const std::string& path) {
  if (path.empty()) return std::string(std::strerror(ENOENT));
  if (IsDirectory(path)) return std::nullopt;
  // The parent is the text before the last slash that trailing slashes leave.
  const std::size_t last = path.find_last_not_of('/');
  const std::size_t slash = last == std::string::npos ? std::string::npos : path.rfind('/', last);
  if (slash != std::string::npos && slash > 0) {
    if (std::optional<std::string> problem = MakeFolders(path.substr(0, slash))) return problem;
  }
  // Another process may make it in between: that is as good.
  if (::mkdir(path.c_str(), 0777) == 0) return std::nullopt;
  const int error = errno;
  if (error == EEXIST && IsDirectory(path)) return std::nullopt;
  // A file in the folder's place: "File exists" would leave the user guessing which.
  return std::string(std::strerror(error == EEXIST ? ENOTDIR : error));
}

// A FIFO or a device named like a tile would block an open or a read for
// ever: anything but a regular file (or a link to one) is refused unopened,
// and the open itself cannot wait.
bool ReadSmallFile(const std::string& path, std::string& bytes, bool& missing, std::string& problem) {
  struct stat named {};
  if (::lstat(path.c_str(), &named) != 0) {
    missing = errno == ENOENT;
    if (!missing) problem = std::strerror(errno);
    return false;
  }
  if (!S_ISREG(named.st_mode) && !S_ISLNK(named.st_mode)) {
    problem = "not a file";
    return false;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  missing = fd < 0 && errno == ENOENT;
  if (fd < 0) {
    if (!missing) problem = std::strerror(errno);
    return false;
  }
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (!ok) problem = "not a file";
  if (ok && info.st_size > kMaxTileFileBytes) {
    ok = false;
    problem = "file of " + std::to_string(info.st_size) + " bytes is too large for a tile";
  }
  if (ok) {
    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
      if (n <= 0) break;
      done += static_cast<std::size_t>(n);
    }
    bytes.resize(done);
  }
  ::close(fd);
  return ok;
}
