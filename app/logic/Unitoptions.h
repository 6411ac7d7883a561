#pragma once

#include <string>

#include "Platform.h"

// The Options dialog: edits the configuration file's defaults and proxy keys.
// It reads the file each time it is shown and writes it only on OK.
class TfrmOptions {
 public:
  explicit TfrmOptions(Platform& platform, std::string configPathOverride = {});

  static constexpr const char* Caption = "Options";

  std::string Edit12;  // default path to save
  std::string Edit2;   // default threads number (read-only entry with UpDown1)
  int32_t UpDown1Min = 1;
  int32_t UpDown1Max = 64;
  bool CheckBoxUseProxy = false;
  std::string EditProxyServer;
  std::string EditProxyPort;
  std::string EditProxyUsername;
  std::string EditProxyPassword;

  // The configuration file this dialog reads and writes (set by FormShow).
  std::string ConfigPath;

  void FormShow();
  // OK: writes every key. Returns true when the dialog may close; on a failed
  // write the error is shown and the dialog stays open.
  bool Button1Click();
  // Cancel: nothing is written.
  void Button2Click() {}
  // "...": folder browser for Edit12.
  void Button3Click();

 private:
  Platform& platform_;
  std::string configPathOverride_;
};
