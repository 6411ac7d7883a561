#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "NetworkSettings.h"
#include "ProxyConfig.h"
#include "TileHosts.h"
#include "TileSelection.h"
#include "TileSource.h"

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
  // A task over an area fetches only the tiles inside it (its rectangle is
  // the area's bounds) and keeps it in NAME_area.geojson; null for a rectangle.
  std::shared_ptr<const TaskArea> Area;

  // The chosen tile source; its template then stands in Hosts.OpenStreetMap.
  // Null: the configuration's [Hosts], as before sources existed.
  std::optional<TileSource> Source;

  TileHosts Hosts;
  NetworkSettings Network;
};
