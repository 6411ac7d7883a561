#include "CombineRun.h"

#include <utility>

CombineRun::CombineRun(CombineRequest request) : thread_(&CombineRun::Work, this, std::move(request)) {}

CombineRun::~CombineRun() {
  cancel_ = true;
  thread_.join();
}

void CombineRun::Work(CombineRequest request) {
  request.progress = [this](int64_t done, int64_t total) {
    done_ = done;
    total_ = total;
    return !cancel_;
  };
  request.stage = [this](CombineStage stage) { stage_ = stage; };
  request.report = [this](const std::string& line) {
    const std::lock_guard lock(mutex_);
    lines_.push_back(line);
  };
  Outcome outcome;
  try {
    outcome.summary = Combine(request);
    outcome.written = true;
  } catch (const CombineCancelled& error) {
    outcome.cancelled = true;
    outcome.message = error.what();
  } catch (const std::exception& error) {
    outcome.message = error.what();
  }
  const std::lock_guard lock(mutex_);
  outcome_ = std::move(outcome);
}

std::vector<std::string> CombineRun::TakeLines() {
  const std::lock_guard lock(mutex_);
  return std::exchange(lines_, {});
}

std::optional<CombineRun::Outcome> CombineRun::Finished() {
  const std::lock_guard lock(mutex_);
  return outcome_;
}
