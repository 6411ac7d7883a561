#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "NetworkSettings.h"
#include "ProxyConfig.h"
#include "TileHosts.h"
#include "TileSelection.h"
#include "TileSource.h"

// Where a task keeps its tiles: a folder of image files (NAME/), or one
// SQLite file (NAME.mbtiles, TileStore.h). A task keeps its storage for life.
enum class TileStorage : uint8_t { Folder, File };
// "folder" or "file", as the command line, the configuration and the project file spell them.
const char* TileStorageName(TileStorage storage);
// nullopt for any other text (letter case ignored).
std::optional<TileStorage> ParseTileStorage(std::string_view text);

// A task runs at most this many download workers.
inline constexpr int32_t kMaxWorkers = 8;

// One task's inputs, filled by the main window at every Start.
struct TaskParameters : ProxyConfig {
  double LeftLongitude = 0;
  double RightLongitude = 0;
  double TopLatitude = 0;
  double BottomLatitude = 0;
  int32_t Zoom = 0;
  int32_t ThreadCount = 1;
  int32_t ThreadSlots = kMaxWorkers;
  int32_t MapsType = 8;
  std::string SavePath;      // always ends with the directory separator
  std::string TaskFileName;  // always ends with ".qrnl"
  bool Resume = false;
  TileStorage Storage = TileStorage::Folder;
  // A task over an area fetches only the tiles inside it (its rectangle is
  // the area's bounds) and keeps it in NAME_area.geojson; null for a rectangle.
  std::shared_ptr<const TaskArea> Area;

  // The chosen tile source; its template then stands in Hosts.OpenStreetMap.
  // Null: the configuration's [Hosts], as before sources existed.
  std::optional<TileSource> Source;

  TileHosts Hosts;
  NetworkSettings Network;
};
