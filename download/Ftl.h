#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "NetworkSettings.h"

// The failed-tile list: one "path|url" entry per line, CR LF after each.

struct FtlEntry {
  std::string path;
  std::string url;
};

// Splits at the first bar; a line without one is all URL with an empty path.
FtlEntry SplitFtlLine(std::string_view line);
// Lines of a list file, with CR LF or LF endings; throws FileWriteError when unreadable.
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

// Outcome of one re-download run. errorMessage is set when the run ended with
// an error for a message box (the list could not be read, a tile could not be written).
struct RedownloadResult {
  int ok = 0;
  int failed = 0;
  bool banned = false;
  std::optional<std::string> errorMessage;
};

// Fetches every entry of a list file again, in order, writing each tile to
// its path. Each line for the window's text area goes to appendLine.
RedownloadResult RedownloadFailedList(const std::string& listPath, const NetworkSettings& network,
                                      const ProxyConfig& proxy,
                                      const std::function<void(const std::string&)>& appendLine);
