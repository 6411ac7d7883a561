#include <QMessageBox>

#include <cstdio>
#include <exception>

#include "AppPaths.h"
#include "ProgramInfo.h"
#include "QuarnelApplication.h"
#include "QuarnelWindows.h"
#include "TileHttpClient.h"

int main(int argc, char* argv[]) {
  if (const auto answer = VersionOrHelp({argv + 1, argv + argc}, "quarnel",
                                        "Usage: quarnel\nDownloads the map tiles that cover an area, in a window.\n")) {
    std::fputs(answer->c_str(), stdout);
    return 0;
  }
  QuarnelApplication application(argc, argv);
  QuarnelApplication::setApplicationVersion(kProjectVersion);
  QuarnelApplication::setDesktopFileName("quarnel");  // the desktop's icon for the window
  TileHttpClient::GlobalInit();
  try {
    QuarnelWindows windows;
    application.SetErrorDisplay([&windows](const std::string& text) { windows.platform.ShowError(text); });
    windows.mainWindow->show();
    const int status = QuarnelApplication::exec();
    application.SetErrorDisplay(nullptr);
    return status;
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, kApplicationTitle, QString::fromStdString(e.what()));
  } catch (...) {
    QMessageBox::critical(nullptr, kApplicationTitle, "Unknown error.");
  }
  return 1;
}
