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
  // Short sleeps, so that a Stop is answered within a fraction of a second
  // even when the cap is low.
  constexpr auto kSlice = std::chrono::milliseconds(50);
  for (;;) {
    if (stop.load()) return false;
    const Clock::time_point now = Clock::now();
    if (now >= slot) return true;
    std::this_thread::sleep_for(std::min<Clock::duration>(slot - now, kSlice));
  }
}
