#include "Ftl.h"

#include <sys/stat.h>

#include <algorithm>
#include <exception>

#include "AtomicFile.h"
#include "MapServices.h"
#include "RequestPacer.h"
#include "TDownThread.h"
#include "TextFormat.h"
#include "TileHttpClient.h"

namespace {

bool Contains(std::string_view text, std::string_view what) {
  return text.find(what) != std::string_view::npos;
}

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
  const std::optional<int32_t> port = ParseInt32(proxy.ProxyPort);
  if (!port) return "Proxy port is not a number: " + proxy.ProxyPort;
  if (!proxy.ProxyServer.empty() && (*port < 1 || *port > 65535)) {
    return "Proxy port is out of range: " + proxy.ProxyPort;
  }
  client.ProxyServer = proxy.ProxyServer;
  client.ProxyPort = *port;
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

RedownloadResult RedownloadFailedList(const std::string& listPath, const NetworkSettings& network,
                                      const ProxyConfig& proxy,
                                      const std::function<void(const std::string&)>& appendLine) {
  std::vector<std::string> lines;
  try {
    lines = ReadFtlLines(listPath);
  } catch (const std::exception& e) {
    RedownloadResult result;
    result.errorMessage = e.what();
    return result;
  }
  const std::atomic<bool> never{false};
  return RedownloadFtlLines(lines, network, proxy, appendLine, never, listPath);
}

RedownloadResult RedownloadFtlLines(const std::vector<std::string>& lines, const NetworkSettings& network,
                                    const ProxyConfig& proxy,
                                    const std::function<void(const std::string&)>& appendLine,
                                    const std::atomic<bool>& stop, const std::string& listName,
                                    const std::function<void(const FtlEntry&)>& entryDone) {
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

  RequestPacer pacer(network.MaxRequestsPerSecond);
  std::string buffer;
  for (const std::string& line : lines) {
    if (stop) break;
    const FtlEntry entry = SplitFtlLine(line);
    if (line.empty()) continue;
    // Told once the entry is settled, whichever way it went.
    struct Settled {
      const std::function<void(const FtlEntry&)>& done;
      const FtlEntry& entry;
      ~Settled() {
        if (done) done(entry);
      }
    } settled{entryDone, entry};
    if (entry.path.empty()) {
      appendLine("Skipped, not a tile file path: " + line);
      ++result.skipped;
      continue;
    }
    if (std::optional<std::string> refusal = RefuseTilePath(entry.path)) {
      appendLine(*refusal);
      ++result.skipped;
      continue;
    }
    for (int32_t repeats = 0;; ++repeats) {
      buffer.clear();
      bool fetched = false;
      std::string message;
      pacer.Wait(stop);
      try {
        client.Get(entry.url, buffer);
        fetched = true;
      } catch (const std::exception& e) {
        message = e.what();
      } catch (...) {
        // A failure without a message: nothing is shown for it.
      }
      if (fetched) {
        try {
          WriteFileAtomic(entry.path, buffer, Durability::ProcessCrash);
        } catch (const std::exception& e) {
          result.errorMessage = e.what();
          return result;
        }
        appendLine(entry.path + ":" + entry.url + ":OK");
        ++result.ok;
        break;
      }
      if (Contains(message, "10054") && repeats < network.RepeatLimit) continue;

      ++result.failed;
      if (message.empty()) break;
      appendLine(message + "->" + entry.url);
      if (Contains(message, "302") || Contains(message, "403")) {
        appendLine(kBanText);
        result.banned = true;
        return result;
      }
      if (Contains(message, "404")) appendLine(entry.url + ":" + kNotFoundText);
      break;
    }
  }
  return result;
}
