#include "Unitoptions.h"

#include <filesystem>
#include <system_error>

#include "AppPaths.h"
#include "HandlerGuard.h"
#include "IniFile.h"
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
  });
}

bool TfrmOptions::Button1Click() {
  ConfigPath = ConfigFilePath(platform_.ExecutableFolder(), configPathOverride_);
  // Checked before anything is written, so a bad field never leaves half the keys saved.
  std::optional<int32_t> threads = ParseInt32(Edit2);
  if (!threads) {
    platform_.ShowMessage("'" + Edit2 + "' is not a valid integer value.");
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
    IniFile ini(ConfigPath);
    ini.SetCreateMode(0600);  // the file holds the proxy password
    ini.WriteString("IniParas", "DefaultPath", Edit12);
    ini.WriteInteger("IniParas", "DefaultThreadCount", *threads);
    ini.WriteInteger("Proxy", "UseProxy", CheckBoxUseProxy ? 1 : 0);
    ini.WriteString("Proxy", "ProxyServer", EditProxyServer);
    ini.WriteString("Proxy", "ProxyPort", EditProxyPort);
    ini.WriteString("Proxy", "ProxyUsername", EditProxyUsername);
    ini.WriteString("Proxy", "ProxyPassword", EditProxyPassword);
  } catch (const std::exception& e) {
    platform_.ShowMessage(e.what());
    return false;
  }
  return true;
}

void TfrmOptions::Button3Click() {
  if (std::optional<std::string> folder = platform_.BrowseForFolder("Select path")) Edit12 = *folder;
}
