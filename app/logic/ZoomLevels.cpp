#include "ZoomLevels.h"

#include <algorithm>

#include "AppPaths.h"
#include "TextFormat.h"

std::string ZoomLevelTaskName(const std::string& name, int32_t zoom) {
  std::string base = name;
  if (base.ends_with(kProjectExtension)) base.resize(base.size() - std::string(kProjectExtension).size());
  return base + "_z" + std::to_string(zoom) + kProjectExtension;
}

TaskEntries LevelEntries(const TaskEntries& entries, int32_t zoom) {
  TaskEntries level = entries;
  level.zoom = zoom;
  level.taskName = ZoomLevelTaskName(entries.taskName, zoom);
  LowerThreadsToTiles(level);
  return level;
}

void LowerThreadsToTiles(TaskEntries& level) {
  const std::optional<int32_t> threads = ParseInt32(level.threads);
  if (!threads) return;
  const std::optional<int64_t> tiles = TilesOf(level);
  if (tiles && *tiles >= 1 && *tiles < *threads) level.threads = std::to_string(*tiles);
}
