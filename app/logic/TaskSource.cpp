#include "TaskSource.h"

#include <algorithm>

#include "Files.h"
#include "ProjectFile.h"
#include "SourceCatalogue.h"
#include "TextFormat.h"

namespace {

std::string Folder(std::string folder) {
  if (!folder.empty() && folder.back() != kDirSeparator) folder += kDirSeparator;
  return folder;
}

}  // namespace

std::optional<TileSource> FindChosenSource(Platform& platform, const std::string& configPath, const std::string& name) {
  return SourceCatalogue(SourceFoldersFor(configPath, Folder(platform.ExecutableFolder()))).Find(name);
}

std::optional<std::string> SourceTileLimitProblem(const TileSource& source, int64_t tiles) {
  if (source.MaxTiles <= 0 || tiles <= source.MaxTiles) return std::nullopt;
  const std::string named = "The source '" + source.Name + "'";
  const std::string terms = source.TermsUrl.empty() ? std::string() : " (" + source.TermsUrl + ")";
  return named + (source.BulkDownload ? " allows" : "'s terms" + terms + " forbid bulk downloading and allow") +
         " at most " + std::to_string(source.MaxTiles) + " tiles a task; this task holds " + std::to_string(tiles) +
         ". Choose another source (quarnel-cli sources lists them; the window's Source) or a smaller area.";
}

std::optional<std::string> ApplySource(TaskParameters& settings, const TileSource& source,
                                       const std::string& configPath, std::optional<int64_t> tiles) {
  if (std::optional<std::string> problem = SourceProblem(source)) return problem;
  const std::string named = "The source '" + source.Name + "'";
  if (settings.Zoom < source.MinZoom || settings.Zoom > source.MaxZoom)
    return named + " has zoom levels " + std::to_string(source.MinZoom) + " to " + std::to_string(source.MaxZoom) +
           "; level " + std::to_string(settings.Zoom) + " is not among them.";
  if (tiles)
    if (std::optional<std::string> problem = SourceTileLimitProblem(source, *tiles)) return problem;
  if (std::optional<std::string> problem = UseStoredSource(source, configPath, settings.Hosts, settings.Network))
    return problem;
  settings.Source = source;
  if (source.MaxThreads > 0) settings.ThreadCount = std::min(settings.ThreadCount, source.MaxThreads);
  return std::nullopt;
}

std::optional<std::string> UseListSource(const std::string& listPath, const std::string& configPath,
                                         NetworkSettings& network) {
  const std::string projectPath = ProjectPathOfList(listPath);
  if (projectPath.empty() || !FileExists(projectPath)) return std::nullopt;
  std::optional<TileSource> source;
  try {
    const ProjectFile project = ProjectFile::Read(projectPath);
    source = project.Source;
    network.TileFormat = project.TileFormat;  // the list's tiles are checked as the task's own
  } catch (const ProjectFileError&) {
    return std::nullopt;  // a list without its task is fetched as the configuration says, as before
  }
  if (!source) return std::nullopt;
  TileHosts unused;
  return UseStoredSource(*source, configPath, unused, network);
}
