#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>

// Sleeps until the time comes; false, within a fraction of a second, as
// soon as stop is set.
bool SleepUntilUnlessStopped(std::chrono::steady_clock::time_point until, const std::atomic<bool>& stop);

// Spaces request starts across all the workers of a task at least 1/N
// second apart, the first burst included: each caller reserves the next
// free slot and sleeps until it comes. Transfers still overlap; only their
// starts are paced.
class RequestPacer {
 public:
  using Clock = std::chrono::steady_clock;

  // perSecond <= 0: no cap, Wait returns at once.
  explicit RequestPacer(int32_t perSecond);

  // Returns once this caller's start is due, or false as soon as stop is set.
  bool Wait(const std::atomic<bool>& stop);

 private:
  Clock::duration interval_{};
  std::mutex mutex_;
  Clock::time_point next_{};
};
