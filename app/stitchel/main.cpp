#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

#include <cstdio>
#include <filesystem>

#include "AppPaths.h"
#include "ProgramInfo.h"
#include "ProgramMain.h"
#include "StitchelLogic.h"
#include "StitchelWindow.h"

namespace {

constexpr const char* kUsage = "Usage: stitchel [--config FILE] [PROJECT.qrnl ...]\n";

}  // namespace

static int Main(int argc, char* argv[]) {
  const std::string help =
      std::string(kUsage) +
      "Combines finished tasks into a GeoTIFF, an MBTiles, PMTiles, GeoPackage or sqlitedb tile set, a PNG or\n"
      "JPEG image with its world file, or a tile folder; without a project, the task last started.\n";
  if (const auto answer = VersionOrHelp({argv + 1, argv + argc}, "stitchel", help)) {
    std::fputs(answer->c_str(), stdout);
    return 0;
  }
  QApplication application(argc, argv);
  QApplication::setApplicationName(kApplicationTitle);
  QApplication::setApplicationVersion(kProjectVersion);
  QApplication::setDesktopFileName("stitchel");
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  const auto parsed = ParseStitchelArguments(args);
  if (const auto* error = std::get_if<std::string>(&parsed)) {
    std::fprintf(stderr, "stitchel: %s\n%s", error->c_str(), kUsage);
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

int main(int argc, char* argv[]) { return RunProgram("stitchel", [&] { return Main(argc, argv); }); }
