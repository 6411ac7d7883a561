#include "RequestPacer.h"

#include <algorithm>
#include <thread>

RequestPacer::RequestPacer(int32_t perSecond) {
  if (perSecond > 0) interval_ = std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / perSecond;
}

bool RequestPacer::Wait(const std::atomic<bool>& stop) {
  if (interval_ == Clock::duration::zero()) return !stop.load();
  Clock::time_point slot;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    slot = std::max(Clock::now(), next_);
    next_ = slot + interval_;
  }
  return SleepUntilUnlessStopped(slot, stop);
}

bool SleepUntilUnlessStopped(std::chrono::steady_clock::time_point until, const std::atomic<bool>& stop) {
  // Short sleeps, so that a Stop is answered at once even in a long wait.
  constexpr auto kSlice = std::chrono::milliseconds(50);
  for (;;) {
    if (stop.load()) return false;
    const auto now = std::chrono::steady_clock::now();
    if (now >= until) return true;
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(until - now, kSlice));
  }
}
