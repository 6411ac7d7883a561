#include "Figures.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

std::string FigureLine(const std::string& name, const FigureValues& values) {
  std::string line = "figure: " + name;
  for (const auto& [key, value] : values) line += " " + key + "=" + value;
  return line;
}

void ReportFigure(const std::string& name, const FigureValues& values) {
  const std::string line = FigureLine(name, values) + "\n";
  std::fputs(line.c_str(), stdout);
  std::fflush(stdout);
  // One write with O_APPEND: tests running at once never interleave a line.
  const int fd = ::open(QUARNEL_FIGURES_FILE, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) return;
  [[maybe_unused]] const ssize_t written = ::write(fd, line.data(), line.size());
  ::close(fd);
}
