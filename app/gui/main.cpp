#include <QMessageBox>

#include <exception>

#include "AppPaths.h"
#include "QuarnelApplication.h"
#include "QuarnelWindows.h"
#include "TileHttpClient.h"

int main(int argc, char* argv[]) {
  QuarnelApplication application(argc, argv);
  QuarnelApplication::setApplicationVersion(QUARNEL_VERSION);
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
