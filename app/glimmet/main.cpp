#include <QApplication>
#include <QFileDialog>

#include "AppPaths.h"
#include "TaskToOpen.h"
#include "TileHttpClient.h"
#include "ViewerWindow.h"

int main(int argc, char* argv[]) {
  TileHttpClient::GlobalInit();
  QApplication application(argc, argv);
  QApplication::setApplicationName("glimmet");
  const std::string executableFolder = (QCoreApplication::applicationDirPath() + "/").toStdString();
  std::vector<std::string> arguments;
  for (const QString& argument : QCoreApplication::arguments()) arguments.push_back(argument.toStdString());
  std::string project = TaskToOpen(arguments, ConfigFilePath(executableFolder, ""));
  if (project.empty()) {
    const QString chosen = QFileDialog::getOpenFileName(nullptr, "Open task", QString(), "Projects (*.qrnl)");
    if (chosen.isEmpty()) return 0;
    project = chosen.toStdString();
  }
  ViewerWindow window(executableFolder);
  window.resize(1100, 750);
  window.show();
  window.OpenTask(project);
  return QApplication::exec();
}
