#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ChildProcess.h"

// A task run through quarnel-cli against a scripted server on 127.0.0.1:
// the configuration file, the command line, where the task's files land,
// and an audit of what is on disk afterwards.

struct CliConfig {
  int port = 0;  // [Hosts] OpenStreetMap=127.0.0.1:port
  std::string defaultPath;
  int defaultThreads = 1;
  int connectTimeout = 5;
  int readTimeout = 5;
  int repeatLimit = 5;
  bool useProxy = false;
  std::string proxyServer;
  std::string proxyPort;
  std::string proxyUsername;
  std::string proxyPassword;
  std::string moreNetworkLines;  // more "Key=value" lines of [Network], CR LF each
};
std::string ConfigText(const CliConfig& config);  // INI, CR LF
void WriteConfig(const std::string& path, const CliConfig& config);

struct TaskEntries {
  std::string left, right, top, bottom;
  int zoom = 10;
  int threads = 1;
  std::string path;  // save folder, no trailing separator
  std::string task;  // as typed, e.g. "soak.qrnl"
  std::vector<std::string> moreArgs;  // after the entries, e.g. "--no-space-check"
};

std::string CliPath();
std::string BlankImagePath();
std::vector<std::string> CliTaskArgs(const std::string& configPath, const TaskEntries& entries);
// Writes the configuration as scratchFolder + "config.ini" and runs the task to its end.
ChildResult RunCliTask(const std::string& scratchFolder, const CliConfig& config, const TaskEntries& entries,
                       std::chrono::seconds safetyLimit);

// Tiles of an OpenStreetMap grid, worked out here independently of the engine.
struct TileRange {
  int zoom = 0;
  int32_t minX = 0, maxX = -1, minY = 0, maxY = -1;
  int64_t Count() const { return int64_t{maxX - minX + 1} * (maxY - minY + 1); }
};
int32_t OsmColumn(double longitude, int zoom);
int32_t OsmRow(double latitude, int zoom);
TileRange RangeOf(const TaskEntries& entries);
// Entries whose corners lie in the middle of the range's corner tiles, written
// in their shortest form so that the project file stores the same texts.
void SetEntriesCovering(const TileRange& range, TaskEntries& entries);

std::string TileTarget(int zoom, int32_t x, int32_t y);    // "/z/x/y.png"
std::string TileName(int zoom, int32_t x, int32_t y);      // "os_x_y_z.png"

struct TaskPaths {
  std::string project, tileList, log, failedList, tileFolder;  // tileFolder without trailing separator
};
TaskPaths PathsOf(const TaskEntries& entries);

// The failed-tile list's entries: "path|url" lines.
struct FailedEntry {
  std::string path, url;
};
std::vector<FailedEntry> ReadFailedList(const std::string& path);
std::set<std::string> FailedPaths(const std::vector<FailedEntry>& entries);

// Every tile of the range on disk: right bytes, listed as failed, or neither.
struct TileAudit {
  int64_t tiles = 0;
  int64_t correct = 0;          // the server's bytes
  int64_t listed = 0;           // without the server's bytes, but in the failed list
  int64_t missingUnlisted = 0;  // neither on disk correctly nor listed
  int64_t wrongBytes = 0;       // a file that is neither the server's bytes nor the blank image
  std::vector<std::string> problems;  // the first few, for the failure message
};
TileAudit AuditTiles(const TileRange& range, const TaskPaths& paths,
                     const std::set<std::string>& failedPaths);

// Names in the save folder and the tile folder that a task does not leave
// there (temporaries, half-written copies, foreign names).
std::vector<std::string> StrayFiles(const TaskEntries& entries, const TileRange& range,
                                    const std::set<std::string>& allowedExtras = {});

// A plain INI reading, independent of the product's: section -> key -> value
// (names lower-cased). Lines that are neither a section, a key nor empty are
// returned in malformed.
using IniSections = std::map<std::string, std::map<std::string, std::string>>;
IniSections ParseIniText(const std::string& text, std::vector<std::string>* malformed);

// Lines of text that contain what.
int64_t CountLinesContaining(const std::string& text, const std::string& what);
