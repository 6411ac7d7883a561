#pragma once

// Finished tasks on disk for the combiner's tests: a project file written by
// the engine and one solid-coloured tile per grid cell, the colour telling
// the tile's column and top-counted row.

#include <array>
#include <cstdint>
#include <string>

#include "Area.h"
#include "TaskParameters.h"

using Rgba = std::array<uint8_t, 4>;

// The colour of the tile at column x, row topRow counted from the top of the grid.
Rgba TileColour(int32_t x, int32_t topRow);

// A width x height image of one colour, encoded as PNG ("png") or JPEG ("jpg").
std::string EncodeSolidImage(const Rgba& colour, const std::string& format, int width = 256, int height = 256);

struct TaskOnDisk {
  TaskParameters parameters;
  std::string projectPath;
  std::string tileFolder;
  int32_t minX = 0, maxX = 0;
  int32_t topMinRow = 0, topMaxRow = 0;  // top-counted rows of the task's top and bottom edges
  double west = 0, east = 0, north = 0, south = 0;  // tile-aligned edges in degrees
  std::string extension;                            // the service's tile file extension

  // The file of the tile at column x and top-counted row topRow.
  std::string TilePath(int32_t x, int32_t topRow) const;
};

// Writes the project file and every tile of the task in folder (ending with "/").
TaskOnDisk WriteTask(const std::string& folder, const std::string& name, int32_t mapsType, int32_t zoom,
                     double left, double top, double right, double bottom, bool writeTiles = true);

// A task over an area, as a download writes it: the area file beside the
// project file, its bounds as the rectangle. writeTiles writes every tile of
// the rectangle, those outside the area too, so a combine that took them
// would show.
TaskOnDisk WriteAreaTask(const std::string& folder, const std::string& name, int32_t mapsType, int32_t zoom,
                         const Area& area, bool writeTiles = true);

// Keeps the task's tiles in its store instead of its folder, as a download
// into one file leaves them; a file holding the blank image becomes a
// placeholder row. The folder is removed.
void MoveTaskIntoStore(const TaskOnDisk& task);

// Gives every tile of the task these bytes (the sea, say).
void WriteEveryTile(const TaskOnDisk& task, const std::string& bytes);

// The blank placeholder shipped beside the executable.
std::string BlankImageBytes();
std::string BlankImagePath();
