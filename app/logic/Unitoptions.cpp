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

void TfrmOptions::FormShow() {
  RunHandler(platform_, [&] {
    ConfigPath = ConfigFilePath(platform_.ExecutableFolder(), configPathOverride_);
    const IniFile ini(ConfigPath);
    // The values in force: the main window's defaults, not a second set.
    Edit12 = ini.ReadString("IniParas", "DefaultPath", MainWindowDefaultSavePath());
    Edit2 = std::to_string(ini.ReadInteger("IniParas", "DefaultThreadCount", 1));
    CheckBoxUseProxy = ini.ReadInteger("Proxy", "UseProxy", 0) == 1;
    EditProxyServer = ini.ReadString("Proxy", "ProxyServer", "");
    EditProxyPort = ini.ReadString("Proxy", "ProxyPort", "");
    EditProxyUsername = ini.ReadString("Proxy", "ProxyUsername", "");
    EditProxyPassword = ini.ReadString("Proxy", "ProxyPassword", "");
    EditTileServer = ini.ReadString("Hosts", "OpenStreetMap", "");
    EditUserAgent = ini.ReadString("Network", "UserAgent", "");
    EditTileServerChange();
    shown_ = Current();
  });
}

TfrmOptions::Fields TfrmOptions::Current() const {
  return {Edit12,        Edit2,          CheckBoxUseProxy,  EditProxyServer, EditProxyPort,
          EditProxyUsername, EditProxyPassword, EditTileServer, EditUserAgent};
}

bool TfrmOptions::Button1Click() {
  ConfigPath = ConfigFilePath(platform_.ExecutableFolder(), configPathOverride_);
  // Checked before anything is written, so a bad field never leaves half the keys saved.
  std::optional<int32_t> threads;
  if (const std::optional<std::string> problem = RefusedField(threads)) {
    platform_.ShowMessage(*problem);
    return false;
  }
  const Fields now = Current();
  if (now == shown_) return true;  // nothing changed: nothing to write
  const std::filesystem::path folder = std::filesystem::path(ConfigPath).parent_path();
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
    if (!EditProxyPassword.empty() && std::filesystem::exists(ConfigPath, error))
      std::filesystem::permissions(ConfigPath, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    IniFile ini(ConfigPath);
    ini.SetCreateMode(0600);  // the file holds the proxy password
    const auto write = [&](const std::string& section, const std::string& key, const std::string& value, bool changed) {
      if (changed) ini.WriteString(section, key, value);
    };
    write("IniParas", "DefaultPath", Edit12, now.defaultPath != shown_.defaultPath);
    write("IniParas", "DefaultThreadCount", std::to_string(*threads), now.threads != shown_.threads);
    write("Proxy", "UseProxy", CheckBoxUseProxy ? "1" : "0", now.useProxy != shown_.useProxy);
    write("Proxy", "ProxyServer", EditProxyServer, now.proxyServer != shown_.proxyServer);
    write("Proxy", "ProxyPort", EditProxyPort, now.proxyPort != shown_.proxyPort);
    write("Proxy", "ProxyUsername", EditProxyUsername, now.proxyUsername != shown_.proxyUsername);
    write("Proxy", "ProxyPassword", EditProxyPassword, now.proxyPassword != shown_.proxyPassword);
    write("Hosts", "OpenStreetMap", EditTileServer, now.tileServer != shown_.tileServer);
    write("Network", "UserAgent", EditUserAgent, now.userAgent != shown_.userAgent);
    shown_ = now;
  } catch (const std::exception& e) {
    platform_.ShowMessage(e.what());
    return false;
  }
  return true;
}

std::optional<std::string> TfrmOptions::RefusedField(std::optional<int32_t>& threads) const {
  threads = ParseInt32(Edit2);
  if (!threads) return "'" + Edit2 + "' is not a valid integer value.";
  // An empty port is fine while no proxy is used: it is the file's default.
  TileHosts hosts;
  hosts.OpenStreetMap = EditTileServer;
  if (const std::optional<std::string> problem = TileHostProblem(hosts, kOpenStreetMap)) return problem;
  if (CheckBoxUseProxy || !EditProxyPort.empty()) return ProxyPortProblem(EditProxyPort);
  return std::nullopt;
}

std::string TfrmOptions::TileServerSampleText(const std::string& tileServer) {
  TileHosts hosts;
  if (!tileServer.empty()) hosts.OpenStreetMap = tileServer;
  if (const std::optional<std::string> problem = TileHostProblem(hosts, kOpenStreetMap)) return *problem;
  // Zoom 12 over the Alps: a tile whose numbers are easy to tell apart.
  return "Sample tile: " + BuildTileUrl(hosts, kOpenStreetMap, 2138, 1447, 12);
}

void TfrmOptions::Button3Click() {
  if (std::optional<std::string> folder = platform_.BrowseForFolder("Select path")) Edit12 = *folder;
}
