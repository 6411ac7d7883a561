#include <QApplication>
#include <QMessageBox>

#include <exception>

#include "AppPaths.h"
#include "QuarnelWindows.h"
#include "TileHttpClient.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(kApplicationTitle);
  QApplication::setApplicationVersion(QUARNEL_VERSION);
  TileHttpClient::GlobalInit();
  try {
    QuarnelWindows windows;
    windows.mainWindow->show();
    return QApplication::exec();
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, kApplicationTitle, QString::fromStdString(e.what()));
  } catch (...) {
    QMessageBox::critical(nullptr, kApplicationTitle, "Unknown error.");
  }
  return 1;
}
