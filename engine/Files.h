#pragma once

#include <optional>
#include <string>

// Whether a path names something, never throwing: an unreadable path is
// simply not there. Symbolic links are followed.
bool PathExists(const std::string& path);
bool FileExists(const std::string& path);  // a regular file
bool IsDirectory(const std::string& path);
// A folder that can be read and holds no entry; false for anything else.
bool FolderIsEmpty(const std::string& path);

// Makes a folder with every missing parent (an existing one is fine); the
// reason it cannot be made ("Permission denied"), or nullopt.
std::optional<std::string> MakeFolders(const std::string& path);

// A tile's file whole into bytes. False when it cannot be: missing set when
// there is no such file, else problem says why (no regular file, too large
// for a tile, unreadable).
bool ReadSmallFile(const std::string& path, std::string& bytes, bool& missing, std::string& problem);
