#pragma once

#include <string>
#include <variant>
#include <vector>

#include "CliArguments.h"

// --zoom A-B: one ordinary task run per level, A first, each under its own
// name NAME_zA.qrnl ... NAME_zB.qrnl so that each keeps its folder and files
// and resumes with the same command.

// The runs in order, or the reason the range is refused. NAME is --task's
// name, else the stem of --open's file. mapsType decides the zoom range
// (the type --open's file holds, else the window's default).
std::variant<std::vector<CliArguments>, std::string> ZoomLevelRuns(const CliArguments& arguments, int mapsType);

// The map type the window will have in force for these arguments.
int MapsTypeForRun(const CliArguments& arguments);
