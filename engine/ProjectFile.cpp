#include "ProjectFile.h"

#include <algorithm>
#include <sys/stat.h>

#include "IniFile.h"
#include "LineBuilder.h"
#include "NumberEntry.h"
#include "TaskParameters.h"
#include "TextFormat.h"
#include "TaskTileRange.h"

namespace {

constexpr int32_t kMaxZoom = 30;
const std::string kSourceSection = "Source";
const std::string kSourceHeadersSection = "SourceHeaders";

[[noreturn]] void Refuse(const std::string& path, const std::string& section, const std::string& key,
                         const std::string& what) {
  throw ProjectFileError("The project file " + path + " cannot be used: [" + section + "] " + key + " " + what + ".");
}

int32_t RequiredInteger(const IniFile& file, const std::string& section, const std::string& key) {
  const std::string text = file.ReadString(section, key, "");
  if (text.empty()) Refuse(file.Path(), section, key, "is missing");
  const std::optional<int32_t> value = ParseInt32(text);
  if (!value) Refuse(file.Path(), section, key, "is not a number (\"" + text + "\")");
  return *value;
}

double RequiredCoordinate(const IniFile& file, const std::string& key, double limit, std::string& text) {
  text = file.ReadString("AREA", key, "");
  if (text.empty()) Refuse(file.Path(), "AREA", key, "is missing");
  const std::optional<double> value = ParseCoordinate(text);
  if (!value) Refuse(file.Path(), "AREA", key, "is not a number (\"" + text + "\")");
  if (*value < -limit || *value > limit)
    Refuse(file.Path(), "AREA", key, "is outside -" + FormatGeneral(limit) + ".." + FormatGeneral(limit));
  return *value;
}

}  // namespace

ProjectFile ProjectFile::Read(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
    throw ProjectFileError("Cannot open the project file " + path + ".");
  if (const std::optional<std::string> problem = IniFileProblem(path)) throw ProjectFileError(*problem);

  const IniFile file(path);
  ProjectFile project;
  project.path = path;
  project.MapsType = file.ReadInteger("MapsType", "MapsType", 8);
  project.Left = RequiredCoordinate(file, "LeftLongitude", 180, project.LeftText);
  project.Right = RequiredCoordinate(file, "RightLongitude", 180, project.RightText);
  project.Top = RequiredCoordinate(file, "TopLatitude", 90, project.TopText);
  project.Bottom = RequiredCoordinate(file, "BottomLatitude", 90, project.BottomText);
  if (project.Left > project.Right) Refuse(path, "AREA", "LeftLongitude", "lies east of RightLongitude");
  if (project.Bottom > project.Top) Refuse(path, "AREA", "BottomLatitude", "lies north of TopLatitude");
  project.AreaFile = file.ReadString("AREA", "AreaFile", "");
  project.Zoom = RequiredInteger(file, "Zoom", "Zoom");
  if (project.Zoom < 0 || project.Zoom > kMaxZoom) Refuse(path, "Zoom", "Zoom", "is outside 0..30");
  project.ThreadCount = RequiredInteger(file, "THREADS", "ThreadCount");
  if (project.ThreadCount < 1) Refuse(path, "THREADS", "ThreadCount", "is below 1");
  project.Positions = ReadPositions(path);
  const std::string format = file.ReadString("Tiles", "Format", "");
  const std::optional<TaskTileFormat> tileFormat = TaskTileFormatNamed(format);
  if (!tileFormat) Refuse(path, "Tiles", "Format", "is neither raster nor mvt (\"" + format + "\")");
  project.TileFormat = *tileFormat;
  if (!file.ReadString(kSourceSection, "Name", "").empty()) {
    try {
      project.Source = ReadSourceSections(file, kSourceSection, kSourceHeadersSection);
    } catch (const SourceError& error) {
      throw ProjectFileError(error.what());
    }
  }
  return project;
}

std::string ProjectFile::AreaPath() const {
  if (AreaFile.empty() || AreaFile.front() == kDirSeparator) return AreaFile;
  const std::size_t split = path.rfind(kDirSeparator);
  return (split == std::string::npos ? std::string() : path.substr(0, split + 1)) + AreaFile;
}

std::array<ProjectFile::Position, ProjectFile::kPositionSlots> ProjectFile::ReadPositions(const std::string& path) {
  const IniFile file(path);
  std::array<Position, kPositionSlots> positions{};
  for (int32_t n = 1; n <= kPositionSlots; ++n) {
    Position& position = positions[static_cast<std::size_t>(n - 1)];
    position.x = file.ReadInteger("THREADS", "T" + std::to_string(n) + "X", 0);
    position.y = file.ReadInteger("THREADS", "T" + std::to_string(n) + "Y", 0);
  }
  return positions;
}

TaskParameters ParametersOf(const ProjectFile& project) {
  TaskParameters p;
  p.MapsType = project.MapsType;
  p.Zoom = project.Zoom;
  p.LeftLongitude = project.Left;
  p.RightLongitude = project.Right;
  p.TopLatitude = project.Top;
  p.BottomLatitude = project.Bottom;
  p.ThreadCount = project.ThreadCount;
  p.Source = project.Source;
  p.Network.TileFormat = project.TileFormat;
  if (p.Source) p.Hosts.OpenStreetMap = p.Source->Template;
  const std::size_t slash = project.path.rfind(kDirSeparator);
  p.SavePath = slash == std::string::npos ? std::string(".") + kDirSeparator : project.path.substr(0, slash + 1);
  p.TaskFileName = project.path.substr(slash == std::string::npos ? 0 : slash + 1);
  return p;
}

std::string TaskBaseName(const std::string& taskFileName) {
  const auto dot = taskFileName.rfind('.');
  if (dot == std::string::npos || taskFileName.find(kDirSeparator, dot) != std::string::npos)
    return taskFileName;
  return taskFileName.substr(0, dot);
}

std::string AreaFileNameOf(const std::string& taskFileName) { return TaskBaseName(taskFileName) + "_area.geojson"; }

std::string ProjectFileText(const TaskParameters& p, const TaskTileRange& range) {
  LineBuilder line;
  line("[MapsType]")("MapsType=", int64_t{p.MapsType})("");
  line("[AREA]")("LeftLongitude=", p.LeftLongitude)("RightLongitude=", p.RightLongitude);
  line("TopLatitude=", p.TopLatitude)("BottomLatitude=", p.BottomLatitude);
  if (p.Area) line("AreaFile=", AreaFileNameOf(p.TaskFileName));
  line("");
  line("[Zoom]")("Zoom=", int64_t{p.Zoom})("");
  line("[XY]")("MinX=", int64_t{range.MinX})("MinY=", int64_t{range.MinY})("MaxX=", int64_t{range.MaxX});
  line("MaxY=", int64_t{range.MaxY})("");
  line("[THREADS]")("ThreadCount=", int64_t{p.ThreadCount});
  const int32_t slots = std::clamp(p.ThreadSlots, 0, 16);
  for (int32_t n = 1; n <= slots; ++n) line("T" + std::to_string(n) + "X=")("T" + std::to_string(n) + "Y=");
  line("");
  if (p.Network.TileFormat == TaskTileFormat::Mvt)
    line("[Tiles]")("Format=", TaskTileFormatName(p.Network.TileFormat))("ContentEncoding=kept")("");
  std::string text = line.Take();
  if (p.Source) text += SourceSectionsText(*p.Source, kSourceSection, kSourceHeadersSection) + kCrLf;
  return text;
}

void WriteProjectPositions(const std::string& path, const std::vector<std::pair<int32_t, int32_t>>& positions) {
  std::vector<std::pair<std::string, std::string>> keys;
  for (std::size_t n = 0; n < positions.size(); ++n) {
    const std::string prefix = "T" + std::to_string(n + 1);
    if (positions[n].first > 0) keys.emplace_back(prefix + "X", std::to_string(positions[n].first));
    if (positions[n].second > 0) keys.emplace_back(prefix + "Y", std::to_string(positions[n].second));
  }
  if (keys.empty()) return;
  IniFile project(path);
  project.WriteStrings("THREADS", keys);
}
