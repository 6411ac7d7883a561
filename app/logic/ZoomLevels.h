#pragma once

#include <cstdint>
#include <string>

#include "TaskEntries.h"

// A zoom range A-B is one task per level, NAME_zA.qrnl ... NAME_zB.qrnl,
// each with its own files and folder, each resumed on its own; the window
// and quarnel-cli --zoom A-B name and fill them alike.

// The task of one level: "alps" or "alps.qrnl" at zoom 14 is "alps_z14.qrnl".
std::string ZoomLevelTaskName(const std::string& name, int32_t zoom);

// The entries of one level: its zoom, its name, and its thread count
// (LowerThreadsToTiles).
TaskEntries LevelEntries(const TaskEntries& entries, int32_t zoom);

// Lowers the thread count to the level's tile count, as Start lowers it
// before it writes the project file: a level of few tiles then finds its own
// entries again and resumes, as the other levels do.
void LowerThreadsToTiles(TaskEntries& level);
