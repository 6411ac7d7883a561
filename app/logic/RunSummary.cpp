#include "RunSummary.h"

std::string FormatRunSummary(const RunCounts& counts) {
  std::string line = "Summary: " + std::to_string(counts.saved) + " saved, " + std::to_string(counts.failed) +
                     " failed";
  if (counts.failed > 0 && !counts.failedListPath.empty())
    line += " (listed in " + counts.failedListPath + ")";
  if (counts.workersBanned > 0) {
    line += "; a ban ended " + std::to_string(counts.workersBanned) +
            (counts.workersBanned == 1 ? " thread" : " threads");
  }
  return line + ".";
}
