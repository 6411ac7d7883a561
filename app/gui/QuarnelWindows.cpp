#include "QuarnelWindows.h"

#include <filesystem>
#include <system_error>

QuarnelWindows::QuarnelWindows(std::string configPathOverride, TaskRunOptions runOptions) {
  mainWindow = std::make_unique<MainWindow>(platform, configPathOverride, nullptr, runOptions);
  aboutBox = new AboutBox(platform, mainWindow.get());
  converter = new ConverterDialog(platform, mainWindow.get());
  options = new OptionsDialog(platform, configPathOverride, mainWindow.get());
  redownload = new RedownloadWindow(platform, configPathOverride, mainWindow.get());
  // The list the running task still appends to is not rewritten under it.
  redownload->Logic().SetListInUse([this](const std::string& listPath) {
    const TForm1& logic = mainWindow->Logic();
    if (!logic.TaskRunning() || !logic.Task()) return false;
    std::error_code error;
    return std::filesystem::equivalent(logic.Task()->FailedListPath, listPath, error);
  });
  mainWindow->SetOtherWindows({
      .showOptions = [this] { options->ShowModal(); },
      .showConverter = [this] { converter->ShowModeless(); },
      .showAbout = [this] { aboutBox->ShowModal(mainWindow->Logic().Face().Caption); },
      .showRedownload = [this] { redownload->ShowModeless(); },
  });
}

QuarnelWindows::~QuarnelWindows() {
  platform.SetParentWindow(nullptr);
  mainWindow.reset();
}
