#include "Unitoptions.h"

#include <filesystem>
#include <system_error>

#include "AppPaths.h"
#include "HandlerGuard.h"
#include "IniFile.h"
#include "MapServices.h"
#include "ProxyConfig.h"
#include "TextFormat.h"

TfrmOptions::TfrmOptions(Platform& platform, std::string configPathOverride)
    : platform_(platform), configPathOverride_(std::move(configPathOverride)) {}

TfrmOptionsFields TfrmOptions::FormShow() {
  RunHandler(platform_, [&] {
    configPath_ = ConfigFilePath(platform_.ExecutableFolder(), configPathOverride_);
    const IniFile ini(configPath_);
    TfrmOptionsFields read;
    // The values in force: the main window's defaults, not a second set.
    read.Edit12 = ini.ReadString("IniParas", "DefaultPath", MainWindowDefaultSavePath());
    read.Edit2 = std::to_string(ini.ReadInteger("IniParas", "DefaultThreadCount", 1));
    read.CheckBoxUseProxy = ini.ReadInteger("Proxy", "UseProxy", 0) == 1;
    read.EditProxyServer = ini.ReadString("Proxy", "ProxyServer", "");
    read.EditProxyPort = ini.ReadString("Proxy", "ProxyPort", "");
    read.EditProxyUsername = ini.ReadString("Proxy", "ProxyUsername", "");
    read.EditProxyPassword = ini.ReadString("Proxy", "ProxyPassword", "");
    read.EditTileServer = ini.ReadString("Hosts", "OpenStreetMap", "");
    read.EditUserAgent = ini.ReadString("Network", "UserAgent", "");
    shown_ = read;
  });
  return shown_;
}

bool TfrmOptions::Button1Click(const TfrmOptionsFields& now) {
  configPath_ = ConfigFilePath(platform_.ExecutableFolder(), configPathOverride_);
  // Checked before anything is written, so a bad field never leaves half the keys saved.
  std::optional<int32_t> threads;
  if (const std::optional<std::string> problem = RefusedField(now, threads)) {
    platform_.ShowMessage(*problem);
    return false;
  }
  if (now == shown_) return true;  // nothing changed: nothing to write
  const std::filesystem::path folder = std::filesystem::path(configPath_).parent_path();
  std::error_code error;
  if (!folder.empty() && !std::filesystem::is_directory(folder, error)) {
    std::filesystem::create_directories(folder, error);
    if (error) {
      platform_.ShowMessage("Cannot create folder " + folder.string() + ": " + error.message());
      return false;
    }
  }
  try {
    // Before the password goes in: the rewrite keeps an existing file's mode.
    if (!now.EditProxyPassword.empty() && std::filesystem::exists(configPath_, error))
      std::filesystem::permissions(configPath_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    IniFile ini(configPath_);
    ini.SetCreateMode(0600);  // the file holds the proxy password
    const auto write = [&](const std::string& section, const std::string& key, const std::string& value, bool changed) {
      if (changed) ini.WriteString(section, key, value);
    };
    write("IniParas", "DefaultPath", now.Edit12, now.Edit12 != shown_.Edit12);
    write("IniParas", "DefaultThreadCount", std::to_string(*threads), now.Edit2 != shown_.Edit2);
    write("Proxy", "UseProxy", now.CheckBoxUseProxy ? "1" : "0", now.CheckBoxUseProxy != shown_.CheckBoxUseProxy);
    write("Proxy", "ProxyServer", now.EditProxyServer, now.EditProxyServer != shown_.EditProxyServer);
    write("Proxy", "ProxyPort", now.EditProxyPort, now.EditProxyPort != shown_.EditProxyPort);
    write("Proxy", "ProxyUsername", now.EditProxyUsername, now.EditProxyUsername != shown_.EditProxyUsername);
    write("Proxy", "ProxyPassword", now.EditProxyPassword, now.EditProxyPassword != shown_.EditProxyPassword);
    write("Hosts", "OpenStreetMap", now.EditTileServer, now.EditTileServer != shown_.EditTileServer);
    write("Network", "UserAgent", now.EditUserAgent, now.EditUserAgent != shown_.EditUserAgent);
    shown_ = now;
  } catch (const std::exception& e) {
    platform_.ShowMessage(e.what());
    return false;
  }
  return true;
}

std::optional<std::string> TfrmOptions::RefusedField(const TfrmOptionsFields& fields, std::optional<int32_t>& threads) {
  threads = ParseInt32(fields.Edit2);
  if (!threads) return "'" + fields.Edit2 + "' is not a valid integer value.";
  // An empty port is fine while no proxy is used: it is the file's default.
  TileHosts hosts;
  hosts.OpenStreetMap = fields.EditTileServer;
  if (const std::optional<std::string> problem = TileHostProblem(hosts, kOpenStreetMap)) return problem;
  if (fields.CheckBoxUseProxy || !fields.EditProxyPort.empty()) return ProxyPortProblem(fields.EditProxyPort);
  return std::nullopt;
}

std::string TfrmOptions::TileServerSampleText(const std::string& tileServer) {
  TileHosts hosts;
  if (!tileServer.empty()) hosts.OpenStreetMap = tileServer;
  if (const std::optional<std::string> problem = TileHostProblem(hosts, kOpenStreetMap)) return *problem;
  // Zoom 12 over the Alps: a tile whose numbers are easy to tell apart.
  return "Sample tile: " + BuildTileUrl(hosts, kOpenStreetMap, 2138, 1447, 12);
}

std::optional<std::string> TfrmOptions::Button3Click() { return platform_.BrowseForFolder("Select path"); }
