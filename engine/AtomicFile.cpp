#include "AtomicFile.h"

#include <dirent.h>
#include <signal.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kWriteBufferBytes = std::size_t{1} << 20;

std::string ErrorText(int error) { return std::strerror(error); }

std::string CreateErrorText(const std::string& path, int error) {
  return "Cannot create file \"" + path + "\". " + ErrorText(error);
}

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A hidden name beside the target, unique across threads and processes.
std::string TemporaryNameFor(const std::string& path, unsigned attempt) {
  static std::atomic<unsigned> counter{0};
  const auto slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return folder + "." + name + "." + std::to_string(::getpid()) + "-" +
         std::to_string(counter.fetch_add(1)) + "-" + std::to_string(attempt) + ".tmp";
}

// Opens a fresh temporary beside path; returns its descriptor and fills tempPath.
int OpenTemporary(const std::string& path, unsigned createMode, std::string& tempPath) {
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    tempPath = TemporaryNameFor(path, attempt);
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode & 07777);
    if (fd >= 0) {
      struct stat existing {};
      if (::stat(path.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
        ::fchmod(fd, existing.st_mode & 07777);
      return fd;
    }
    if (errno != EEXIST) throw FileWriteError(CreateErrorText(path, errno));
  }
  throw FileWriteError(CreateErrorText(path, EEXIST));
}

int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

// Makes the rename itself durable; file systems that cannot sync a folder are left as they are.
void SyncFolder(const std::string& path) {
  const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// A symbolic link stays a link: the file it points to is the one replaced.
std::string ResolveLink(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return path;
  std::string target = resolved;
  std::free(resolved);
  return target;
}

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

// "pid-n" or "pid-n-m": the pid, or nothing when text has another form.
std::optional<long> PidOfTag(std::string_view tag, int parts) {
  std::string_view pid;
  for (int part = 0; part < parts; ++part) {
    const std::size_t dash = tag.find('-');
    const std::string_view digits = part + 1 == parts ? tag : tag.substr(0, dash);
    if (!AllDigits(digits) || digits.size() > 9) return std::nullopt;
    if (part == 0) pid = digits;
    if (part + 1 < parts) {
      if (dash == std::string_view::npos) return std::nullopt;
      tag.remove_prefix(dash + 1);
    }
  }
  return std::stol(std::string(pid));
}

// The writing process of a temporary, from the names the writers give them:
// ".name.pid-n.tmp", ".name.pid-n-attempt.tmp" and ".name.blank-pid-thread-n".
std::optional<long> TemporaryOwner(std::string_view name) {
  if (name.size() < 2 || name[0] != '.') return std::nullopt;
  constexpr std::string_view kTmp = ".tmp";
  if (name.size() > kTmp.size() && name.substr(name.size() - kTmp.size()) == kTmp) {
    name.remove_suffix(kTmp.size());
    const std::size_t dot = name.rfind('.');
    if (dot == 0 || dot == std::string_view::npos) return std::nullopt;
    const std::string_view tag = name.substr(dot + 1);
    if (auto pid = PidOfTag(tag, 2)) return pid;
    return PidOfTag(tag, 3);
  }
  constexpr std::string_view kBlank = ".blank-";
  const std::size_t blank = name.rfind(kBlank);
  if (blank == std::string_view::npos || blank == 0) return std::nullopt;
  return PidOfTag(name.substr(blank + kBlank.size()), 3);
}

}  // namespace

int RemoveStaleTemporaries(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return 0;
  const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  int removed = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const std::optional<long> owner = TemporaryOwner(entry->d_name);
    if (!owner || *owner <= 0) continue;
    // A writer that still runs may be about to rename its temporary.
    if (::kill(static_cast<pid_t>(*owner), 0) == 0 || errno != ESRCH) continue;
    const std::string path = prefix + entry->d_name;
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
    if (::unlink(path.c_str()) == 0) ++removed;
  }
  ::closedir(dir);
  return removed;
}

void WriteFileAtomic(const std::string& path, std::string_view bytes, Durability durability,
                     unsigned createMode) {
  AtomicFileWriter writer(path, durability, createMode);
  writer.Append(bytes);
  writer.Commit();
}

namespace {

std::string TileTemporaryName(const std::string& path) {
  static const std::string pid = std::to_string(::getpid());
  static std::atomic<unsigned> counter{0};
  const auto slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  std::string tempPath;
  tempPath.reserve(path.size() + 24);
  tempPath.append(path, 0, nameStart).append(1, '.').append(path, nameStart, std::string::npos);
  tempPath.append(1, '.').append(pid).append(1, '-').append(std::to_string(counter.fetch_add(1))).append(".tmp");
  return tempPath;
}

// Gives an unnamed file a name; false with errno set when it cannot.
bool LinkUnnamed(int fd, const std::string& path) {
  // Straight from the descriptor where the kernel allows it: no walk through
  // /proc. Where the walk then works, the kernel refuses this process the
  // direct link, and later tiles do not ask for it again.
  static std::atomic<bool> directRefused{false};
  const bool triedDirect = !directRefused.load(std::memory_order_relaxed);
  if (triedDirect) {
    if (::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return true;
    if (errno != ENOENT && errno != EPERM && errno != EINVAL) return false;
  }
  char procPath[40];
  std::snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", fd);
  if (::linkat(AT_FDCWD, procPath, AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0) return false;
  if (triedDirect) directRefused.store(true, std::memory_order_relaxed);
  return true;
}

void WriteTileThroughTemporary(const std::string& path, std::string_view bytes) {
  const std::string tempPath = TileTemporaryName(path);
  const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) throw FileWriteError(CreateErrorText(path, errno));
  int error = WriteAll(fd, bytes);
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(tempPath.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(tempPath.c_str());
    throw FileWriteError(CreateErrorText(path, error));
  }
}

// An unnamed file in path's folder holding bytes; none when the file system has none.
UniqueFd UnnamedFileWith(const std::string& path, std::string_view bytes) {
  UniqueFd fd(::open(FolderOf(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
  if (!fd) return fd;
  if (const int error = WriteAll(fd.Get(), bytes)) throw FileWriteError(CreateErrorText(path, error));
  return fd;
}

}  // namespace

bool CreateFileAtomicNoReplace(const std::string& path, std::string_view bytes) {
  try {
    if (const UniqueFd fd = UnnamedFileWith(path, bytes)) {
      const bool linked = LinkUnnamed(fd.Get(), path);
      if (linked || errno == EEXIST) return linked;
    }
  } catch (const FileWriteError&) {
    return false;
  }
  // No unnamed files here, or no /proc to link them through: a named temporary.
  const std::string tempPath = TileTemporaryName(path);
  const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  const bool written = WriteAll(fd, bytes) == 0;
  const bool closed = ::close(fd) == 0;
  // link() refuses an existing name; where hard links are missing, so does this rename.
  bool published = written && closed && ::link(tempPath.c_str(), path.c_str()) == 0;
  if (!published && written && closed && errno != EEXIST)
    published = ::renameat2(AT_FDCWD, tempPath.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0;
  ::unlink(tempPath.c_str());
  return published;
}

// The tile is written into an unnamed file, which gets its name only once it
// is whole: a killed process leaves nothing behind, not even a temporary. A
// new tile is linked straight into place; a link cannot replace, so an
// existing tile (or anything else at its name) is replaced by a rename from a
// temporary name that exists only between two calls.
void WriteTileFileAtomic(const std::string& path, std::string_view bytes) {
  UniqueFd fd = UnnamedFileWith(path, bytes);
  if (!fd) return WriteTileThroughTemporary(path, bytes);  // no unnamed files here
  if (LinkUnnamed(fd.Get(), path)) return;
  if (errno != EEXIST) {
    fd.Reset();
    return WriteTileThroughTemporary(path, bytes);  // no /proc to link through
  }
  const std::string tempPath = TileTemporaryName(path);
  int error = LinkUnnamed(fd.Get(), tempPath) ? 0 : errno;
  fd.Reset();
  if (error == 0 && ::rename(tempPath.c_str(), path.c_str()) != 0) {
    error = errno;
    ::unlink(tempPath.c_str());
  }
  if (error != 0) throw FileWriteError(CreateErrorText(path, error));
}

int ReadDescriptorInPieces(int fd, const std::function<void(std::string_view)>& eachPiece) {
  char chunk[65536];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got == 0) return 0;
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    eachPiece(std::string_view(chunk, static_cast<std::size_t>(got)));
  }
}

void ReadFileInPieces(const std::string& path, const std::function<void(std::string_view)>& eachPiece) {
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd) throw FileWriteError("Cannot open file \"" + path + "\". " + ErrorText(errno));
  if (const int error = ReadDescriptorInPieces(fd.Get(), eachPiece))
    throw FileWriteError("Cannot read file \"" + path + "\". " + ErrorText(error));
}

std::string ReadWholeFile(const std::string& path) {
  std::string content;
  std::error_code error;
  if (const auto size = std::filesystem::file_size(path, error); !error) content.reserve(static_cast<std::size_t>(size));
  ReadFileInPieces(path, [&](std::string_view piece) { content.append(piece); });
  return content;
}

AtomicFileWriter::AtomicFileWriter(std::string path, Durability durability, unsigned createMode)
    : path_(std::move(path)), targetPath_(ResolveLink(path_)), durability_(durability) {
  // Unnamed until Commit, where the file system allows it: a process killed
  // while it writes leaves nothing behind.
  fd_.Reset(::open(FolderOf(targetPath_).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, createMode & 07777));
  if (fd_) {
    struct stat existing {};
    if (::stat(targetPath_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
      ::fchmod(fd_.Get(), existing.st_mode & 07777);
  } else {
    fd_.Reset(OpenTemporary(targetPath_, createMode, tempPath_));
  }
  buffer_.reserve(kWriteBufferBytes);
}

AtomicFileWriter::~AtomicFileWriter() {
  if (fd_) {
    fd_.Reset();
    RemoveTemporary();
  }
}

void AtomicFileWriter::RemoveTemporary() {
  if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
}

// An unnamed file gets its temporary name only now, a moment before the rename.
int AtomicFileWriter::NameTemporary() {
  if (!tempPath_.empty()) return 0;
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string name = TemporaryNameFor(targetPath_, attempt);
    if (LinkUnnamed(fd_.Get(), name)) {
      tempPath_ = name;
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

void AtomicFileWriter::Append(std::string_view bytes) {
  if (!fd_) throw FileWriteError("File \"" + path_ + "\" is already closed");
  if (buffer_.size() + bytes.size() > kWriteBufferBytes) {
    Flush();
    if (bytes.size() >= kWriteBufferBytes) {
      if (const int error = WriteAll(fd_.Get(), bytes)) Fail("write", error);
      return;
    }
  }
  buffer_.append(bytes);
}

void AtomicFileWriter::Commit() {
  if (!fd_) throw FileWriteError("File \"" + path_ + "\" is already closed");
  Flush();
  if (durability_ == Durability::PowerLoss && ::fsync(fd_.Get()) != 0) Fail("write", errno);
  if (const int error = NameTemporary()) Fail("create", error);
  if (const int error = fd_.Close()) {
    RemoveTemporary();
    throw FileWriteError("Cannot write file \"" + path_ + "\". " + ErrorText(error));
  }
  if (::rename(tempPath_.c_str(), targetPath_.c_str()) != 0) {
    const int error = errno;
    RemoveTemporary();
    throw FileWriteError(CreateErrorText(path_, error));
  }
  if (durability_ == Durability::PowerLoss) SyncFolder(targetPath_);
}

void AtomicFileWriter::Flush() {
  if (buffer_.empty()) return;
  if (const int error = WriteAll(fd_.Get(), buffer_)) Fail("write", error);
  buffer_.clear();
}

void AtomicFileWriter::Fail(const std::string& action, int error) {
  fd_.Reset();
  RemoveTemporary();
  throw FileWriteError("Cannot " + action + " file \"" + path_ + "\". " + ErrorText(error));
}
