#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "Platform.h"
#include "TaskParameters.h"
#include "TileSource.h"

// A task's tile source at Start: the chosen one for a new task, the stored
// one for a resumed task.

// The chosen source by name among the catalogue and the user's sources.
std::optional<TileSource> FindChosenSource(Platform& platform, const std::string& configPath, const std::string& name);

// Puts the source into the parameters: its template as the address, its
// headers, user agent and key (from the key file beside configPath or the
// environment) on the network, and its thread and rate limits as ceilings.
// The refusal, naming the source, when its key is missing or unusable, the
// zoom is outside its range, or the task holds more tiles than it allows.
std::optional<std::string> ApplySource(TaskParameters& settings, const TileSource& source,
                                       const std::string& configPath, std::optional<int64_t> tiles);
