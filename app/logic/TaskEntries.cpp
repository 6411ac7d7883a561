#include "TaskEntries.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <variant>

#include "AppPaths.h"
#include "AreaTask.h"
#include "Files.h"
#include "IniFile.h"
#include "MapServices.h"
#include "NumberEntry.h"
#include "ProxyConfig.h"
#include "RequestHeaders.h"
#include "TaskSource.h"
#include "TaskConfig.h"
#include "TaskRun.h"
#include "TextFormat.h"
#include "TileHttpClient.h"
#include "TileListWriter.h"

namespace {

std::string NoSourceText(const std::string& name) {
  return "There is no tile source named '" + name + "' (quarnel-cli sources lists them).";
}

// The text from the last dot on, unless a separator follows that dot.
std::string ExtensionOf(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos || name.find(kDirSeparator, dot) != std::string::npos) return {};
  return name.substr(dot);
}

// A coordinate as typed matches the stored one when the project file's
// writer gives both the same text: "10.10" typed matches a stored 10.1, and
// 10.00000000000001 matches 10 (the file keeps 15 digits); 10.0000000000001
// does not.
bool SameCoordinate(const std::string& typed, const std::string& stored, double storedValue) {
  if (typed == stored) return true;
  const std::optional<double> value = ParseCoordinate(typed);
  return value && FormatGeneral(*value) == FormatGeneral(storedValue);
}

// The resume test: every entry equals what the project file holds, each
// coordinate in the file's own form, and the task has the same area or, like
// the file, none.
bool SameEntries(const TaskEntries& entries, const ProjectFile& project, const std::optional<Area>& storedArea) {
  return project.MapsType == entries.mapsTypeIndex && SameCoordinate(entries.left, project.LeftText, project.Left) &&
         SameCoordinate(entries.right, project.RightText, project.Right) &&
         SameCoordinate(entries.top, project.TopText, project.Top) &&
         SameCoordinate(entries.bottom, project.BottomText, project.Bottom) && project.Zoom == entries.zoom &&
         std::to_string(project.ThreadCount) == entries.threads &&
         (entries.area ? storedArea && *storedArea == *entries.area : !storedArea);
}

// The tiles an existing task has done, and all of its tiles; nullopt when its range gives none.
std::optional<std::pair<int64_t, int64_t>> TilesDone(const ProjectFile& project, const std::optional<Area>& area) {
  try {
    TaskTileRange range =
        TileRangeOf(project.Left, project.Right, project.Top, project.Bottom, project.Zoom, project.MapsType);
    std::shared_ptr<const TileSelection> inside;
    if (area) {
      inside = SelectionOf(TaskAreaMask(project, *area));
      range.TotalTiles = static_cast<int32_t>(inside->Count());
    }
    std::vector<std::pair<int32_t, int32_t>> positions;
    for (const ProjectFile::Position& p : project.Positions) positions.emplace_back(p.x, p.y);
    return std::make_pair(TilesBeforePositions(range, project.ThreadCount, positions, inside.get()),
                          int64_t{range.TotalTiles});
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

std::string TilesDoneText(const ProjectFile& project, const std::optional<Area>& area) {
  const auto done = TilesDone(project, area);
  if (!done) return "its tiles cannot be counted";
  return std::to_string(done->first) + " of " + std::to_string(done->second) + " tiles done";
}

// Whether Start goes on where the policy would ask; a refusal shows refusal.
bool Decided(Platform& platform, StartPolicy::Decide decide, const std::string& question,
             const std::string& refusal) {
  if (decide == StartPolicy::Decide::Go) return true;
  if (decide == StartPolicy::Decide::Ask) return platform.AskYesNo(question);
  platform.ShowMessage(refusal);
  return false;
}

bool ReplaceDamaged(Platform& platform, const StartPolicy& policy, const std::string& damage) {
  return Decided(platform, policy.replace, damage + " Replace the task?", damage + " (--replace replaces the task)");
}

std::string Gigabytes(double bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", bytes / (1024.0 * 1024 * 1024));
  return text;
}

// What a job would put on the disk: its tiles still to fetch and its tile lists.
struct JobSize {
  int64_t listedTiles = 0;  // in the tile lists to write
  int64_t listBytes = 0;
  int64_t tiles = 0;        // still to fetch
  int64_t allTiles = 0;     // of the task, done or not
  bool allResumed = true;
};

// Nullopt when the set-up will refuse the task with its own message.
std::optional<JobSize> SizeOf(const TaskParameters& settings, int64_t doneBefore) {
  TaskTileRange range;
  try {
    range = TileRangeOf(settings.LeftLongitude, settings.RightLongitude, settings.TopLatitude,
                        settings.BottomLatitude, settings.Zoom, settings.MapsType);
    if (settings.Area)
      range.TotalTiles = static_cast<int32_t>(
          settings.Area->TilesInside(settings.Zoom, RowOriginOf(settings.MapsType), range)->Count());
  } catch (const std::exception&) {
    return std::nullopt;
  }
  JobSize size;
  size.allTiles = range.TotalTiles;
  size.listedTiles = settings.Resume ? 0 : range.TotalTiles;
  size.listBytes = settings.Resume ? 0 : TileListBytesUpperBound(range, settings.MapsType, settings.Zoom);
  size.tiles = range.TotalTiles - doneBefore;
  size.allResumed = settings.Resume;
  return size;
}

// Before anything is written: tile lists that cannot fit are refused; a job
// larger than the free space (or, asked, than a million tiles) needs a yes.
bool SizeAllows(Platform& platform, const std::string& savePath, const JobSize& size, const StartPolicy& policy,
                const std::string& what) {
  const int64_t freeBytes = platform.FreeDiskBytes(savePath);
  if (freeBytes < 0) return true;
  if (size.listBytes > freeBytes) {
    platform.ShowMessage("The tile list of " + std::to_string(size.listedTiles) + " tiles" + what +
                         " alone would take " + Gigabytes(static_cast<double>(size.listBytes)) + " GB; the disk has " +
                         Gigabytes(static_cast<double>(freeBytes)) + " GB free.");
    return false;
  }
  const double estimate = static_cast<double>(size.tiles) * kTypicalTileBytes + static_cast<double>(size.listBytes);
  const bool tooLarge = estimate > static_cast<double>(freeBytes);
  const bool asksForMany = policy.bigTask == StartPolicy::Decide::Ask && !size.allResumed && size.tiles > kManyTiles;
  if (!tooLarge && !asksForMany) return true;
  const std::string sizes = std::to_string(size.tiles) + " tiles" + what + ", about " + Gigabytes(estimate) +
                            " GB; the disk has " + Gigabytes(static_cast<double>(freeBytes)) + " GB free";
  return Decided(platform, policy.bigTask, sizes + ". Start?",
                 sizes + ". Start refused (quarnel-cli --no-space-check starts it anyway).");
}

bool SpaceAllows(Platform& platform, const TaskParameters& settings, const StartPolicy& policy, int64_t doneBefore) {
  const std::optional<JobSize> size = SizeOf(settings, doneBefore);
  return !size || SizeAllows(platform, settings.SavePath, *size, policy, "");
}

// The tiles a resumed task has done; 0 for a new one.
int64_t DoneBefore(const TaskParameters& settings) {
  if (!settings.Resume) return 0;
  try {
    const ProjectFile project = ProjectFile::Read(settings.SavePath + settings.TaskFileName);
    return TilesDone(project, ReadTaskArea(project)).value_or(std::make_pair(int64_t{0}, int64_t{0})).first;
  } catch (const std::exception&) {
    return 0;
  }
}

}  // namespace

const char* CoordinateProblem(double left, double right, double top, double bottom) {
  if (left > 180 || left < -180) return "Left Longitude should be between -180 and 180.";
  if (right > 180 || right < -180) return "Right Longitude should be between -180 and 180.";
  if (top > 90 || top < -90) return "Top Latitude should be between -90 and 90.";
  if (bottom > 90 || bottom < -90) return "Bottom Latitude should be between -90 and 90.";
  if (left > right) return "Left Longitude should less than Right Longitude!";
  if (top < bottom) return "Bottom Latitude should less than Top Latitude!";
  return nullptr;
}

std::optional<std::string> TaskNameProblem(const std::string& name, const std::string& saveFolderEntry) {
  // "..", or "...qrnl" whose tile folder would be "../", climbs out as surely as a separator.
  const std::string base = name.substr(0, name.size() - ExtensionOf(name).size());
  if (name.find(kDirSeparator) == std::string::npos && name != "." && name != ".." && base != "." && base != "..")
    return std::nullopt;
  return "The task name \"" + name + "\" holds a folder: type only a name, and the folder in " + saveFolderEntry + ".";
}

std::optional<std::string> TaskNameLengthProblem(const std::string& saveFolder, const std::string& taskFileName) {
  // The longest name a task derives from its base name is its area file's;
  // an atomic write's temporary adds ".", then ".pid-counter-attempt.tmp".
  constexpr std::size_t kLongestSuffix = std::string_view("_area.geojson").size();
  constexpr std::size_t kTemporaryExtra = 2 + 7 + 1 + 10 + 1 + 2 + 4;
  std::string folder = saveFolder;
  while (!folder.empty() && !IsDirectory(folder)) {
    const std::size_t last = folder.find_last_not_of(kDirSeparator);
    const std::size_t slash = last == std::string::npos ? std::string::npos : folder.rfind(kDirSeparator, last);
    folder = slash == std::string::npos ? std::string() : folder.substr(0, slash == 0 ? 1 : slash);
  }
  const long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  const std::size_t nameMax = limit > 0 ? static_cast<std::size_t>(limit) : NAME_MAX;
  const std::size_t base = taskFileName.size() - ExtensionOf(taskFileName).size();
  const std::size_t added = kLongestSuffix + kTemporaryExtra;
  if (base + added <= nameMax) return std::nullopt;
  const std::size_t longest = nameMax > added ? nameMax - added : 0;
  return "The task name is too long: it has " + std::to_string(base) + " bytes, the file system takes names of up to " +
         std::to_string(nameMax) + " bytes, and the task's files add up to " + std::to_string(added) +
         " to the name. Shorten it to at most " + std::to_string(longest) + " bytes.";
}

TaskEntries EntriesOf(const ProjectFile& project, bool readArea) {
  TaskEntries entries;
  if (readArea) {
    if (std::optional<Area> area = ReadTaskArea(project)) entries.area = std::make_shared<const Area>(std::move(*area));
  }
  entries.left = project.LeftText;
  entries.right = project.RightText;
  entries.top = project.TopText;
  entries.bottom = project.BottomText;
  entries.threads = std::to_string(project.ThreadCount);
  entries.zoom = project.Zoom;
  entries.mapsTypeIndex = project.MapsType;
  if (project.Source) entries.source = project.Source->Name;
  if (project.TileFormat == TaskTileFormat::Mvt) entries.tileFormat = project.TileFormat;
  const std::size_t split = project.path.rfind(kDirSeparator);
  entries.savePath = split == std::string::npos ? std::string() : project.path.substr(0, split + 1);
  entries.taskName = split == std::string::npos ? project.path : project.path.substr(split + 1);
  return entries;
}

namespace {

// A Start in steps, each a value: the settings read, the names checked, the
// numbers checked, the resume-or-replace decision. The one effect (the save
// folder, made between the names and the numbers, in the window's order of
// checks) and the questions stay in ParametersForStart.

struct StartRefusal {
  std::string text;
  bool asError = false;  // the error display's, not a message box's
};

// The configuration's share of a task.
struct StartSettings {
  ProxyConfig proxy;
  TileHosts hosts;
  NetworkSettings network;
};

std::variant<StartSettings, StartRefusal> ReadStartSettings(const std::string& configPath,
                                                            const TaskEntries& entries) {
  // A binary file would read as all defaults: the public tile server, no proxy.
  if (const std::optional<std::string> problem = IniFileProblem(configPath))
    return StartRefusal{*problem + " Fix or remove the configuration file."};
  const IniFile config(configPath);
  StartSettings settings{ReadProxyConfig(config), ReadTileHosts(config), ReadNetworkSettings(config)};
  if (entries.maxRequestsPerSecond) settings.network.MaxRequestsPerSecond = *entries.maxRequestsPerSecond;
  // A server template that names .pbf or .mvt tiles gives vector tiles as a source's does.
  if (NamesVectorTiles(settings.hosts.OpenStreetMap)) settings.network.TileFormat = TaskTileFormat::Mvt;
  if (entries.tileFormat) settings.network.TileFormat = *entries.tileFormat;
  return settings;
}

// The settings' refusals, each before anything is written.
std::optional<StartRefusal> SettingsRefusal(const StartSettings& settings) {
  // The download would silently go direct.
  if (settings.proxy.UseProxy && settings.proxy.ProxyServer.empty())
    return StartRefusal{"\"Use proxy server\" is on but no proxy server is named: name one in Options, or turn "
                        "the proxy off."};
  // A bad port would end every worker at once.
  if (const auto problem = settings.proxy.UseProxy ? ProxyPortProblem(settings.proxy.ProxyPort) : std::nullopt)
    return StartRefusal{*problem};
  return std::nullopt;
}

// What the entries give once they pass every check.
struct CheckedEntries {
  std::string savePath;      // as typed; ParametersForStart adds the separator after making it
  std::string taskFileName;  // with its ending
  std::array<double, 4> coordinates{};  // left, right, top, bottom
  int32_t threads = 1;       // at most kMaxWorkers
};

// The names: the task's, the save folder's and the source's, checked before the folder is made.
std::variant<CheckedEntries, StartRefusal> CheckNames(Platform& platform, const std::string& configPath,
                                                      const TaskEntries& entries, const StartSettings& settings,
                                                      const StartPolicy& policy) {
  // "" or ".qrnl" would make a hidden project file and dump the tiles into the save folder.
  if (entries.taskName.empty() || entries.taskName == kProjectExtension) return StartRefusal{"Please enter a task name."};
  if (std::optional<std::string> problem = TaskNameProblem(entries.taskName, policy.saveFolderEntry))
    return StartRefusal{*problem};
  // Every https tile would fail, each with a blank in its place; a placeholder the address cannot
  // fill, or a header that would break the request, is never sent as text.
  for (std::optional<std::string> problem : {CaFileProblem(settings.network.CaFile),
                                             TileHostProblem(settings.hosts, kOpenStreetMap),
                                             RequestHeadersProblem(settings.network.Headers)})
    if (problem) return StartRefusal{*problem};
  CheckedEntries checked;
  checked.savePath = entries.savePath;
  if (checked.savePath.empty()) return StartRefusal{"Please select a path to save the images."};
  checked.taskFileName = entries.taskName;
  if (ExtensionOf(checked.taskFileName) != kProjectExtension) checked.taskFileName += kProjectExtension;
  if (std::optional<std::string> problem = TaskNameLengthProblem(checked.savePath, checked.taskFileName))
    return StartRefusal{*problem};
  // A new task's source: its refusals too come before the save folder is made.
  if (!entries.source.empty() && !FileExists(checked.savePath + kDirSeparator + checked.taskFileName)) {
    const std::optional<TileSource> chosen = FindChosenSource(platform, configPath, entries.source);
    if (!chosen) return StartRefusal{NoSourceText(entries.source)};
    TaskParameters trial;
    trial.Zoom = entries.zoom;
    if (std::optional<std::string> problem = ApplySource(trial, *chosen, configPath, TilesOf(entries)))
      return StartRefusal{*problem};
  }
  return checked;
}

// The numbers, checked after the save folder is made, as the window has always checked them.
std::optional<StartRefusal> CheckNumbers(const TaskEntries& entries, CheckedEntries& checked) {
  const std::optional<double> left = ParseCoordinate(entries.left), right = ParseCoordinate(entries.right),
                              top = ParseCoordinate(entries.top), bottom = ParseCoordinate(entries.bottom);
  if (!left || !right || !top || !bottom) return StartRefusal{"Longitude or latitude input error!"};
  if (const char* problem = CoordinateProblem(*left, *right, *top, *bottom)) return StartRefusal{problem};
  checked.coordinates = {*left, *right, *top, *bottom};
  const std::optional<int32_t> threads = ParseInt32(entries.threads);
  if (!threads) return StartRefusal{"'" + entries.threads + "' is not a valid integer value", true};
  // No worker would run, and the task would close as if it had succeeded.
  if (*threads < 1) return StartRefusal{"Threads count should be at least 1."};
  // The worker table has eight slots; a larger count from a project or
  // configuration file is lowered rather than overrunning it.
  checked.threads = std::min(*threads, kMaxWorkers);
  return std::nullopt;
}

// What the project file that stands there says of these entries.
struct ResumeDecision {
  enum class Kind { New, Resume, Replace, Damaged } kind = Kind::New;
  std::string text;  // Replace: what exists; Damaged: what is wrong with it
  int64_t doneBefore = 0;                 // Resume: the tiles an earlier run settled
  std::array<double, 4> coordinates{};    // Resume: the stored ones, to the last bit
  std::optional<TileSource> source;       // Resume: the task's own
  TaskTileFormat tileFormat = TaskTileFormat::Raster;  // Resume: the task's own
};

ResumeDecision DecideResume(const TaskEntries& entries, const std::string& projectPath,
                            const std::string& taskFileName, int32_t threads) {
  ResumeDecision decision;
  if (!FileExists(projectPath)) return decision;
  try {
    const ProjectFile project = ProjectFile::Read(projectPath);
    const std::optional<Area> storedArea = ReadTaskArea(project);
    // The stored count is the one the source's limit left.
    TaskEntries compared = entries;
    if (project.Source && project.Source->MaxThreads > 0)
      compared.threads = std::to_string(std::min(threads, project.Source->MaxThreads));
    // Another source is other entries: a task never mixes two maps.
    if (SameEntries(compared, project, storedArea) &&
        EqualsIgnoringCase(entries.source, project.Source ? project.Source->Name : "")) {
      decision.kind = ResumeDecision::Kind::Resume;
      decision.doneBefore = TilesDone(project, storedArea).value_or(std::make_pair(int64_t{0}, int64_t{0})).first;
      decision.coordinates = {project.Left, project.Right, project.Top, project.Bottom};
      decision.source = project.Source;
      decision.tileFormat = project.TileFormat;
    } else {
      decision.kind = ResumeDecision::Kind::Replace;
      decision.text = "A task named " + taskFileName + " exists with other entries (" +
                      TilesDoneText(project, storedArea) + ")";
    }
  } catch (const ProjectFileError& damaged) {
    decision.kind = ResumeDecision::Kind::Damaged;
    decision.text = damaged.what();
  } catch (const AreaError& damaged) {  // its area file is missing or damaged
    decision.kind = ResumeDecision::Kind::Damaged;
    decision.text = damaged.what();
  }
  return decision;
}

}  // namespace

std::optional<TaskParameters> ParametersForStart(Platform& platform, const std::string& configPath,
                                                 const TaskEntries& entries, const StartPolicy& policy) {
  const auto refuse = [&](const StartRefusal& refusal) {
    refusal.asError ? platform.ShowError(refusal.text) : platform.ShowMessage(refusal.text);
    return std::nullopt;
  };
  const auto read = ReadStartSettings(configPath, entries);
  if (const auto* refusal = std::get_if<StartRefusal>(&read)) return refuse(*refusal);
  const StartSettings& settings = std::get<StartSettings>(read);
  if (std::optional<StartRefusal> refusal = SettingsRefusal(settings)) return refuse(*refusal);
  const auto checking = CheckNames(platform, configPath, entries, settings, policy);
  if (const auto* refusal = std::get_if<StartRefusal>(&checking)) return refuse(*refusal);
  CheckedEntries checked = std::get<CheckedEntries>(checking);
  // The one effect of a Start's checks.
  if (!policy.dryRun) {
    if (const std::optional<std::string> reason = MakeFolders(checked.savePath))
      return refuse({"Create directory " + checked.savePath + " Failed. " + *reason + "."});
  }
  if (checked.savePath.back() != kDirSeparator) checked.savePath += kDirSeparator;
  if (std::optional<StartRefusal> refusal = CheckNumbers(entries, checked)) return refuse(*refusal);

  // The same entries resume the task, however its name was typed; other
  // entries replace it only when the user says so.
  ResumeDecision decision =
      DecideResume(entries, checked.savePath + checked.taskFileName, checked.taskFileName, checked.threads);
  using Kind = ResumeDecision::Kind;
  if (decision.kind == Kind::Replace &&
      !Decided(platform, policy.replace, decision.text + ". Replace it?",
               decision.text + ": give the same entries to resume it, or --replace to replace it."))
    return std::nullopt;
  if (decision.kind == Kind::Damaged && !ReplaceDamaged(platform, policy, decision.text)) return std::nullopt;

  TaskParameters task;
  static_cast<ProxyConfig&>(task) = settings.proxy;
  task.Hosts = settings.hosts;
  task.Network = settings.network;
  task.Zoom = entries.zoom;
  task.ThreadCount = checked.threads;
  task.Resume = decision.kind == Kind::Resume;
  if (task.Resume) task.Network.TileFormat = decision.tileFormat;  // its files are named and checked as they were
  const std::array<double, 4>& at = task.Resume ? decision.coordinates : checked.coordinates;
  task.LeftLongitude = at[0], task.RightLongitude = at[1], task.TopLatitude = at[2], task.BottomLatitude = at[3];
  task.ThreadSlots = kMaxWorkers;
  task.MapsType = kOpenStreetMap;
  task.SavePath = checked.savePath;
  task.TaskFileName = checked.taskFileName;
  if (entries.area) task.Area = TaskAreaOf(entries.area);
  // A resumed task keeps the source it was made with, whatever the sources say now.
  std::optional<TileSource> source = task.Resume ? decision.source : std::nullopt;
  if (!task.Resume && !entries.source.empty()) {
    source = FindChosenSource(platform, configPath, entries.source);
    if (!source) return refuse({NoSourceText(entries.source)});
  }
  if (source)
    if (std::optional<std::string> problem = ApplySource(task, *source, configPath, TilesOf(entries)))
      return refuse({*problem});
  if (!SpaceAllows(platform, task, policy, decision.doneBefore)) return std::nullopt;
  return task;
}

namespace {

// A coordinate's text as the project file will hold it (15 significant
// digits), rounded away from the area: up for the east and north edges.
std::string OutwardText(double value, bool up) {
  for (double nudge = 0;; nudge = nudge == 0 ? 1e-13 : nudge * 2) {
    const std::string text = FormatGeneral(up ? value + nudge : value - nudge);
    const double back = ParseCoordinate(text).value_or(value);
    if (up ? back >= value : back <= value) return text;
  }
}

}  // namespace

TaskEntries WithArea(TaskEntries entries, std::shared_ptr<const Area> area) {
  const AreaBounds bounds = BoundsOf(*area);
  entries.left = OutwardText(bounds.west, false);
  entries.right = OutwardText(bounds.east, true);
  entries.top = OutwardText(bounds.north, true);
  entries.bottom = OutwardText(bounds.south, false);
  entries.area = std::move(area);
  return entries;
}

bool HoldsAreaBounds(const TaskEntries& entries) {
  if (!entries.area) return false;
  const TaskEntries bounds = WithArea({}, entries.area);
  return bounds.left == entries.left && bounds.right == entries.right && bounds.top == entries.top &&
         bounds.bottom == entries.bottom;
}

bool RangeSpaceAllows(Platform& platform, const std::vector<TaskParameters>& levels, const StartPolicy& policy) {
  if (levels.empty()) return true;
  JobSize total;
  for (const TaskParameters& level : levels) {
    const std::optional<JobSize> size = SizeOf(level, DoneBefore(level));
    if (!size) continue;
    total.listedTiles += size->listedTiles;
    total.listBytes += size->listBytes;
    total.tiles += size->tiles;
    total.allResumed = total.allResumed && size->allResumed;
  }
  const std::string what = " over levels " + std::to_string(levels.front().Zoom) + " to " +
                           std::to_string(levels.back().Zoom);
  if (const std::optional<TileSource>& source = levels.front().Source) {
    int64_t all = 0;
    for (const TaskParameters& level : levels) all += SizeOf(level, 0).value_or(JobSize{}).allTiles;
    if (std::optional<std::string> problem = SourceTileLimitProblem(*source, all)) {
      platform.ShowMessage(*problem);
      return false;
    }
  }
  return SizeAllows(platform, levels.front().SavePath, total, policy, what);
}

std::optional<int64_t> TilesOf(const TaskEntries& entries) {
  const std::optional<double> left = ParseCoordinate(entries.left), right = ParseCoordinate(entries.right),
                              top = ParseCoordinate(entries.top), bottom = ParseCoordinate(entries.bottom);
  if (!left || !right || !top || !bottom || CoordinateProblem(*left, *right, *top, *bottom)) return std::nullopt;
  try {
    const TaskTileRange range = TileRangeOf(*left, *right, *top, *bottom, entries.zoom, kOpenStreetMap);
    if (!entries.area) return range.TotalTiles;
    return BuildAreaMask(*entries.area, entries.zoom, RowOriginOf(kOpenStreetMap),
                         {range.MinX, range.MinY, range.MaxX, range.MaxY})
        .TileCount();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}
