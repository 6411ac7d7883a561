#pragma once

#include <cstdint>
#include <string>

#include "ProgressText.h"
#include "TaskEntries.h"
#include "TextFormat.h"

// Tiles a task of these entries would hold (inside its area, when it has
// one) and megabytes at a typical tile size, or why Start would refuse it;
// empty while a coordinate is not typed. With lastZoom above the entries'
// zoom, each level's and all levels' together.
std::string EstimateText(const TaskEntries& entries, int32_t lastZoom = -1);

