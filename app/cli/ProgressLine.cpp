#include "ProgressLine.h"

#include <cmath>
#include <cstdio>

namespace {

std::string FormatDuration(int64_t seconds) {
  char text[32];
  if (seconds >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  return text;
}

}  // namespace

std::string FormatProgress(int64_t done, int64_t total, double elapsedSeconds) {
  std::string line = std::to_string(done) + " of " + std::to_string(total) + " tiles";
  if (elapsedSeconds <= 0 || done <= 0) return line;
  const double rate = static_cast<double>(done) / elapsedSeconds;
  char rateText[32];
  std::snprintf(rateText, sizeof rateText, ", %.1f tiles/s", rate);
  line += rateText;
  if (total > done) {
    const double left = static_cast<double>(total - done) / rate;
    line += ", " + FormatDuration(static_cast<int64_t>(std::ceil(left))) + " left";
  }
  return line;
}
