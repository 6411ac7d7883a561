#include "Form4.h"

#include "AppPaths.h"
#include "IniFile.h"
#include "TaskConfig.h"

TForm4::TForm4(Platform& platform, std::string configPathOverride)
    : platform_(platform), configPathOverride_(std::move(configPathOverride)) {}

void TForm4::Button1Click() {
  std::optional<std::string> chosen = platform_.OpenFileDialog("Open ftl file:", "Projects(*.ftl)|*.ftl", "");
  if (!chosen) return;
  RedownloadList(*chosen);
}

namespace {

// The same proxy as the workers: going around it would show the user's own
// address, and fails outright where only the proxy reaches out.
ProxyConfig ReadProxyConfig(const IniFile& config) {
  ProxyConfig proxy;
  proxy.UseProxy = config.ReadInteger("Proxy", "UseProxy", 0) == 1;
  proxy.ProxyServer = config.ReadString("Proxy", "ProxyServer", "");
  proxy.ProxyPort = config.ReadString("Proxy", "ProxyPort", "");
  proxy.ProxyUsername = config.ReadString("Proxy", "ProxyUsername", "");
  proxy.ProxyPassword = config.ReadString("Proxy", "ProxyPassword", "");
  return proxy;
}

}  // namespace

RedownloadResult TForm4::RedownloadList(const std::string& listPath) {
  RedownloadResult result;
  try {
    const IniFile config(ConfigFilePath(platform_.ExecutableFolder(), configPathOverride_));
    const NetworkSettings network = ReadNetworkSettings(config);
    result = RedownloadFailedList(listPath, network, ReadProxyConfig(config), [this](const std::string& line) {
      Memo1.Append(line);
      if (view_) view_->Memo1Appended(line);
    });
  } catch (const std::exception& error) {
    result.errorMessage = error.what();
    platform_.ShowError(error.what());
    return result;
  }
  if (result.errorMessage) platform_.ShowMessage(*result.errorMessage);
  return result;
}
