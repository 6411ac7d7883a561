#include "CliTask.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "ScriptedServer.h"
#include "TestFiles.h"
#include "TextFormat.h"

namespace fs = std::filesystem;

namespace {
constexpr long double kPi = 3.14159265358979323846264338327950288L;
}  // namespace

std::string ConfigText(const CliConfig& c) {
  std::string text;
  auto line = [&](const std::string& l) { text += l + "\r\n"; };
  line("[IniParas]");
  line("DefaultPath=" + c.defaultPath);
  line("DefaultThreadCount=" + std::to_string(c.defaultThreads));
  line("");
  line("[Proxy]");
  line("UseProxy=" + std::string(c.useProxy ? "1" : "0"));
  line("ProxyServer=" + c.proxyServer);
  line("ProxyPort=" + c.proxyPort);
  line("ProxyUsername=" + c.proxyUsername);
  line("ProxyPassword=" + c.proxyPassword);
  line("");
  line("[Hosts]");
  line("OpenStreetMap=127.0.0.1:" + std::to_string(c.port));
  line("");
  line("[Network]");
  line("ConnectTimeout=" + std::to_string(c.connectTimeout));
  line("ReadTimeout=" + std::to_string(c.readTimeout));
  line("RepeatLimit=" + std::to_string(c.repeatLimit));
  return text + c.moreNetworkLines;
}

void WriteConfig(const std::string& path, const CliConfig& config) {
  WriteFile(path, ConfigText(config));
}

std::string CliPath() { return QUARNEL_CLI; }
std::string BlankImagePath() { return QUARNEL_BLANK_IMAGE; }

std::vector<std::string> CliTaskArgs(const std::string& configPath, const TaskEntries& e) {
  std::vector<std::string> args = {CliPath(),  "--config", configPath, "--left", e.left,   "--right",
                                   e.right,    "--top",    e.top,      "--bottom", e.bottom, "--zoom",
                                   std::to_string(e.zoom), "--threads", std::to_string(e.threads), "--path", e.path,
                                   "--task",   e.task};
  args.insert(args.end(), e.moreArgs.begin(), e.moreArgs.end());
  return args;
}

int32_t OsmColumn(double longitude, int zoom) {
  const long double n = std::ldexp(1.0L, zoom);
  return static_cast<int32_t>(std::floor((longitude + 180.0L) / 360.0L * n));
}

int32_t OsmRow(double latitude, int zoom) {
  const long double n = std::ldexp(1.0L, zoom);
  const long double rad = latitude * kPi / 180.0L;
  const long double mercator = std::log(std::tan(rad) + 1.0L / std::cos(rad));
  return static_cast<int32_t>(std::floor((1.0L - mercator / kPi) / 2.0L * n));
}

TileRange RangeOf(const TaskEntries& e) {
  TileRange range;
  range.zoom = e.zoom;
  range.minX = OsmColumn(std::stod(e.left), e.zoom);
  range.maxX = OsmColumn(std::stod(e.right), e.zoom);
  range.minY = OsmRow(std::stod(e.top), e.zoom);  // rows count from the top
  range.maxY = OsmRow(std::stod(e.bottom), e.zoom);
  return range;
}

namespace {

std::string ShortestText(double value) {
  char text[64];
  const double rounded = std::round(value * 1e6) / 1e6;
  const auto result = std::to_chars(text, text + sizeof text, rounded);
  return std::string(text, result.ptr);
}

}  // namespace

void SetEntriesCovering(const TileRange& range, TaskEntries& entries) {
  const long double n = std::ldexp(1.0L, range.zoom);
  auto longitude = [&](int32_t x) { return static_cast<double>((x + 0.5L) / n * 360.0L - 180.0L); };
  auto latitude = [&](int32_t y) {
    return static_cast<double>(std::atan(std::sinh(kPi * (1.0L - 2.0L * (y + 0.5L) / n))) * 180.0L / kPi);
  };
  entries.zoom = range.zoom;
  entries.left = ShortestText(longitude(range.minX));
  entries.right = ShortestText(longitude(range.maxX));
  entries.top = ShortestText(latitude(range.minY));
  entries.bottom = ShortestText(latitude(range.maxY));
}

std::string TileTarget(int zoom, int32_t x, int32_t y) {
  return "/" + std::to_string(zoom) + "/" + std::to_string(x) + "/" + std::to_string(y) + ".png";
}

std::string TileName(int zoom, int32_t x, int32_t y) {
  return "os_" + std::to_string(x) + "_" + std::to_string(y) + "_" + std::to_string(zoom) + ".png";
}

namespace {

std::string BaseName(const std::string& task) {
  const std::size_t dot = task.rfind('.');
  return dot == std::string::npos ? task : task.substr(0, dot);
}

}  // namespace

TaskPaths PathsOf(const TaskEntries& e) {
  std::string task = e.task;
  if (task.size() < 5 || task.compare(task.size() - 5, 5, ".qrnl") != 0) task += ".qrnl";
  const std::string base = e.path + "/" + BaseName(task);
  return {e.path + "/" + task, base + "_list.txt", base + "_log.txt", base + "_failed.ftl", base};
}

std::vector<FailedEntry> ReadFailedList(const std::string& path) {
  std::vector<FailedEntry> entries;
  for (const std::string& line : SplitTextLines(ReadFile(path))) {
    const std::size_t bar = line.find('|');
    if (bar == std::string::npos) entries.push_back({"", line});
    else entries.push_back({line.substr(0, bar), line.substr(bar + 1)});
  }
  return entries;
}

std::set<std::string> FailedPaths(const std::vector<FailedEntry>& entries) {
  std::set<std::string> paths;
  for (const FailedEntry& entry : entries) paths.insert(entry.path);
  return paths;
}

TileAudit AuditTiles(const TileRange& range, const TaskPaths& paths,
                     const std::set<std::string>& failedPaths) {
  TileAudit audit;
  const std::string blank = ReadFile(BlankImagePath());
  auto problem = [&](const std::string& text) {
    if (audit.problems.size() < 8) audit.problems.push_back(text);
  };
  for (int32_t x = range.minX; x <= range.maxX; ++x) {
    for (int32_t y = range.minY; y <= range.maxY; ++y) {
      ++audit.tiles;
      const std::string path = paths.tileFolder + "/" + TileName(range.zoom, x, y);
      const bool present = Exists(path);
      const std::string bytes = present ? ReadFile(path) : std::string();
      const bool right = present && bytes == BodyFor(TileTarget(range.zoom, x, y));
      const bool listed = failedPaths.count(path) > 0;
      if (present && !right && bytes != blank) {
        ++audit.wrongBytes;
        problem(path + " has " + std::to_string(bytes.size()) + " wrong bytes");
      }
      if (right) {
        ++audit.correct;
      } else if (listed) {
        ++audit.listed;
      } else {
        ++audit.missingUnlisted;
        problem(path + (present ? " is not the server's tile" : " is missing") + " and not listed");
      }
    }
  }
  return audit;
}

std::vector<std::string> StrayFiles(const TaskEntries& e, const TileRange& range,
                                    const std::set<std::string>& allowedExtras) {
  const TaskPaths paths = PathsOf(e);
  std::set<std::string> expected = {paths.project, paths.tileList, paths.log, paths.failedList,
                                    paths.tileFolder};
  for (const std::string& extra : allowedExtras) expected.insert(extra);
  std::vector<std::string> strays;
  for (const auto& entry : fs::directory_iterator(e.path))
    if (expected.count(entry.path().string()) == 0) strays.push_back(entry.path().string());
  if (!fs::is_directory(paths.tileFolder)) return strays;
  for (const auto& entry : fs::directory_iterator(paths.tileFolder)) {
    const std::string name = entry.path().filename().string();
    int z = 0, x = 0, y = 0;
    char tail[8] = {};
    const bool tileName = std::sscanf(name.c_str(), "os_%d_%d_%d.%4s", &x, &y, &z, tail) == 4 &&
                          std::string(tail) == "png" && name == TileName(z, x, y);
    const bool inRange = tileName && z == range.zoom && x >= range.minX && x <= range.maxX &&
                         y >= range.minY && y <= range.maxY;
    if (!inRange || !entry.is_regular_file()) strays.push_back(entry.path().string());
  }
  return strays;
}

IniSections ParseIniText(const std::string& text, std::vector<std::string>* malformed) {
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  };
  auto trim = [](std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.erase(0, 1);
    return s;
  };
  IniSections sections;
  std::string section;
  for (const std::string& raw : SplitTextLines(text)) {
    const std::string line = trim(raw);
    if (line.empty()) continue;
    if (line.front() == '[' && line.back() == ']') {
      section = lower(line.substr(1, line.size() - 2));
      sections[section];
    } else if (const std::size_t eq = line.find('='); eq != std::string::npos && !section.empty()) {
      sections[section].emplace(lower(trim(line.substr(0, eq))), trim(line.substr(eq + 1)));
    } else if (malformed != nullptr) {
      malformed->push_back(raw);
    }
  }
  return sections;
}

int64_t CountLinesContaining(const std::string& text, const std::string& what) {
  int64_t count = 0;
  for (const std::string& line : SplitTextLines(text))
    if (line.find(what) != std::string::npos) ++count;
  return count;
}

ChildResult RunCliTask(const std::string& scratchFolder, const CliConfig& config, const TaskEntries& entries,
                       std::chrono::seconds safetyLimit) {
  const std::string configPath = scratchFolder + "config.ini";
  WriteConfig(configPath, config);
  return RunChild(CliTaskArgs(configPath, entries), scratchFolder, safetyLimit);
}
