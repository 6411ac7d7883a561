#pragma once

#include <string>

// Where the program's own files live. The executable's folder is a portable
// install (or the build tree) when it is writable; otherwise the configuration
// goes to the user's XDG configuration folder.

struct ConfigLocationInputs {
  std::string executableFolder;  // with a trailing separator
  std::string overridePath;      // the command line's --config; wins when set
  std::string xdgConfigHome;     // $XDG_CONFIG_HOME, may be empty
  std::string home;              // $HOME
  bool executableFolderWritable = false;
};

std::string ConfigFilePath(const ConfigLocationInputs& inputs);
// The same, with the environment and the file system of this process.
std::string ConfigFilePath(const std::string& executableFolder, const std::string& overridePath);

// The user's home folder ($HOME, else the password database), no trailing separator.
std::string HomeFolder();

// Defaults of the configuration keys that name folders.
std::string MainWindowDefaultSavePath();  // $HOME/qrnl
std::string OptionsDefaultSavePath();     // $HOME/downloads

// Files beside the executable; executableFolder ends with a separator.
std::string HelpFilePathIn(const std::string& executableFolder);
std::string BlankImagePathIn(const std::string& executableFolder);
std::string MapViewerPathIn(const std::string& executableFolder);
std::string MapCombinerPathIn(const std::string& executableFolder);

// The ending of a task's project file name.
inline constexpr const char* kProjectExtension = ".qrnl";

inline constexpr const char* kApplicationTitle = "Quarnel";
inline constexpr const char* kHomepageAddress = "https://quarnel.example.org";
inline constexpr const char* kSupportMailAddress = "support@quarnel.example.org";
