#pragma once

// A task's tiles before any file is written, and why a set-up may not complete.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

// The tiles a rectangle covers at a zoom level, and their aligned bounds.
struct TaskTileRange {
  int32_t MinX = 0;
  int32_t MinY = 0;
  int32_t MaxX = 0;
  int32_t MaxY = 0;
  double WestLongitude = 0;
  double EastLongitude = 0;
  double NorthLatitude = 0;
  double SouthLatitude = 0;
  int32_t TotalTiles = 0;
};

// A set-up that cannot complete. userMessage, when not empty, is shown to
// the user before the main window's "Error: Create task failure.".
class TaskSetupError : public std::runtime_error {
 public:
  TaskSetupError(const std::string& what, std::string userMessage = {})
      : std::runtime_error(what), userMessage(std::move(userMessage)) {}
  std::string userMessage;
};

// A set-up stopped by its user before it wrote anything.
class TaskSetupCancelled : public std::runtime_error {
 public:
  TaskSetupCancelled() : std::runtime_error("The task's set-up was stopped; nothing was written.") {}
};
