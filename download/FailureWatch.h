#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "TileFetch.h"

// Watches the tiles a task settles for a server that is dead or wrong, so
// a task does not write a blank placeholder per tile through its whole area.
// The task is stopped when StopAfterFailures tiles in a row have failed
// (every listed failure counts but "not found"), or when the first 100 tiles
// settled all answered "not found" (an address that finds nothing). A
// coverage gap after saved tiles never stops it. Shared by all the workers
// of a task; onStop runs once, on the worker whose tile decided it.
class FailureWatch {
 public:
  static constexpr int64_t kNotFoundProbe = 100;

  FailureWatch(int32_t stopAfterFailures, std::function<void(const std::string& reason)> onStop);

  void Saved();
  void Failed(FetchOutcome outcome, const std::string& message, const std::string& url);

 private:
  struct Seen {
    int64_t count = 0;
    std::string host;
  };
  std::string Reason(const std::string& what) const;

  const int32_t stopAfterFailures_;
  std::function<void(const std::string&)> onStop_;
  std::mutex mutex_;
  int64_t settled_ = 0;
  int64_t streak_ = 0;
  bool onlyNotFound_ = true;
  bool stopped_ = false;
  std::map<std::string, Seen> streakFailures_;  // message -> how often in the streak, and where from
};
