#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "UniqueFd.h"

// Every file Quarnel writes appears whole or not at all: the bytes go to a
// hidden temporary file in the same folder, which is then renamed over the
// target. A target that already exists keeps its permission bits.

class FileWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Durable writes are flushed to the device before the rename (project,
// configuration, log and list files); tiles only need to survive a killed process.
enum class Durability { ProcessCrash, PowerLoss };

// Throws FileWriteError with a message naming the path. A new file gets
// createMode, less the process umask.
void WriteFileAtomic(const std::string& path, std::string_view bytes,
                     Durability durability = Durability::PowerLoss, unsigned createMode = 0666);

// The lean form for tiles, written by the thousand: no flush to the device,
// the target's bits are not looked at, and a symbolic link at the target is
// replaced rather than followed. Throws FileWriteError like WriteFileAtomic.
void WriteTileFileAtomic(const std::string& path, std::string_view bytes);

// Puts bytes at path only when nothing (not even a link) stands there yet;
// readers never see a partial file. False when something was there or the
// write failed: for a placeholder, where either leaves the disk as it should be.
bool CreateFileAtomicNoReplace(const std::string& path, std::string_view bytes);

// Removes the hidden temporaries that a killed process left in a folder
// (only names of the forms these writers use, only of processes that no
// longer run). Returns how many it removed; errors are passed over.
int RemoveStaleTemporaries(const std::string& folder);

// Reads a whole file; throws FileWriteError ("Cannot open file ...") when it cannot.
std::string ReadWholeFile(const std::string& path);
// The same in pieces of up to 64 KiB, for files too large to hold.
void ReadFileInPieces(const std::string& path, const std::function<void(std::string_view)>& eachPiece);
// The loop of the same over an open descriptor, to its end: 0, or read's errno.
int ReadDescriptorInPieces(int fd, const std::function<void(std::string_view)>& eachPiece);

// Streams a large file to a temporary and renames it on Commit(). Destroyed
// without Commit(), it removes the temporary and leaves the target untouched.
class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(std::string path, Durability durability = Durability::PowerLoss,
                            unsigned createMode = 0666);
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  void Append(std::string_view bytes);
  void Commit();

 private:
  void Flush();
  int NameTemporary();
  void RemoveTemporary();
  [[noreturn]] void Fail(const std::string& action, int error);

  std::string path_;        // as the caller named it, for messages
  std::string targetPath_;  // the file replaced: path_ with a symbolic link resolved
  std::string tempPath_;  // empty while the file is unnamed
  UniqueFd fd_;
  std::string buffer_;
  Durability durability_;
};
