#include "FailureWatch.h"

#include <algorithm>

namespace {

// A socket message spans two lines; a reason is one.
std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\r', ' ');
  text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
  return text;
}

}  // namespace

FailureWatch::FailureWatch(int32_t stopAfterFailures, std::function<void(const std::string&)> onStop)
    : stopAfterFailures_(stopAfterFailures), onStop_(std::move(onStop)) {}

void FailureWatch::Saved() {
  std::lock_guard lock(mutex_);
  ++settled_;
  onlyNotFound_ = false;
  streak_ = 0;
  streakFailures_.clear();
}

void FailureWatch::Failed(FetchOutcome outcome, const std::string& message, const std::string& url) {
  std::string reason;
  {
    std::lock_guard lock(mutex_);
    ++settled_;
    const bool notFound = outcome == FetchOutcome::NotFound;
    // "Not found" is no part of a streak; it is only looked at while nothing else came.
    if (!notFound && onlyNotFound_) streakFailures_.clear();
    if (!notFound || onlyNotFound_) {
      Seen& seen = streakFailures_[OneLine(message.empty() ? std::string("a failure without a message") : message)];
      if (seen.count++ == 0) seen.host = HostOf(url);
    }
    if (notFound) {
      if (onlyNotFound_ && settled_ == kNotFoundProbe)
        reason = Reason("the first " + std::to_string(kNotFoundProbe) + " tiles all failed");
    } else {
      onlyNotFound_ = false;
      ++streak_;
      if (stopAfterFailures_ > 0 && streak_ == stopAfterFailures_)
        reason = Reason(std::to_string(streak_) + " tiles in a row failed");
    }
    if (reason.empty() || stopped_) return;
    stopped_ = true;
  }
  if (onStop_) onStop_(reason);
}

std::string FailureWatch::Reason(const std::string& what) const {
  const auto most = std::max_element(streakFailures_.begin(), streakFailures_.end(),
                                     [](const auto& a, const auto& b) { return a.second.count < b.second.count; });
  return "The task was stopped: " + what + ", most often with \"" + most->first + "\" from " + most->second.host +
         ". Check the tile server in Options or in the configuration file, then Start again to resume.";
}
