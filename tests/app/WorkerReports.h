#pragma once

#include <string>
#include <string_view>

#include "TaskRun.h"

inline WorkerReport MakeReport(WorkerEvent event, std::string_view line, TilePosition tile = {},
                               std::string_view listed = {}) {
  WorkerReport report;
  report.event = event;
  report.tile = tile;
  report.line = line;
  report.listed = listed;
  return report;
}

// A worker's reports, handed to a run as its worker would hand them.
inline void ReportLine(TaskRun& run, WorkerEvent event, const std::string& line, TilePosition tile = {}) {
  run.Report(MakeReport(event, line, tile));
}

inline void ReportSaved(TaskRun& run, int32_t x, int32_t y, const std::string& line) {
  ReportLine(run, WorkerEvent::Saved, line, {x, y});
}

// A failed tile: its line for the log and its entry for the failed list.
inline void ReportFailed(TaskRun& run, const std::string& listed) {
  const std::string line = "T1 failed->" + listed;
  run.Report(MakeReport(WorkerEvent::Failed, line, {}, listed));
}
