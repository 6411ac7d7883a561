#pragma once

#include <string>

#include "TaskRun.h"

// A worker's reports, handed to a run as its worker would hand them.
inline void ReportLine(TaskRun& run, WorkerEvent event, const std::string& line, TilePosition tile = {}) {
  run.Report({event, 0, tile, line, {}});
}

inline void ReportSaved(TaskRun& run, int32_t x, int32_t y, const std::string& line) {
  ReportLine(run, WorkerEvent::Saved, line, {x, y});
}

// A failed tile: its line for the log and its entry for the failed list.
inline void ReportFailed(TaskRun& run, const std::string& listed) {
  run.Report({WorkerEvent::Failed, 0, {}, "T1 failed->" + listed, listed});
}
