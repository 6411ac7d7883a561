#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Combine.h"

// One combine on its own thread. The window polls it: the counts are atomics,
// the lines and the outcome are taken under a lock. Destroying a run that
// has not ended cancels it and waits, so the temporary output is removed.
class CombineRun {
 public:
  struct Outcome {
    bool written = false;
    bool cancelled = false;
    CombineSummary summary;
    std::string message;  // the refusal or failure when not written
  };

  // progress, stage and report of the request are replaced by the run's own.
  explicit CombineRun(CombineRequest request);
  ~CombineRun();
  CombineRun(const CombineRun&) = delete;
  CombineRun& operator=(const CombineRun&) = delete;

  void Cancel() { cancel_ = true; }
  int64_t Done() const { return done_; }
  int64_t Total() const { return total_; }
  CombineStage Stage() const { return stage_; }
  // The reported lines since the last call.
  std::vector<std::string> TakeLines();
  // Set once the thread has ended.
  std::optional<Outcome> Finished();

 private:
  void Work(CombineRequest request);

  std::atomic<bool> cancel_{false};
  std::atomic<int64_t> done_{0}, total_{0};
  std::atomic<CombineStage> stage_{CombineStage::Tiles};
  std::mutex mutex_;
  std::vector<std::string> lines_;
  std::optional<Outcome> outcome_;
  std::thread thread_;
};
