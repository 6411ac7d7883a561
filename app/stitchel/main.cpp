#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include <cstdio>
#include <filesystem>

#include "AppPaths.h"
#include "StitchelLogic.h"
#include "StitchelWindow.h"

int main(int argc, char* argv[]) {
  QApplication application(argc, argv);
  QApplication::setApplicationName(kApplicationTitle);
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  const auto parsed = ParseStitchelArguments(args);
  if (const auto* error = std::get_if<std::string>(&parsed)) {
    std::fprintf(stderr, "stitchel: %s\nUsage: stitchel [--config FILE] [PROJECT.qrnl ...]\n", error->c_str());
    return 2;
  }
  const StitchelArguments& arguments = std::get<StitchelArguments>(parsed);
  const std::string folder = (QCoreApplication::applicationDirPath() + "/").toStdString();
  const std::string configPath = ConfigFilePath(folder, arguments.configPath);
  std::vector<std::string> projects = InitialTasks(arguments, configPath);
  if (projects.empty())
    for (const QString& path : QFileDialog::getOpenFileNames(nullptr, "Open project files:", {}, "Projects (*.qrnl)"))
      projects.push_back(path.toStdString());
  StitchelWindow window(folder, projects, configPath);
  window.show();
  return QApplication::exec();
}
