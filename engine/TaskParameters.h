#pragma once

#include <cstdint>
#include <string>

#include "NetworkSettings.h"
#include "TileHosts.h"

// One task's inputs, filled by the main window at every Start.
struct TaskParameters {
  double LeftLongitude = 0;
  double RightLongitude = 0;
  double TopLatitude = 0;
  double BottomLatitude = 0;
  int32_t Zoom = 0;
  int32_t ThreadCount = 1;
  int32_t ThreadSlots = 8;
  int32_t MapsType = 8;
  std::string SavePath;      // always ends with the directory separator
  std::string TaskFileName;  // always ends with ".qrnl"
  bool UseProxy = false;
  std::string ProxyServer;
  std::string ProxyPort;  // decimal text, converted by the workers
  std::string ProxyUsername;
  std::string ProxyPassword;
  bool Resume = false;

  TileHosts Hosts;
  NetworkSettings Network;
};
