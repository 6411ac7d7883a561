#include <QApplication>
#include <QFileDialog>

#include <cstdio>

#include "AppPaths.h"
#include "ProgramInfo.h"
#include "TaskToOpen.h"
#include "TileHttpClient.h"
#include "ViewerWindow.h"

int main(int argc, char* argv[]) {
  if (const auto answer = VersionOrHelp({argv + 1, argv + argc}, "glimmet",
                                        "Usage: glimmet [PROJECT.qrnl]\nShows a task's tiles on a map; without a "
                                        "project, the task last started.\n")) {
    std::fputs(answer->c_str(), stdout);
    return 0;
  }
  TileHttpClient::GlobalInit();
  QApplication application(argc, argv);
  QApplication::setApplicationName("glimmet");
  QApplication::setApplicationVersion(kProjectVersion);
  QApplication::setDesktopFileName("glimmet");
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
