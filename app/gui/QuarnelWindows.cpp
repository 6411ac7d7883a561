#include "QuarnelWindows.h"

QuarnelWindows::QuarnelWindows(std::string configPathOverride) {
  mainWindow = std::make_unique<MainWindow>(platform, configPathOverride);
  aboutBox = new AboutBox(platform, mainWindow.get());
  converter = new ConverterDialog(platform, mainWindow.get());
  options = new OptionsDialog(platform, configPathOverride, mainWindow.get());
  redownload = new RedownloadWindow(platform, configPathOverride, mainWindow.get());
  mainWindow->SetOtherWindows({
      .showOptions = [this] { options->ShowModal(); },
      .showConverter = [this] { converter->ShowModeless(); },
      .showAbout = [this] { aboutBox->ShowModal(mainWindow->Logic().Caption); },
      .showRedownload = [this] { redownload->ShowModeless(); },
  });
}

QuarnelWindows::~QuarnelWindows() {
  platform.SetParentWindow(nullptr);
  mainWindow.reset();
}
