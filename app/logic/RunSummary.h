#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

// What one run of a task came to, as the logic counted it.
struct RunCounts {
  int64_t saved = 0;
  int64_t failed = 0;
  std::string failedListPath = {};  // named when something failed
  int32_t workersBanned = 0;   // workers a ban answer ended
  int64_t blank = 0;           // failed tiles that got the blank image
  uint64_t bytes = 0;          // bytes of the tiles saved
  // The whole task, not only this run: tiles settled before the resume
  // point, all tiles, and the tiles the failed list names (earlier runs' too).
  int64_t doneBefore = 0;
  int64_t total = 0;
  int64_t listed = 0;
  // Why the run was stopped without the user (a dead or wrong server); empty otherwise.
  std::string stopReason = {};
  // Whether the close could write the failed list.
  bool listSaved = true;

  int64_t Done() const { return std::min(doneBefore + saved + failed, total); }
};

// One line for the end of a run: this run's "N saved, M failed" and how many
// workers a ban ended, then the task's tiles done of all and how many its
// failed list names (or that the list could not be saved).
std::string FormatRunSummary(const RunCounts& counts);
