#include "RequestPacer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = RequestPacer::Clock;

// Every start is due no earlier than its slot, and slots are 1/N apart from
// the first call on, so the i-th start comes at least i/N after the calls
// began: checked exactly, with no timing tolerance.
TEST(RequestPacer, SpacesStartsAcrossThreadsFromTheFirstBurstOn) {
  RequestPacer pacer(40);
  const std::atomic<bool> stop{false};
  std::mutex mutex;
  std::vector<Clock::time_point> starts;
  const Clock::time_point began = Clock::now();
  {
    std::vector<std::jthread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&] {
        for (int i = 0; i < 3; ++i) {
          ASSERT_TRUE(pacer.Wait(stop));
          std::lock_guard<std::mutex> lock(mutex);
          starts.push_back(Clock::now());
        }
      });
  }
  ASSERT_EQ(starts.size(), 12u);
  std::sort(starts.begin(), starts.end());
  for (std::size_t i = 0; i < starts.size(); ++i)
    EXPECT_GE(starts[i] - began, std::chrono::milliseconds(25) * i) << "start " << i;
}

TEST(RequestPacer, StopEndsAWaitAndNoCapNeverWaits) {
  RequestPacer slow(1);
  std::atomic<bool> stop{false};
  ASSERT_TRUE(slow.Wait(stop));  // the first slot is now
  std::jthread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    stop = true;
  });
  EXPECT_FALSE(slow.Wait(stop)) << "the second slot is a second away; the stop must win";

  RequestPacer none(0);
  const std::atomic<bool> go{false};
  const Clock::time_point began = Clock::now();
  for (int i = 0; i < 1000; ++i) ASSERT_TRUE(none.Wait(go));
  EXPECT_LT(Clock::now() - began, std::chrono::milliseconds(500));
}

}  // namespace
