#include "Unitoptions.h"

#include <filesystem>
#include <system_error>

#include "AppPaths.h"
#include "HandlerGuard.h"
#include "IniFile.h"
#include "ProxyConfigReader.h"
#include "TextFormat.h"

TfrmOptions::TfrmOptions(Platform& platform, std::string configPathOverride)
    : platform_(platform), configPathOverride_(std::move(configPathOverride)) {}

void TfrmOptions::FormShow() {
  RunHandler(platform_, [&] {
    ConfigPath = ConfigFilePath(platform_.ExecutableFolder(), configPathOverride_);
    const IniFile ini(ConfigPath);
    Edit12 = ini.ReadString("IniParas", "DefaultPath", OptionsDefaultSavePath());
    Edit2 = std::to_string(ini.ReadInteger("IniParas", "DefaultThreadCount", 3));
    CheckBoxUseProxy = ini.ReadInteger("Proxy", "UseProxy", 0) == 1;
    EditProxyServer = ini.ReadString("Proxy", "ProxyServer", "");
    EditProxyPort = ini.ReadString("Proxy", "ProxyPort", "");
    EditProxyUsername = ini.ReadString("Proxy", "ProxyUsername", "");
    EditProxyPassword = ini.ReadString("Proxy", "ProxyPassword", "");
    EditTileServer = shownTileServer_ = ini.ReadString("Hosts", "OpenStreetMap", "");
    EditUserAgent = shownUserAgent_ = ini.ReadString("Network", "UserAgent", "");
  });
}

bool TfrmOptions::Button1Click() {
  ConfigPath = ConfigFilePath(platform_.ExecutableFolder(), configPathOverride_);
  // Checked before anything is written, so a bad field never leaves half the keys saved.
  std::optional<int32_t> threads;
  if (const std::optional<std::string> problem = RefusedField(threads)) {
    platform_.ShowMessage(*problem);
    return false;
  }
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
    ini.WriteString("IniParas", "DefaultPath", Edit12);
    ini.WriteInteger("IniParas", "DefaultThreadCount", *threads);
    ini.WriteInteger("Proxy", "UseProxy", CheckBoxUseProxy ? 1 : 0);
    ini.WriteString("Proxy", "ProxyServer", EditProxyServer);
    ini.WriteString("Proxy", "ProxyPort", EditProxyPort);
    ini.WriteString("Proxy", "ProxyUsername", EditProxyUsername);
    ini.WriteString("Proxy", "ProxyPassword", EditProxyPassword);
    if (EditTileServer != shownTileServer_) ini.WriteString("Hosts", "OpenStreetMap", EditTileServer);
    if (EditUserAgent != shownUserAgent_) ini.WriteString("Network", "UserAgent", EditUserAgent);
    shownTileServer_ = EditTileServer;
    shownUserAgent_ = EditUserAgent;
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
  if (CheckBoxUseProxy || !EditProxyPort.empty()) return ProxyPortProblem(EditProxyPort);
  return std::nullopt;
}

void TfrmOptions::Button3Click() {
  if (std::optional<std::string> folder = platform_.BrowseForFolder("Select path")) Edit12 = *folder;
}
