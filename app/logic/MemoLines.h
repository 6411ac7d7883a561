#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

#include "AtomicFile.h"

// The lines of a multi-line text view. The log view can grow to hundreds of
// thousands of lines during a task, so appends never move existing lines and
// saves stream the lines to the file instead of building one big text.
class MemoLines {
 public:
  MemoLines() = default;
  MemoLines(std::initializer_list<std::string> lines) : lines_(lines) {}

  void Append(std::string line);
  void Assign(std::vector<std::string> lines);
  void Clear();

  std::size_t Count() const { return lines_.size(); }
  bool Empty() const { return lines_.empty(); }
  const std::string& operator[](std::size_t i) const { return lines_[i]; }
  const std::string& Last() const { return lines_.back(); }
  auto begin() const { return lines_.begin(); }
  auto end() const { return lines_.end(); }
  std::vector<std::string> ToVector() const;

  // Raised by every Assign and Clear: together with Count() it tells whether
  // the lines changed since a save (the view only ever grows in between).
  uint64_t Generation() const { return generation_; }

  // Every line followed by CR LF, written atomically. Returns the bytes written.
  uint64_t SaveToFile(const std::string& path, Durability durability) const;
  // Replaces the lines with those of a file (CR LF or LF endings); throws FileWriteError.
  void LoadFromFile(const std::string& path);

 private:
  std::deque<std::string> lines_;
  uint64_t generation_ = 0;
};

