#include "Ftl.h"

#include <sys/stat.h>

#include <algorithm>
#include <exception>
#include <memory>
#include <set>

#include "AtomicFile.h"
#include "Files.h"
#include "MapServices.h"
#include "ProxyConfig.h"
#include "RequestPacer.h"
#include "TileFetch.h"
#include "TextFormat.h"
#include "TileHttpClient.h"
#include "TileStore.h"
#include "Unitclasstask.h"

namespace {

bool HasParentComponent(std::string_view path) {
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(kDirSeparator, start);
    if (end == std::string_view::npos) end = path.size();
    if (path.substr(start, end - start) == "..") return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

FtlEntry SplitFtlLine(std::string_view line) {
  const std::size_t bar = line.find('|');
  if (bar == std::string_view::npos) return {std::string(), std::string(line)};
  return {std::string(line.substr(0, bar)), std::string(line.substr(bar + 1))};
}

std::vector<std::string> ReadFtlLines(const std::string& path) {
  // Only a regular file has an end; a device or a pipe could be read forever.
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    throw FileWriteError("Cannot open file " + path + ": not a regular file");
  }
  return SplitTextLines(ReadWholeFile(path));
}

std::string JoinLinesCrLf(const std::vector<std::string>& lines) {
  std::size_t size = 0;
  for (const std::string& line : lines) size += line.size() + 2;
  std::string text;
  text.reserve(size);
  for (const std::string& line : lines) text.append(line).append(kCrLf);
  return text;
}

std::optional<std::string> ApplyProxy(const ProxyConfig& proxy, TileHttpClient& client) {
  if (!proxy.UseProxy) return std::nullopt;
  if (std::optional<std::string> problem = ProxyPortProblem(proxy.ProxyPort)) return problem;
  client.ProxyServer = proxy.ProxyServer;
  client.ProxyPort = *ParseInt32(proxy.ProxyPort);
  client.ProxyUsername = proxy.ProxyUsername;
  client.ProxyPassword = proxy.ProxyPassword;
  return std::nullopt;
}

std::optional<std::string> RefuseTilePath(const std::string& path) {
  const std::size_t slash = path.rfind(kDirSeparator);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (path.find('\0') != std::string::npos || !LooksLikeTileFileName(name) || HasParentComponent(path)) {
    return "Skipped, not a tile file path: " + path;
  }
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0) {
    if (S_ISLNK(info.st_mode)) return "Skipped, tile file is a symbolic link: " + path;
    if (!S_ISREG(info.st_mode)) return "Skipped, not a regular file: " + path;
  }
  return std::nullopt;
}

std::string TaskFolderBesideList(const std::string& listPath) {
  constexpr std::string_view kSuffix = "_failed.ftl";
  if (!listPath.ends_with(kSuffix)) return {};
  const std::string folder = listPath.substr(0, listPath.size() - kSuffix.size()) + kDirSeparator;
  struct stat info {};
  if (folder.size() < 2 || ::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return {};
  return folder;
}

std::string TileStoreBesideList(const std::string& listPath) {
  constexpr std::string_view kSuffix = "_failed.ftl";
  if (!listPath.ends_with(kSuffix)) return {};
  const std::string store = listPath.substr(0, listPath.size() - kSuffix.size()) + kTileStoreEnding;
  return PathExists(store) ? store : std::string();
}

RedownloadResult RedownloadFailedList(const std::string& listPath, const NetworkSettings& network,
                                      const ProxyConfig& proxy,
                                      const std::function<void(const std::string&)>& appendLine,
                                      const RedownloadControl& control, bool rewriteList) {
  std::vector<std::string> lines;
  try {
    lines = ReadFtlLines(listPath);
  } catch (const std::exception& e) {
    RedownloadResult result;
    result.errorMessage = e.what();
    return result;
  }
  RedownloadControl own = control;
  std::unique_ptr<TileStore> store;
  if (!own.store && own.taskFolder.empty()) {
    if (const std::string beside = TileStoreBesideList(listPath); !beside.empty()) {
      try {
        store = TileStore::OpenForWriting(beside, false);
      } catch (const TileStoreError& refusal) {
        RedownloadResult result;
        result.errorMessage = refusal.what();
        return result;
      }
      own.store = store.get();
    }
  }
  if (own.taskFolder.empty() && !own.store) own.taskFolder = TaskFolderBesideList(listPath);
  RedownloadResult result = RedownloadFtlLines(lines, network, proxy, appendLine, own, listPath);
  if (!rewriteList || result.savedEntryPaths.empty()) return result;
  try {
    result.removedFromList = RemoveSettledEntries(listPath, result.savedEntryPaths);
  } catch (const std::exception& e) {
    if (!result.errorMessage) result.errorMessage = e.what();
  }
  return result;
}

RedownloadResult RedownloadFtlLines(const std::vector<std::string>& lines, const NetworkSettings& network,
                                    const ProxyConfig& proxy,
                                    const std::function<void(const std::string&)>& appendLine,
                                    const RedownloadControl& control, const std::string& listName) {
  RedownloadResult result;
  TileHttpClient client(network);
  if (std::optional<std::string> problem = ApplyProxy(proxy, client)) {
    result.errorMessage = std::move(problem);
    return result;
  }
  // One line for a file that is no list at all, rather than a skip line per line.
  const bool anyEntry = std::any_of(lines.begin(), lines.end(),
                                    [](const std::string& line) { return line.find('|') != std::string::npos; });
  const bool anyText = std::any_of(lines.begin(), lines.end(), [](const std::string& line) { return !line.empty(); });
  if (anyText && !anyEntry) {
    result.notAList = true;
    result.errorMessage = listName + " is not a failed-tile list: no line has the form path|address.";
    return result;
  }
  result.entries = static_cast<int>(
      std::count_if(lines.begin(), lines.end(), [](const std::string& line) { return !line.empty(); }));

  const std::atomic<bool> never{false};
  const std::atomic<bool>& stop = control.stop ? *control.stop : never;
  RequestPacer pacer(network.MaxRequestsPerSecond);
  TileFetcher fetcher(client, network, &pacer, stop);
  TileFetchNotes notes;
  std::string url;
  notes.waiting = [&](const std::string& message, std::chrono::seconds wait) {
    appendLine(url + ":" + message + ": waiting " + std::to_string(wait.count()) + " s before asking again.");
  };
  std::string buffer;
  for (const std::string& line : lines) {
    if (stop) {
      result.stopped = true;
      break;
    }
    FtlEntry entry = SplitFtlLine(line);
    if (line.empty()) continue;
    const std::string listedPath = entry.path;
    if (!control.taskFolder.empty() && !entry.path.empty()) {
      const std::size_t slash = entry.path.rfind(kDirSeparator);
      entry.path = control.taskFolder + (slash == std::string::npos ? entry.path : entry.path.substr(slash + 1));
    }
    // Told once the entry is settled, whichever way it went.
    struct Settled {
      const std::function<void(const FtlEntry&)>& done;
      const FtlEntry& entry;
      ~Settled() {
        if (done) done(entry);
      }
    } settled{control.entryDone, entry};
    if (entry.path.empty()) {
      appendLine("Skipped, not a tile file path: " + line);
      ++result.skipped;
      continue;
    }
    const std::size_t slash = entry.path.rfind(kDirSeparator);
    const std::optional<TileNameParts> tile =
        control.store ? ParseTileName(entry.path.substr(slash == std::string::npos ? 0 : slash + 1)) : std::nullopt;
    if (control.store && !tile) {
      appendLine("Skipped, not a tile file path: " + entry.path);
      ++result.skipped;
      continue;
    }
    if (std::optional<std::string> refusal = control.store ? std::nullopt : RefuseTilePath(entry.path)) {
      appendLine(*refusal);
      ++result.skipped;
      continue;
    }
    url = entry.url;
    const TileFetchResult fetched = fetcher.Fetch(entry.url, buffer, notes);
    if (fetched.status == TileFetchResult::Status::Abandoned) {
      result.stopped = true;
      break;
    }
    if (fetched.status == TileFetchResult::Status::Fetched) {
      try {
        if (control.store) {
          const TileKey& key = tile->tile;
          const int32_t top = TopCountedRow(RowOriginOf(tile->mapsType), key.zoom, key.y);
          control.store->WriteBatch({{key.zoom, key.x, top, buffer}});
        } else {
          WriteTileBody(entry.path, buffer);
        }
      } catch (const std::exception& e) {
        result.errorMessage = e.what();
        return result;
      }
      appendLine(entry.path + ":" + entry.url + ":OK");
      ++result.ok;
      result.savedEntryPaths.push_back(listedPath);
      continue;
    }
    ++result.failed;
    if (fetched.outcome == FetchOutcome::NoMessage) continue;
    appendLine(fetched.message + "->" + entry.url);
    if (fetched.outcome == FetchOutcome::Banned) {
      appendLine(kBanText);
      result.banned = true;
      return result;
    }
    if (fetched.outcome == FetchOutcome::NotFound) appendLine(entry.url + ":" + kNotFoundText);
  }
  return result;
}

int RemoveSettledEntries(const std::string& listPath, const std::vector<std::string>& savedPaths) {
  const std::set<std::string> saved(savedPaths.begin(), savedPaths.end());
  const std::string text = ReadWholeFile(listPath);
  std::string kept;
  kept.reserve(text.size());
  int removed = 0;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    std::string_view line(text.data() + start, end - start);
    std::string_view content = line;
    if (content.ends_with('\n')) content.remove_suffix(1);
    if (content.ends_with('\r')) content.remove_suffix(1);
    const std::size_t bar = content.find('|');
    if (bar != std::string_view::npos && saved.count(std::string(content.substr(0, bar))) > 0) {
      ++removed;
    } else {
      kept.append(line);
    }
    start = end;
  }
  if (removed > 0) WriteFileAtomic(listPath, kept);
  return removed;
}

std::string RedownloadSummary(const RedownloadResult& result) {
  if (result.entries == 0) return "The list holds no entry: nothing was fetched.";
  return "Fetched again: " + std::to_string(result.ok) + " saved, " + std::to_string(result.failed) + " failed" +
         (result.skipped ? ", " + std::to_string(result.skipped) + " skipped" : "") + ", " +
         std::to_string(result.removedFromList) + " taken off the list" + (result.stopped ? " (stopped)." : ".");
}
