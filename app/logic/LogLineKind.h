#pragma once

#include <string_view>

#include "TDownThread.h"

// How the log view paints a line, so a failure never looks like a saved tile.
enum class LogLineKind { Plain, Saved, Failure, Notice };

// A worker's line is painted by what its report says happened: a saved tile;
// a failure, the blank image, the ban, the not-found advice and an
// unexpected error are failures; a repeat or a wait is a notice.
LogLineKind LogLineKindOf(WorkerEvent event);

// The same from a line's own text, for the lines a log file holds when its
// task is opened again: "->ok!" lines are saved tiles; a fetch's failure line
// (message, "->", address), the blank-image, ban, not-found and stop lines
// are failures; a repeat or a wait is a notice.
LogLineKind ClassifyLogLine(std::string_view line);
