#pragma once

#include <cstdint>
#include <string>

// What one run of a task came to, as the logic counted it.
struct RunCounts {
  int64_t saved = 0;
  int64_t failed = 0;
  std::string failedListPath;  // named when something failed
  int32_t workersBanned = 0;   // workers a ban answer ended
  int64_t blank = 0;           // failed tiles that got the blank image
  uint64_t bytes = 0;          // bytes of the tiles saved
};

// One line for the end of a run: "N saved, M failed", where the failed tiles
// are listed, and how many workers a ban ended.
std::string FormatRunSummary(const RunCounts& counts);
