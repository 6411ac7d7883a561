#include "Form4.h"

#include <algorithm>

#include "AppPaths.h"
#include "IniFile.h"
#include "ProxyConfig.h"
#include "TaskConfig.h"
#include "TaskSource.h"

TForm4::TForm4(Platform& platform, std::string configPathOverride)
    : platform_(platform), configPathOverride_(std::move(configPathOverride)) {}

TForm4::~TForm4() {
  *alive_ = false;
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void TForm4::Button1Click() {
  std::optional<std::string> chosen = platform_.OpenFileDialog("Open ftl file:", "Projects(*.ftl)|*.ftl", "");
  if (!chosen) return;
  StartRedownload(*chosen);
}

void TForm4::AppendLine(const std::string& line) {
  Memo1.Append(line);
  if (view_) view_->Memo1Appended(line);
}

void TForm4::ShowProgress() {
  LabelProgress = std::to_string(settled_) + " of " + std::to_string(entries_) + " entries";
  if (view_) view_->ProgressChanged();
}

bool TForm4::StartRedownload(const std::string& listPath) {
  if (running_) return false;
  if (thread_.joinable()) thread_.join();
  NetworkSettings network;
  ProxyConfig proxy;
  try {
    const std::string configPath = ConfigFilePath(platform_.ExecutableFolder(), configPathOverride_);
    const IniFile config(configPath);
    network = ReadNetworkSettings(config);
    proxy = ReadProxyConfig(config);
    if (std::optional<std::string> problem = UseListSource(listPath, configPath, network)) {
      platform_.ShowMessage(*problem);
      return false;
    }
  } catch (const std::exception& error) {
    platform_.ShowError(error.what());
    return false;
  }
  const bool rewrite = !(listInUse_ && listInUse_(listPath));
  try {
    const std::vector<std::string> lines = ReadFtlLines(listPath);
    entries_ = std::count_if(lines.begin(), lines.end(), [](const std::string& line) { return !line.empty(); });
  } catch (const std::exception&) {
    entries_ = 0;  // the run says why it cannot read the list
  }
  settled_ = 0;
  stop_ = false;
  running_ = true;
  ShowProgress();
  thread_ = std::thread([this, listPath, network, proxy, rewrite, alive = alive_] {
    const auto post = [this, alive](std::function<void()> routine) {
      platform_.PostToGuiThread([alive, routine = std::move(routine)] {
        if (*alive) routine();
      });
    };
    RedownloadControl control;
    control.stop = &stop_;
    control.entryDone = [&](const FtlEntry&) {
      post([this] {
        ++settled_;
        ShowProgress();
      });
    };
    const RedownloadResult result = RedownloadFailedList(
        listPath, network, proxy, [&](const std::string& line) { post([this, line] { AppendLine(line); }); },
        control, rewrite);
    post([this, result, rewrite] { Finished(result, rewrite); });
  });
  return true;
}

void TForm4::StopClick() { stop_ = true; }

void TForm4::Finished(const RedownloadResult& result, bool rewritten) {
  running_ = false;
  if (!rewritten && result.ok > 0)
    AppendLine("The list is still growing with the task running in this window: its saved entries stay in it.");
  LabelProgress = RedownloadSummary(result);
  if (view_) view_->ProgressChanged();
  if (result.errorMessage) platform_.ShowMessage(*result.errorMessage);
}

RedownloadResult TForm4::RedownloadList(const std::string& listPath) {
  RedownloadResult result;
  try {
    const std::string configPath = ConfigFilePath(platform_.ExecutableFolder(), configPathOverride_);
    const IniFile config(configPath);
    NetworkSettings network = ReadNetworkSettings(config);
    if (std::optional<std::string> problem = UseListSource(listPath, configPath, network)) {
      result.errorMessage = *problem;
      platform_.ShowMessage(*problem);
      return result;
    }
    result = RedownloadFailedList(listPath, network, ReadProxyConfig(config),
                                  [this](const std::string& line) { AppendLine(line); });
  } catch (const std::exception& error) {
    result.errorMessage = error.what();
    platform_.ShowError(error.what());
    return result;
  }
  if (result.errorMessage) platform_.ShowMessage(*result.errorMessage);
  return result;
}
