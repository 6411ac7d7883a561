#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "NetworkSettings.h"
#include "ProxyConfig.h"

class TileHttpClient;
class TileStore;

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
  int entries = 0;  // the list's lines that are not empty
  int ok = 0;
  int failed = 0;
  int skipped = 0;
  bool banned = false;
  bool stopped = false;  // a stop request ended the run before its last entry
  // The file has lines but none of the form path|address: it was refused
  // whole and nothing was fetched (errorMessage says so).
  bool notAList = false;
  // Entries taken out of the list file because their tiles were saved.
  int removedFromList = 0;
  std::optional<std::string> errorMessage;
  // The path texts of the entries whose tiles were saved.
  std::vector<std::string> savedEntryPaths;
};

// What a re-download run hears and obeys, all optional.
struct RedownloadControl {
  const std::atomic<bool>* stop = nullptr;  // looked at before each entry and in every wait
  std::function<void(const FtlEntry& entry)> entryDone;  // each entry once it is settled
  // Entries are written into this folder (their own file names) rather than
  // to the paths they name: a copied or moved task is mended in place.
  std::string taskFolder;
  // A task kept in one file: entries are written into this store (the
  // tile their file name stands for) rather than to any path.
  TileStore* store = nullptr;
};

// The task folder beside a list named NAME_failed.ftl: NAME/ next to it, when
// that folder exists; empty otherwise.
std::string TaskFolderBesideList(const std::string& listPath);
// The store beside a list named NAME_failed.ftl: NAME.mbtiles next to it,
// when that file exists; empty otherwise.
std::string TileStoreBesideList(const std::string& listPath);

// Fetches every entry of a list file again, in order, writing each tile to
// its path (into the task folder beside the list when there is one, or
// into the store beside it, which must then open for writing). Each
// line for the window's text area goes to appendLine. With rewriteList, the
// entries whose tiles were saved then leave the file.
RedownloadResult RedownloadFailedList(const std::string& listPath, const NetworkSettings& network,
                                      const ProxyConfig& proxy,
                                      const std::function<void(const std::string&)>& appendLine,
                                      const RedownloadControl& control = {}, bool rewriteList = true);

// The same for list lines already in hand (the map viewer's selection).
// listName names the lines in the message for lines that are no list.
// Every fetch takes the workers' road (TileFetcher): their classifier,
// repeats, waits, rate cap, image check and bounds.
RedownloadResult RedownloadFtlLines(const std::vector<std::string>& lines, const NetworkSettings& network,
                                    const ProxyConfig& proxy,
                                    const std::function<void(const std::string&)>& appendLine,
                                    const RedownloadControl& control = {}, const std::string& listName = "The list");

// One line on a finished run: "Fetched again: 3 saved, 1 failed, 2 taken off
// the list." (skipped entries and a stop named when there were any), or that
// the list held no entry.
std::string RedownloadSummary(const RedownloadResult& result);

// Takes the entries whose path is one of savedPaths out of a list file,
// atomically; every other line keeps its place and its bytes. Returns how
// many lines left. Throws FileWriteError when the file cannot be rewritten.
int RemoveSettledEntries(const std::string& listPath, const std::vector<std::string>& savedPaths);
