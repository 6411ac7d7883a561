#include <QApplication>

#include <cstdio>

#include "AppPaths.h"
#include "ProgramInfo.h"
#include "ProgramMain.h"
#include "TaskToOpen.h"
#include "TileHttpClient.h"
#include "ViewerWindow.h"

static int Main(int argc, char* argv[]) {
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
  const std::string project = TaskToOpen(arguments, ConfigFilePath(executableFolder, ""));
  ViewerWindow window(executableFolder);
  window.resize(1100, 750);
  window.show();
  // Without a task to show, ask for one; cancelled, File -> Open asks again.
  if (project.empty()) {
    window.OpenClick();
  } else {
    window.OpenTask(project);
  }
  return QApplication::exec();
}

int main(int argc, char* argv[]) { return RunProgram("glimmet", [&] { return Main(argc, argv); }); }
