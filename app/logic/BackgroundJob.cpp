#include "BackgroundJob.h"

#include <exception>
#include <string>

BackgroundJob::~BackgroundJob() {
  *alive_ = false;
  if (thread_.joinable()) thread_.join();
}

bool BackgroundJob::Start(std::function<std::function<void()>()> work) {
  if (running_) return false;
  if (thread_.joinable()) thread_.join();
  running_ = true;
  thread_ = std::thread([this, work = std::move(work), alive = alive_] {
    std::function<void()> done;
    try {
      done = work();
    } catch (const std::exception& error) {
      done = [this, text = std::string(error.what())] { platform_.ShowError(text); };
    }
    platform_.PostToGuiThread([this, alive, done = std::move(done)] {
      if (!*alive) return;
      running_ = false;
      if (done) done();
    });
  });
  return true;
}
