#include "TaskTiles.h"

#include "MapServices.h"
#include "TileStore.h"
#include "Unitclasstask.h"

bool StoredInOneFile(const TaskParameters& parameters) { return parameters.Storage == TileStorage::File; }

int32_t StoreRow(const TaskLayout& task, int32_t y) {
  if (RowOriginOf(task.Parameters.MapsType) != RowOrigin::FromBottom) return y;
  return static_cast<int32_t>((int64_t{1} << task.Parameters.Zoom) - 1 - y);
}

void TaskTiles::WriteAll(const std::vector<ToSave>& tiles) {
  for (const ToSave& tile : tiles) {
    if (tile.placeholder)
      WritePlaceholder(tile.x, tile.y);
    else
      Write(tile.x, tile.y, tile.bytes);
  }
}

std::unique_ptr<TaskTiles> OpenTaskTiles(const TaskLayout& task, std::string blank, TilesAccess access) {
  if (StoredInOneFile(task.Parameters)) return OpenStoreTiles(task, TileStorePathFor(task.ProjectFilePath()), access);
  return OpenFolderTiles(task, std::move(blank));
}
