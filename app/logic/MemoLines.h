#pragma once

#include <cstddef>
#include <deque>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

#include "LogLineKind.h"

// The lines of a multi-line text view. Appends never move existing lines.
// A view given a limit keeps only its newest lines: the task's files, not
// the views, hold every line of a long run. Each line keeps the kind the log
// view paints it by (Plain unless told).
class MemoLines {
 public:
  MemoLines() = default;
  MemoLines(std::initializer_list<std::string> lines) : lines_(lines), kinds_(lines.size()) {}
  MemoLines(std::size_t limit, std::initializer_list<std::string> lines)
      : lines_(lines), kinds_(lines.size()), limit_(limit) {}

  void Append(std::string line, LogLineKind kind = LogLineKind::Plain);
  // Keeps the newest lines when there are more than the limit; kinds, when
  // given, hold one kind per line.
  void Assign(std::vector<std::string> lines, const std::vector<LogLineKind>& kinds = {});
  void Clear() {
    lines_.clear();
    kinds_.clear();
  }

  std::size_t Count() const { return lines_.size(); }
  std::size_t Limit() const { return limit_; }
  bool Empty() const { return lines_.empty(); }
  const std::string& operator[](std::size_t i) const { return lines_[i]; }
  const std::string& Last() const { return lines_.back(); }
  LogLineKind Kind(std::size_t i) const { return kinds_[i]; }
  auto begin() const { return lines_.begin(); }
  auto end() const { return lines_.end(); }
  std::vector<std::string> ToVector() const;

 private:
  std::deque<std::string> lines_;
  std::deque<LogLineKind> kinds_;
  std::size_t limit_ = std::numeric_limits<std::size_t>::max();
};
