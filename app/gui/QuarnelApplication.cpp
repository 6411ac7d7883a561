#include "QuarnelApplication.h"

#include <QMessageBox>

#include <exception>

#include "AppPaths.h"

QuarnelApplication::QuarnelApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(kApplicationTitle);
}

bool QuarnelApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& e) {
    ShowError(e.what());
  } catch (...) {
    ShowError("Unknown error.");
  }
  return false;
}

void QuarnelApplication::ShowError(const std::string& text) {
  if (errorDisplay_)
    errorDisplay_(text);
  else
    QMessageBox::critical(nullptr, kApplicationTitle, QString::fromStdString(text));
}
