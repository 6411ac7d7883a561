#pragma once

#include <memory>
#include <string>

#include "AboutBox.h"
#include "ConverterDialog.h"
#include "GuiPlatform.h"
#include "MainWindow.h"
#include "OptionsDialog.h"
#include "RedownloadWindow.h"

// The application's windows, created in their start-up order (main window,
// about box, converter, options, re-download) and wired to each other.
class QuarnelWindows {
 public:
  explicit QuarnelWindows(std::string configPathOverride = {}, TaskRunOptions runOptions = {});
  ~QuarnelWindows();

  GuiPlatform platform;
  std::unique_ptr<MainWindow> mainWindow;
  AboutBox* aboutBox;
  ConverterDialog* converter;
  OptionsDialog* options;
  RedownloadWindow* redownload;
};
