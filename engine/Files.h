#pragma once

#include <string>

// Whether a path names something, never throwing: an unreadable path is
// simply not there. Symbolic links are followed.
bool PathExists(const std::string& path);
bool FileExists(const std::string& path);  // a regular file
bool IsDirectory(const std::string& path);
