#include "ProgressText.h"

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

// The rate is this run's: tiles done before a resume took no time of it.
std::string RateAndTimeLeft(int64_t done, int64_t total, double elapsedSeconds, int64_t doneBefore) {
  if (elapsedSeconds <= 0 || done - doneBefore <= 0) return {};
  const double rate = static_cast<double>(done - doneBefore) / elapsedSeconds;
  char rateText[32];
  std::snprintf(rateText, sizeof rateText, ", %.1f tiles/s", rate);
  std::string text = rateText;
  if (total > done) {
    const double left = static_cast<double>(total - done) / rate;
    text += ", " + FormatDuration(static_cast<int64_t>(std::ceil(left))) + " left";
  }
  return text;
}

}  // namespace

std::string FormatProgress(int64_t done, int64_t total, double elapsedSeconds, int64_t doneBefore) {
  return std::to_string(done) + " of " + std::to_string(total) + " tiles" +
         RateAndTimeLeft(done, total, elapsedSeconds, doneBefore);
}

std::string FormatProgress(int64_t done, int64_t total, int64_t failed, double elapsedSeconds, int64_t doneBefore) {
  return std::to_string(done) + " of " + std::to_string(total) + " tiles, " + std::to_string(failed) + " failed" +
         RateAndTimeLeft(done, total, elapsedSeconds, doneBefore);
}
