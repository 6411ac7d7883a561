#pragma once

#include <memory>

#include "Area.h"
#include "CliArguments.h"
#include "CliPlatform.h"

// quarnel-cli's work that only asks the tile server: the size estimate of
// --dry-run and the refresh of a task's saved tiles.

// --dry-run: per zoom level (every level of --zoom A-B) the tile count and a
// size estimate from up to 8 sample tiles, then the total, on stdout; with
// --area (imported into area) only the tiles inside count and are sampled.
// Nothing is written; no request goes out but the samples. Returns the exit
// status: 0, or 2 when an entry is refused.
int RunDryRun(CliPlatform& platform, const CliArguments& arguments, std::shared_ptr<const Area> area);

// refresh PROJECT.qrnl [--older-than DAYS]: a replaced or failed tile per
// line on stdout, the summary on stderr. The first Ctrl+C stops after the
// tiles in hand (the next refresh continues), a second ends at once.
// Returns 0 when every due tile was asked and none failed, 1 when some
// failed or the refresh could not run, 2 for a refused entry, 130 when stopped.
int RunRefresh(CliPlatform& platform, const CliArguments& arguments);
