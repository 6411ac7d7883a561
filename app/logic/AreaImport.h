#pragma once

#include <stdexcept>
#include <string>

#include "Area.h"

// Any vector file into an area, through the program quarnel-area-import
// beside the front end: GDAL loads only there, and a file that upsets it
// cannot take the window or a running download with it.
inline constexpr const char* kAreaImportProgram = "quarnel-area-import";

// The program cannot be run, or ended without an answer.
class AreaImportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The area of `file` with lines and points widened by bufferMetres. Throws
// AreaError with the program's own message when it refuses the file (the
// user's to fix), AreaImportError when the program fails otherwise. Writes
// nothing that stays.
Area ImportAreaFileThrough(const std::string& program, const std::string& file, double bufferMetres);
