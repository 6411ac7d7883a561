#include "StdoutLines.h"

#include <unistd.h>

#include <cerrno>

void StdoutLines::Append(std::string_view line) {
  buffer_.append(line);
  buffer_.push_back('\n');
  if (buffer_.size() >= kFlushSize) Flush();
}

void StdoutLines::Flush() {
  std::size_t written = 0;
  while (!broken_ && written < buffer_.size()) {
    const ssize_t n = ::write(fd_, buffer_.data() + written, buffer_.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      broken_ = true;
      break;
    }
    written += static_cast<std::size_t>(n);
  }
  buffer_.clear();
}
