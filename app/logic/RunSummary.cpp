#include "RunSummary.h"

std::string FormatRunSummary(const RunCounts& counts) {
  std::string line = "Summary: " + std::to_string(counts.saved) + " saved, " + std::to_string(counts.failed) +
                     " failed";
  if (counts.workersBanned > 0) {
    line += "; a ban ended " + std::to_string(counts.workersBanned) +
            (counts.workersBanned == 1 ? " thread" : " threads");
  }
  line += ". Task: " + std::to_string(counts.Done()) + " of " + std::to_string(counts.total) + " tiles done, ";
  if (counts.listed > 0 && !counts.listSaved)
    return line + std::to_string(counts.listed) + " failed, but the failed list " + counts.failedListPath +
           " could not be saved.";
  if (counts.listed == 0) return line + "none listed as failed.";
  return line + std::to_string(counts.listed) + " listed as failed in " + counts.failedListPath + ".";
}
