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

// The refusal of a task of this many tiles (a zoom range counts all its
// levels) when the source allows fewer, naming its terms.
std::optional<std::string> SourceTileLimitProblem(const TileSource& source, int64_t tiles);

// Puts the source into the parameters: its template as the address, its
// headers, user agent and key (from the key file beside configPath or the
// environment) on the network, and its thread and rate limits as ceilings.
// The refusal, naming the source, when its key is missing or unusable, the
// zoom is outside its range, or the task holds more tiles than it allows.
std::optional<std::string> ApplySource(TaskParameters& settings, const TileSource& source,
                                       const std::string& configPath, std::optional<int64_t> tiles);

// The network a failed-tile list is fetched again with: the configuration's,
// with the source of the task the list belongs to (NAME.qrnl beside
// NAME_failed.ftl) when it has one, and that task's tile format. The refusal
// when its key is missing.
std::optional<std::string> UseListSource(const std::string& listPath, const std::string& configPath,
                                         NetworkSettings& network);
