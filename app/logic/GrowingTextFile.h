#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "AtomicFile.h"
#include "UniqueFd.h"

// A text file of CR LF lines that only grows while a task runs (the log, the
// failed-tile list). Lines wait in memory until a save appends them, so a
// save costs what was added since the last one, not the whole file, and the
// file's bytes after a save are exactly those of a rewrite of every line.
//
// The file is kept open between saves. Each save first checks that the file
// is still what the last save left:
// - unchanged: the new lines are appended; a write that fails part way is
//   cut back, so the file is never left with half of a save;
// - deleted, or another file put in its place: the file is written anew, as
//   a whole and atomically, from the copy still held open plus the new lines;
// - shortened or overwritten in place (the bytes of earlier saves are gone):
//   the save is refused with an error naming the file and nothing is written;
//   the new lines wait for a later save.
class GrowingTextFile {
 public:
  GrowingTextFile() = default;
  GrowingTextFile(const GrowingTextFile&) = delete;
  GrowingTextFile& operator=(const GrowingTextFile&) = delete;

  // Takes over the file as it stands, calling eachLine for every line in
  // order. A file not in the form a rewrite gives (LF-only ends, no end on
  // its last line) is rewritten into that form first. Throws FileWriteError.
  void Open(const std::string& path, const std::function<void(std::string_view)>& eachLine);

  void Add(std::string_view line);
  // Throws FileWriteError; the lines stay unsaved then.
  void Save(Durability durability);

  // Saves, then rewrites the file atomically without the lines remove picks,
  // calling eachKept for every other line in order. Returns how many lines
  // left. Throws FileWriteError.
  std::size_t RemoveLines(const std::function<bool(std::string_view)>& remove,
                          const std::function<void(std::string_view)>& eachKept, Durability durability);

  const std::string& Path() const { return path_; }
  uint64_t SavedBytes() const { return size_; }
  std::size_t UnsavedBytes() const { return unsavedBytes_; }

 private:
  void Rebuild(Durability durability);
  void DropUnsaved();
  void Reopen();
  [[noreturn]] void Fail(const std::string& what, int error) const;

  std::string path_;
  UniqueFd fd_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  uint64_t size_ = 0;  // what the last save left
  // In blocks of a fixed size: a buffer that doubled as a fast task's lines
  // came in would leave the heap fragmented after every save.
  std::vector<std::string> unsaved_;
  std::size_t unsavedBytes_ = 0;
};
