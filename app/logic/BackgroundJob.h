#pragma once

#include <functional>
#include <memory>
#include <thread>

#include "Platform.h"

// One job at a time off the GUI thread, for the window's network calls: the
// work runs on a thread of its own and hands back a routine, which the
// platform then runs on the GUI thread. A routine that arrives after the
// owner is gone is dropped.
class BackgroundJob {
 public:
  explicit BackgroundJob(Platform& platform) : platform_(platform) {}
  // Waits for the work in hand: its fetches keep their own time-outs.
  ~BackgroundJob();
  BackgroundJob(const BackgroundJob&) = delete;
  BackgroundJob& operator=(const BackgroundJob&) = delete;

  // The work must use only what it holds; an error escaping it reaches the
  // error display. False (nothing started) while a job runs.
  bool Start(std::function<std::function<void()>()> work);
  // Until the handed-back routine has run.
  bool Running() const { return running_; }

 private:
  Platform& platform_;
  std::thread thread_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  bool running_ = false;
};
