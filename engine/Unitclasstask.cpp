#include "Unitclasstask.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

#include "AtomicFile.h"
#include "Commonfunc.h"
#include "Files.h"
#include "LineBuilder.h"
#include "MapServices.h"
#include "ProjectFile.h"
#include "TextFormat.h"
#include "TileBody.h"
#include "TileListWriter.h"

namespace {

constexpr int32_t kMaxZoom = 30;          // the grid's scale is a 32-bit shift

// A grid conversion that cannot give a 32-bit result fails the set-up.
template <typename Conversion>
int32_t Checked(const char* what, double value, Conversion convert) {
  try {
    return convert(value);
  } catch (const GridConversionError& error) {
    throw TaskSetupError(std::string(what) + " " + FormatGeneral(value) + ": " + error.what());
  }
}

}  // namespace

TaskTileRange TileRangeOf(double left, double right, double top, double bottom, int32_t zoomLevel,
                          int32_t mapsType) {
  if (zoomLevel < 0 || zoomLevel > kMaxZoom)
    throw TaskSetupError("Zoom level " + std::to_string(zoomLevel) + " is outside 0.." + std::to_string(kMaxZoom));
  const auto zoom = static_cast<uint8_t>(zoomLevel);
  const RowOrigin origin = RowOriginOf(mapsType);

  TaskTileRange r;
  const auto column = [&](double longitude) { return LongitudeToColumn(longitude, zoom); };
  const auto row = [&](double latitude) { return LatitudeToRow(latitude, zoom, origin); };
  r.MinX = Checked("Left longitude", left, column);
  r.MaxX = Checked("Right longitude", right, column);
  r.MinY = Checked("Bottom latitude", bottom, row);
  r.MaxY = Checked("Top latitude", top, row);

  r.WestLongitude = static_cast<double>(ColumnToLongitude(r.MinX, zoom));
  r.EastLongitude = static_cast<double>(ColumnToLongitude(static_cast<double>(r.MaxX) + 1, zoom));
  if (origin == RowOrigin::FromBottom) {
    r.NorthLatitude = RowToLatitude(static_cast<double>(r.MaxY) + 1, zoom, origin);
    r.SouthLatitude = RowToLatitude(r.MinY, zoom, origin);
  } else {
    r.NorthLatitude = RowToLatitude(r.MaxY, zoom, origin);
    r.SouthLatitude = RowToLatitude(static_cast<double>(r.MinY) + 1, zoom, origin);
  }
  if (r.MaxY < r.MinY) std::swap(r.MinY, r.MaxY);

  // The product of two ranges can exceed 32 bits: count in 64 and check before narrowing.
  const int64_t columns = int64_t{r.MaxX} - r.MinX + 1;
  const int64_t rows = int64_t{r.MaxY} - r.MinY + 1;
  if (columns <= 0)
    throw TaskSetupError("The rectangle has no tiles: its left longitude lies east of its right one");
  const int64_t total = columns * rows;
  if (total > std::numeric_limits<int32_t>::max())
    throw TaskSetupError("The range holds " + std::to_string(total) + " tiles, more than " +
                         std::to_string(std::numeric_limits<int32_t>::max()) + " a task can count");
  r.TotalTiles = static_cast<int32_t>(total);
  return r;
}

TaskLayout::Shape TaskLayout::ShapeOf(const TaskParameters& p) {
  Shape shape{TileRangeOf(p.LeftLongitude, p.RightLongitude, p.TopLatitude, p.BottomLatitude, p.Zoom, p.MapsType),
              nullptr};
  if (!p.Area) return shape;
  shape.inside = p.Area->TilesInside(p.Zoom, RowOriginOf(p.MapsType), shape.range);
  // Never widened to the rectangle: a task over an area fetches its inside or nothing.
  if (!shape.inside || shape.inside->Count() <= 0)
    throw TaskSetupError("The area has no tile inside at zoom " + std::to_string(p.Zoom),
                         "The area holds no tile at zoom " + std::to_string(p.Zoom) + ".");
  shape.range.TotalTiles = static_cast<int32_t>(std::min<int64_t>(shape.inside->Count(), shape.range.TotalTiles));
  return shape;
}

TaskLayout::TaskLayout(TaskParameters parameters) : TaskLayout(parameters, ShapeOf(parameters)) {}

TaskLayout::TaskLayout(TaskParameters parameters, Shape shape)
    : TaskTileRange(shape.range),
      Parameters([&] {
        if (shape.range.TotalTiles < parameters.ThreadCount) parameters.ThreadCount = shape.range.TotalTiles;
        return std::move(parameters);
      }()),
      Inside(std::move(shape.inside)) {
  const std::string base = Parameters.SavePath + TaskBaseName(Parameters.TaskFileName);
  LogPath = base + "_log.txt";
  FailedListPath = base + "_failed.ftl";
  TileListPath = base + "_list.txt";
  TileFolder = base + kDirSeparator;
  if (Inside) AreaFilePath = Parameters.SavePath + AreaFileNameOf(Parameters.TaskFileName);
}

DownloadTask::DownloadTask(TaskParameters parameters) : TaskLayout(std::move(parameters)) {
  if (!IsDirectory(TileFolder) && ::mkdir(TileFolder.c_str(), 0777) != 0)
    throw TaskSetupError("Cannot create the folder " + TileFolder + ": " + std::strerror(errno),
                         "Create directory " + TileFolder + " Failed.");
  TileFolderWasEmpty = FolderIsEmpty(TileFolder);
  if (Parameters.Resume) ReadResumePositions();
}

void DownloadTask::ClearStaleTemporaries() const {
  // A killed run may have left half-written temporaries beside its files.
  RemoveStaleTemporaries(TileFolder);
  RemoveStaleTemporaries(Parameters.SavePath);
}

int64_t TilesBeforePositions(const TaskTileRange& range, int32_t threadCount,
                             const std::vector<std::pair<int32_t, int32_t>>& positions, const TileSelection* inside) {
  const int64_t height = int64_t{range.MaxY} - range.MinY + 1;
  const int64_t workers = std::max(threadCount, 1);
  int64_t done = 0;
  for (int64_t k = 0; k < std::min<int64_t>(workers, static_cast<int64_t>(positions.size())); ++k) {
    const auto [x, y] = positions[static_cast<std::size_t>(k)];
    // 0 is no position, and a position off the range belongs to another task.
    if (x == 0 || y == 0 || x < range.MinX || x > range.MaxX || y < range.MinY || y > range.MaxY) continue;
    const int64_t skip = (int64_t{x} - range.MinX) * height + (int64_t{y} - range.MinY) + 1;
    // Tiles 1..skip whose number leaves the remainder k.
    if (inside)
      done += inside->WorkerTilesThrough(workers, k, skip);
    else
      done += k == 0 ? skip / workers : (skip >= k ? (skip - k) / workers + 1 : 0);
  }
  return std::min<int64_t>(done, range.TotalTiles);
}

int64_t DownloadTask::TilesBeforeResume() const {
  std::vector<std::pair<int32_t, int32_t>> positions;
  for (std::size_t k = 0; k < ResumeX.size(); ++k) positions.emplace_back(ResumeX[k], ResumeY[k]);
  return TilesBeforePositions(*this, Parameters.ThreadCount, positions, Inside.get());
}

void DownloadTask::ReadResumePositions() {
  const auto positions = ProjectFile::ReadPositions(ProjectFilePath());
  const int32_t workers = std::min(Parameters.ThreadCount, ProjectFile::kPositionSlots);
  for (int32_t n = 1; n <= workers; ++n) {
    const int32_t x = positions[static_cast<std::size_t>(n - 1)].x;
    const int32_t y = positions[static_cast<std::size_t>(n - 1)].y;
    // A position outside the range belongs to another task: start that share afresh.
    if (x < MinX || x > MaxX || y < MinY || y > MaxY) continue;
    ResumeX[static_cast<std::size_t>(n - 1)] = x;
    ResumeY[static_cast<std::size_t>(n - 1)] = y;
  }
}

std::string TaskLayout::TileUrl(int32_t x, int32_t y) const {
  return BuildTileUrl(Parameters.Hosts, Parameters.MapsType, x, y, Parameters.Zoom);
}

std::string TaskLayout::TileFileName(int32_t x, int32_t y) const {
  std::string name = BuildTileFileName(Parameters.MapsType, x, y, Parameters.Zoom);
  if (IsVector()) name.replace(name.rfind('.') + 1, std::string::npos, kVectorTileEnding);
  return name;
}

std::string TaskLayout::TileFilePath(int32_t x, int32_t y) const { return TileFolder + TileFileName(x, y); }

std::string TaskLayout::SavedTilePath(int32_t x, int32_t y) const { return SavedTileFile(TileFilePath(x, y)); }

namespace {

constexpr const char* kImageEndings[] = {"png", "jpg", "gif", "webp"};

// taskPath up to and including the dot of its ending.
std::string_view Stem(const std::string& taskPath) {
  const std::size_t dot = taskPath.rfind('.');
  const std::size_t slash = taskPath.rfind(kDirSeparator);
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return taskPath;
  return std::string_view(taskPath).substr(0, dot + 1);
}

bool Present(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

}  // namespace

std::vector<std::string> TileFileNames(const std::string& taskPath) {
  std::vector<std::string> names{taskPath};
  const std::string_view stem = Stem(taskPath);
  if (stem.size() == taskPath.size()) return names;
  for (const char* ending : kImageEndings) {
    std::string name = std::string(stem) + ending;
    if (name != taskPath) names.push_back(std::move(name));
  }
  return names;
}

std::string TileFilePathFor(const std::string& taskPath, std::string_view body) {
  const char* ending = TileImageEnding(TileImageFormatOf(body));
  const std::string_view stem = Stem(taskPath);
  if (!ending || stem.size() == taskPath.size()) return taskPath;
  return std::string(stem) + ending;
}

std::string SavedTileFile(const std::string& taskPath) {
  for (const std::string& name : TileFileNames(taskPath))
    if (Present(name)) return name;
  return taskPath;
}

// Written by the thousand: the other names are built in one buffer.
std::string WriteTileBody(const std::string& taskPath, std::string_view body, bool otherNamesPossible) {
  std::string path = TileFilePathFor(taskPath, body);
  WriteTileFileAtomic(path, body);
  if (!otherNamesPossible) return path;
  if (taskPath != path) ::unlink(taskPath.c_str());
  std::string other(Stem(taskPath));
  const std::size_t stem = other.size();
  if (stem == taskPath.size()) return path;
  for (const char* ending : kImageEndings) {
    other.resize(stem);
    other += ending;
    if (other != path && other != taskPath) ::unlink(other.c_str());
  }
  return path;
}

bool PutTilePlaceholder(const std::string& taskPath, std::string_view bytes) {
  for (const std::string& name : TileFileNames(taskPath))
    if (name != taskPath && Present(name)) return false;
  return CreateFileAtomicNoReplace(taskPath, bytes);
}

std::string TaskLayout::ProjectFilePath() const { return Parameters.SavePath + Parameters.TaskFileName; }

std::string DownloadTask::ProjectFileText() const { return ::ProjectFileText(Parameters, *this); }

std::string DownloadTask::LogHeaderText(const std::string& nowText) const {
  const TaskParameters& p = Parameters;
  LineBuilder line;
  line("Project: ", p.SavePath + p.TaskFileName)("Log begin......v=", kVersionText)("Now time is:", nowText)("");
  line("[MapsType]")("MapsType=", int64_t{p.MapsType})("");
  if (p.UseProxy) {
    // The log is shared with support and left lying around: the password stays out of it.
    line("Using Proxy:")("Proxy Server:", p.ProxyServer)("Proxy Port:", p.ProxyPort);
    line("ProxyUsername:", p.ProxyUsername)("ProxyPassword:", p.ProxyPassword.empty() ? "" : "********")("");
  }
  line("Left Longitude  input= ", p.LeftLongitude)("Right Longitude input= ", p.RightLongitude);
  line("Top Latitude    input= ", p.TopLatitude)("Bottom Latitude input= ", p.BottomLatitude)("");
  line("MinX = ", int64_t{MinX})("MinY = ", int64_t{MinY})("MaxX = ", int64_t{MaxX})("MaxY = ", int64_t{MaxY})("");
  line("Left Longitude  download=", WestLongitude)("Right Longitude download=", EastLongitude);
  line("Top Latitude    download=", NorthLatitude)("Bottom Latitude download=", SouthLatitude)("");
  line("All images' scope information are saved to ", TileListPath)("");
  if (Inside) line("Only the tiles inside the area ", AreaFilePath + " are downloaded.")("");
  line("Total count of images would be downloaded: ", int64_t{TotalTiles})("");
  line("Download threads count: ", int64_t{p.ThreadCount})("");
  line("Zoom level: ", int64_t{p.Zoom})("");
  line("path: ", p.SavePath)("");
  line("Start downloading...")(std::string(34, '~'));
  return line.Take();
}

std::string DownloadTask::LogContinuationText(const std::string& nowText) const {
  LineBuilder line;
  line(std::string(44, '-'))("Log continue...v=", kVersionText)("Now time is:", nowText);
  return line.Take();
}

std::string DownloadTask::TileListLine(int32_t x, int32_t y) const {
  return TileListWriter(*this, Parameters.Zoom, Parameters.MapsType, Inside.get()).Line(x, y);
}

void DownloadTask::WriteProjectFile() const {
  if (Parameters.Resume) return;
  if (Parameters.Area) WriteFileAtomic(AreaFilePath, Parameters.Area->FileText());
  WriteFileAtomic(ProjectFilePath(), ProjectFileText());
}

void DownloadTask::WriteTileList() const {
  if (Parameters.Resume) return;
  TileListWriter(*this, Parameters.Zoom, Parameters.MapsType, Inside.get()).Write(TileListPath);
}

void DownloadTask::WriteFiles(const std::string& nowText, const std::atomic<bool>* cancel) const {
  if (!Parameters.Resume) {
    AtomicFileWriter list(TileListPath);
    TileListWriter(*this, Parameters.Zoom, Parameters.MapsType, Inside.get()).Write(list, cancel);
    WriteProjectFile();
    list.Commit();
  }
  WriteLogHeader(nowText);
  CreateFailedList();
}

void DownloadTask::WriteLogHeader(const std::string& nowText) const {
  if (!Parameters.Resume) {
    WriteFileAtomic(LogPath, LogHeaderText(nowText));
    return;
  }
  // Streamed: the log of a long task is the largest file it keeps.
  AtomicFileWriter writer(LogPath);
  char last = '\n';
  ReadFileInPieces(LogPath, [&](std::string_view piece) {
    writer.Append(piece);
    last = piece.back();
  });
  if (last != '\n') writer.Append(kCrLf);
  writer.Append(LogContinuationText(nowText));
  writer.Commit();
}

void DownloadTask::CreateFailedList() const {
  if (Parameters.Resume) return;
  WriteFileAtomic(FailedListPath, "");
}
