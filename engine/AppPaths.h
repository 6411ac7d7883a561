#pragma once

#include <string>

// Where the program's own files live. The build tree and a portable folder
// hold them beside the executable; an install (cmake --install, the package)
// puts them in ../share/quarnel. The configuration sits beside the executable
// when that folder is writable and not an install's; otherwise it goes to the
// user's XDG configuration folder.

struct ConfigLocationInputs {
  std::string executableFolder;  // with a trailing separator
  std::string overridePath;      // the command line's --config; wins when set
  std::string xdgConfigHome;     // $XDG_CONFIG_HOME, may be empty
  std::string home;              // $HOME
  bool executableFolderWritable = false;
  bool installed = false;  // RunsFromAnInstall
};

std::string ConfigFilePath(const ConfigLocationInputs& inputs);
// The same, with the environment and the file system of this process.
std::string ConfigFilePath(const std::string& executableFolder, const std::string& overridePath);

// The folder of /proc/self/exe, with a trailing separator: found before (and
// without) any toolkit's application object.
std::string RunningExecutableFolder();

// The user's home folder ($HOME, else the password database), no trailing separator.
std::string HomeFolder();

// Defaults of the configuration keys that name folders.
std::string MainWindowDefaultSavePath();  // $HOME/qrnl
std::string OptionsDefaultSavePath();     // $HOME/downloads

// The folder an install keeps the program's files in, ../share/quarnel/ from
// the executable's folder (with a trailing separator, written without "..").
std::string InstalledDataFolder(const std::string& executableFolder);
// A file of the program's own, named relative to its folder: beside the
// executable when it is there, else in the install's folder; a file found in
// neither is named beside the executable.
std::string ProgramFilePath(const std::string& executableFolder, const std::string& relativePath);
// Whether the program's files are an install's rather than beside it.
bool RunsFromAnInstall(const std::string& executableFolder);

// The program's files; executableFolder ends with a separator. The companion
// programs always sit beside the executable.
std::string HelpFilePathIn(const std::string& executableFolder);
std::string BlankImagePathIn(const std::string& executableFolder);
std::string MapViewerPathIn(const std::string& executableFolder);
std::string MapCombinerPathIn(const std::string& executableFolder);

// The ending of a task's project file name.
inline constexpr const char* kProjectExtension = ".qrnl";

inline constexpr const char* kApplicationTitle = "Quarnel";
inline constexpr const char* kHomepageAddress = "https://quarnel.example.org";
inline constexpr const char* kSupportMailAddress = "support@quarnel.example.org";
