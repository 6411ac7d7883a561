#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "NetworkSettings.h"

class TileHttpClient;

// The failed-tile list: one "path|url" entry per line, CR LF after each.

struct FtlEntry {
  std::string path;
  std::string url;
};

// Splits at the first bar; a line without one is all URL with an empty path.
FtlEntry SplitFtlLine(std::string_view line);
// Lines of a list file, split on LF with an optional CR before it; a last
// line without an ending counts. Throws FileWriteError when the file cannot
// be read or is not a regular file.
std::vector<std::string> ReadFtlLines(const std::string& path);
// The file text for a list of lines: each followed by CR LF.
std::string JoinLinesCrLf(const std::vector<std::string>& lines);

struct ProxyConfig {
  bool UseProxy = false;
  std::string ProxyServer;
  std::string ProxyPort;
  std::string ProxyUsername;
  std::string ProxyPassword;
};

// Gives the client the four proxy settings when UseProxy is set. Returns the
// reason, and sets nothing, when the port is not a usable number.
std::optional<std::string> ApplyProxy(const ProxyConfig& proxy, TileHttpClient& client);

// Why a list entry's path must not be written to (a list may come from
// anyone): nullopt for a path whose file name has the form of a tile file
// name, with no ".." component, that is not a symbolic link or other
// non-regular file. The reason is the line shown for the skipped entry.
std::optional<std::string> RefuseTilePath(const std::string& path);

// Outcome of one re-download run. errorMessage is set when the run ended with
// an error for a message box (the list could not be read, a tile could not be
// written, the proxy port is not usable).
struct RedownloadResult {
  int ok = 0;
  int failed = 0;
  int skipped = 0;
  bool banned = false;
  // The file has lines but none of the form path|address: it was refused
  // whole and nothing was fetched (errorMessage says so).
  bool notAList = false;
  std::optional<std::string> errorMessage;
};

// Fetches every entry of a list file again, in order, writing each tile to
// its path. Each line for the window's text area goes to appendLine.
RedownloadResult RedownloadFailedList(const std::string& listPath, const NetworkSettings& network,
                                      const ProxyConfig& proxy,
                                      const std::function<void(const std::string&)>& appendLine);

// The same for list lines already in hand (the map viewer's selection):
// stop is looked at before each entry, and entryDone, when set, is told of
// each entry once it is settled (fetched, failed or skipped). listName names
// the lines in the message for lines that are no list.
RedownloadResult RedownloadFtlLines(const std::vector<std::string>& lines, const NetworkSettings& network,
                                    const ProxyConfig& proxy,
                                    const std::function<void(const std::string&)>& appendLine,
                                    const std::atomic<bool>& stop, const std::string& listName = "The list",
                                    const std::function<void(const FtlEntry&)>& entryDone = {});
