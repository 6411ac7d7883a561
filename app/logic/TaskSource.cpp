#include "TaskSource.h"

#include <algorithm>

#include "SourceCatalogue.h"
#include "TextFormat.h"

namespace {

bool UsableKey(const std::string& key) {
  return std::none_of(key.begin(), key.end(), [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7f; });
}

std::string Folder(std::string folder) {
  if (!folder.empty() && folder.back() != kDirSeparator) folder += kDirSeparator;
  return folder;
}

}  // namespace

std::optional<TileSource> FindChosenSource(Platform& platform, const std::string& configPath, const std::string& name) {
  return SourceCatalogue(SourceFoldersFor(configPath, Folder(platform.ExecutableFolder()))).Find(name);
}

std::optional<std::string> ApplySource(TaskParameters& settings, const TileSource& source,
                                       const std::string& configPath, std::optional<int64_t> tiles) {
  if (std::optional<std::string> problem = SourceProblem(source)) return problem;
  const std::string named = "The source '" + source.Name + "'";
  std::string key;
  if (NeedsKey(source)) {
    const std::optional<std::string> found = FindSourceKey(source.Name, KeyFilePathFor(configPath));
    if (!found)
      return named + " needs a key: store it with \"quarnel-cli sources key " + source.Name + "\" or set " +
             KeyEnvironmentName(source.Name) + ".";
    // A blank or a line break would end the address or add a header line.
    if (!UsableKey(*found)) return named + "'s key holds a blank or a control character.";
    key = *found;
  }
  if (settings.Zoom < source.MinZoom || settings.Zoom > source.MaxZoom)
    return named + " has zoom levels " + std::to_string(source.MinZoom) + " to " + std::to_string(source.MaxZoom) +
           "; level " + std::to_string(settings.Zoom) + " is not among them.";
  if (source.MaxTiles > 0 && tiles && *tiles > source.MaxTiles) {
    const std::string terms = source.TermsUrl.empty() ? std::string() : " (" + source.TermsUrl + ")";
    return named + (source.BulkDownload ? " allows" : "'s terms" + terms + " forbid bulk downloading and allow") +
           " at most " + std::to_string(source.MaxTiles) + " tiles a task; this task holds " +
           std::to_string(*tiles) + ". Choose another source (quarnel-cli sources lists them; the window's "
           "Source) or a smaller area.";
  }
  settings.Source = source;
  settings.Hosts.OpenStreetMap = source.Template;
  settings.Network = SourceNetwork(source, std::move(settings.Network), std::move(key));
  if (source.MaxThreads > 0) settings.ThreadCount = std::min(settings.ThreadCount, source.MaxThreads);
  return std::nullopt;
}
