#include "Form4.h"

#include "AppPaths.h"
#include "IniFile.h"
#include "ProxyConfigReader.h"
#include "TaskConfig.h"

TForm4::TForm4(Platform& platform, std::string configPathOverride)
    : platform_(platform), configPathOverride_(std::move(configPathOverride)) {}

void TForm4::Button1Click() {
  std::optional<std::string> chosen = platform_.OpenFileDialog("Open ftl file:", "Projects(*.ftl)|*.ftl", "");
  if (!chosen) return;
  RedownloadList(*chosen);
}

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
