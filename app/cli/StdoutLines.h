#pragma once

#include <string>
#include <string_view>

// Log lines for stdout, gathered in memory and written in large pieces:
// a task logs thousands of lines a second and a write per line would cost
// more than the download. Used on the GUI thread only.
class StdoutLines {
 public:
  explicit StdoutLines(int fd) : fd_(fd) {}
  ~StdoutLines() { Flush(); }
  StdoutLines(const StdoutLines&) = delete;
  StdoutLines& operator=(const StdoutLines&) = delete;

  void Append(std::string_view line);
  void Flush();

 private:
  static constexpr std::size_t kFlushSize = 64 * 1024;
  int fd_;
  std::string buffer_;
  bool broken_ = false;  // the reader went away: drop further output
};
