#pragma once

#include <string>

#include "UniqueFd.h"

// One run at a time downloads or refreshes a task, in this process or any
// other: an flock on the task's tile folder or store file, so the kernel drops it with its
// process and a killed run leaves nothing behind that refuses. A run that is
// refused is told which process holds the task (read from /proc/locks).
// Never waits; released when destroyed.
class TaskLock {
 public:
  // path: the tile folder, or the store file of a task kept in one file.
  explicit TaskLock(const std::string& path);
  TaskLock(const TaskLock&) = delete;
  TaskLock& operator=(const TaskLock&) = delete;

  bool Held() const { return held_; }
  // Not held: "being downloaded or refreshed by quarnel-cli (process 4711)",
  // or why the folder could not be locked.
  const std::string& Refusal() const { return refusal_; }

 private:
  UniqueFd fd_;
  bool held_ = false;
  std::string refusal_;
};
