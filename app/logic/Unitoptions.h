#pragma once

#include <optional>
#include <string>

#include "Platform.h"

// The Options dialog's fields, as one value.
struct TfrmOptionsFields {
  std::string Edit12;  // default path to save
  std::string Edit2;   // default threads number (read-only entry with UpDown1)
  bool CheckBoxUseProxy = false;
  std::string EditProxyServer;
  std::string EditProxyPort;
  std::string EditProxyUsername;
  std::string EditProxyPassword;  // shown masked
  std::string EditTileServer;     // [Hosts] OpenStreetMap: a host or an address template; empty: the built-in one
  std::string EditUserAgent;      // [Network] UserAgent; empty: the built-in one
  friend bool operator==(const TfrmOptionsFields&, const TfrmOptionsFields&) = default;
};

// The Options dialog: edits the configuration file's defaults and proxy keys.
// It reads the file each time it is shown and writes it only on OK.
class TfrmOptions {
 public:
  explicit TfrmOptions(Platform& platform, std::string configPathOverride = {});

  static constexpr const char* Caption = "Options";
  static constexpr int32_t UpDown1Min = 1;
  static constexpr int32_t UpDown1Max = 64;

  // The configuration file this dialog reads and writes (set by FormShow).
  const std::string& ConfigPath() const { return configPath_; }

  // The fields as the configuration file holds them.
  TfrmOptionsFields FormShow();
  // OK: writes the keys whose fields were changed since FormShow, and no
  // other, so an untouched field never pins a default into the file. Returns
  // true when the dialog may close; on a failed write the error is shown and
  // the dialog stays open.
  bool Button1Click(const TfrmOptionsFields& fields);
  // Cancel: nothing is written.
  void Button2Click() {}
  // "...": folder browser for Edit12; the folder chosen, if any.
  std::optional<std::string> Button3Click();

  // Under the tile-server field: "Sample tile: ADDRESS" for a host or
  // template (empty: the built-in host), or why Start would refuse it.
  static std::string TileServerSampleText(const std::string& tileServer);

 private:
  // The first field that must not be written, if any; threads gets the thread count.
  static std::optional<std::string> RefusedField(const TfrmOptionsFields& fields, std::optional<int32_t>& threads);

  Platform& platform_;
  std::string configPathOverride_;
  std::string configPath_;
  TfrmOptionsFields shown_;  // as FormShow read them, or OK last wrote them
};
