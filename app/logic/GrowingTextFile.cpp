#include "GrowingTextFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "TextFormat.h"

namespace {

constexpr std::size_t kReadChunk = std::size_t{1} << 20;
constexpr std::size_t kBlockBytes = std::size_t{64} << 10;

// Calls eachLine for every line of the file, split as SplitTextLines splits
// a text; returns whether the file is already in the form a rewrite gives.
// Returns an errno value through error when reading fails.
bool ForEachLine(int fd, const std::function<void(std::string_view)>& eachLine, int& error) {
  std::string chunk(kReadChunk, '\0');
  std::string partial;
  bool canonical = true;
  char previous = '\n';
  error = 0;
  for (;;) {
    const ssize_t n = ::read(fd, chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = errno;
      return false;
    }
    if (n == 0) break;
    const std::string_view piece(chunk.data(), static_cast<std::size_t>(n));
    std::size_t start = 0;
    for (std::size_t end; (end = piece.find('\n', start)) != std::string_view::npos; start = end + 1) {
      const char before = end > 0 ? piece[end - 1] : previous;
      if (before != '\r') canonical = false;
      std::string_view line = piece.substr(start, end - start);
      if (!partial.empty()) {
        partial.append(line);
        line = partial;
      }
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      eachLine(line);
      partial.clear();
    }
    partial.append(piece.substr(start));
    previous = piece.back();
  }
  if (!partial.empty()) {
    canonical = false;  // a last line without its end
    std::string_view line = partial;
    if (line.back() == '\r') line.remove_suffix(1);
    eachLine(line);
  }
  return canonical;
}

}  // namespace

void GrowingTextFile::Fail(const std::string& what, int error) const {
  throw FileWriteError("Cannot " + what + " file \"" + path_ + "\". " + std::strerror(error));
}

void GrowingTextFile::Open(const std::string& path, const std::function<void(std::string_view)>& eachLine) {
  fd_.Reset();
  path_ = path;
  DropUnsaved();
  UniqueFd readerFile(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!readerFile) throw FileWriteError("Cannot open file " + path);
  const int reader = readerFile.Get();
  int error = 0;
  const bool canonical = ForEachLine(reader, eachLine, error);
  if (!canonical && error == 0) {
    // Once, before anything is appended: the lines as a rewrite writes them.
    AtomicFileWriter writer(path, Durability::PowerLoss);
    std::string bytes;
    ::lseek(reader, 0, SEEK_SET);
    ForEachLine(
        reader,
        [&](std::string_view line) {
          bytes.append(line).append(kCrLf);
          if (bytes.size() >= kReadChunk) {
            writer.Append(bytes);
            bytes.clear();
          }
        },
        error);
    if (error == 0) {
      writer.Append(bytes);
      writer.Commit();
    }
  }
  readerFile.Reset();
  if (error != 0) Fail("read", error);
  Reopen();
}

void GrowingTextFile::Reopen() {
  fd_.Reset(::open(path_.c_str(), O_RDWR | O_APPEND | O_CLOEXEC));
  if (!fd_) Fail("open", errno);
  struct stat status {};
  if (::fstat(fd_.Get(), &status) != 0) Fail("open", errno);
  device_ = status.st_dev;
  inode_ = status.st_ino;
  size_ = static_cast<uint64_t>(status.st_size);
}

void GrowingTextFile::Add(std::string_view line) {
  const std::size_t bytes = line.size() + 2;
  if (unsaved_.empty() || unsaved_.back().size() + bytes > unsaved_.back().capacity()) {
    unsaved_.emplace_back();
    unsaved_.back().reserve(std::max(kBlockBytes, bytes));
  }
  unsaved_.back().append(line).append(kCrLf);
  unsavedBytes_ += bytes;
}

void GrowingTextFile::DropUnsaved() {
  unsaved_.clear();
  unsavedBytes_ = 0;
}

void GrowingTextFile::Save(Durability durability) {
  if (!fd_) throw FileWriteError("File \"" + path_ + "\" is not open");
  struct stat mine {}, there {};
  if (::fstat(fd_.Get(), &mine) != 0) Fail("write", errno);
  if (static_cast<uint64_t>(mine.st_size) != size_)
    throw FileWriteError("The file \"" + path_ +
                         "\" was changed by another program since the last save; it is left as it is.");
  const bool inPlace = ::stat(path_.c_str(), &there) == 0 && there.st_dev == device_ && there.st_ino == inode_;
  if (!inPlace) {
    Rebuild(durability);
    return;
  }
  for (const std::string& block : unsaved_) {
    std::size_t written = 0;
    while (written < block.size()) {
      const ssize_t n = ::write(fd_.Get(), block.data() + written, block.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        const int error = n < 0 ? errno : ENOSPC;
        [[maybe_unused]] const int cut = ::ftruncate(fd_.Get(), static_cast<off_t>(size_));
        Fail("write", error);
      }
      written += static_cast<std::size_t>(n);
    }
  }
  if (durability == Durability::PowerLoss && ::fdatasync(fd_.Get()) != 0) {
    const int error = errno;
    [[maybe_unused]] const int cut = ::ftruncate(fd_.Get(), static_cast<off_t>(size_));
    Fail("write", error);
  }
  size_ += unsavedBytes_;
  DropUnsaved();
}

// The file at the path is gone or is another one: it is written anew from
// the copy still held open, which holds exactly what the saves left.
void GrowingTextFile::Rebuild(Durability durability) {
  AtomicFileWriter writer(path_, durability);
  std::string chunk(kReadChunk, '\0');
  uint64_t copied = 0;
  while (copied < size_) {
    const std::size_t want = static_cast<std::size_t>(std::min<uint64_t>(chunk.size(), size_ - copied));
    const ssize_t n = ::pread(fd_.Get(), chunk.data(), want, static_cast<off_t>(copied));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) Fail("read", n < 0 ? errno : EIO);
    writer.Append(std::string_view(chunk.data(), static_cast<std::size_t>(n)));
    copied += static_cast<uint64_t>(n);
  }
  for (const std::string& block : unsaved_) writer.Append(block);
  writer.Commit();
  fd_.Reset();
  DropUnsaved();
  Reopen();
}

std::size_t GrowingTextFile::RemoveLines(const std::function<bool(std::string_view)>& remove,
                                         const std::function<void(std::string_view)>& eachKept,
                                         Durability durability) {
  Save(durability);
  AtomicFileWriter writer(path_, durability);
  std::string bytes;
  std::size_t removed = 0;
  int error = 0;
  if (::lseek(fd_.Get(), 0, SEEK_SET) != 0) Fail("read", errno);
  ForEachLine(
      fd_.Get(),
      [&](std::string_view line) {
        if (remove(line)) {
          ++removed;
          return;
        }
        eachKept(line);
        bytes.append(line).append(kCrLf);
        if (bytes.size() >= kReadChunk) {
          writer.Append(bytes);
          bytes.clear();
        }
      },
      error);
  if (error != 0) Fail("read", error);
  if (removed == 0) return 0;  // the writer's temporary goes with it
  writer.Append(bytes);
  writer.Commit();
  fd_.Reset();
  Reopen();
  return removed;
}
