#pragma once

#include <string_view>

// How the log view paints a line, so a failure never looks like a saved tile.
enum class LogLineKind { Plain, Saved, Failure, Notice };

// From the line's own text: "->ok!" lines are saved tiles; a fetch's failure
// line (message, "->", address), the blank-image, ban, not-found and stop
// lines are failures; a repeat or a wait is a notice.
LogLineKind ClassifyLogLine(std::string_view line);
