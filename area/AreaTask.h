#pragma once

#include <memory>
#include <optional>

#include "Area.h"
#include "AreaMask.h"
#include "ProjectFile.h"
#include "TileSelection.h"

// Areas as tasks have them: the engine's TaskArea and TileSelection over an
// Area and its AreaMask, and a task's area read back from its project file.

// The area as a task's (its file's text is made once, here).
std::shared_ptr<const TaskArea> TaskAreaOf(std::shared_ptr<const Area> area);
// A mask as the engine's selection of a task's tiles.
std::shared_ptr<const TileSelection> SelectionOf(AreaMask mask);

// The area a project file names, or nullopt for a task over a rectangle.
// Throws AreaError naming the area file when it is missing or damaged: a
// task over an area is never taken for one over its rectangle.
std::optional<Area> ReadTaskArea(const ProjectFile& project);

// The tiles of a project's range inside its area, as its download counts
// them (the rectangle TileRangeOf makes of its entries). Throws
// TaskSetupError when the entries give no range, AreaError for a zoom the
// mask refuses.
AreaMask TaskAreaMask(const ProjectFile& project, const Area& area);
