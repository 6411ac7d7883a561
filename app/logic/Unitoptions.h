#pragma once

#include <optional>
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
  std::string EditProxyPassword;  // shown masked
  std::string EditTileServer;     // [Hosts] OpenStreetMap: a host or an address template; empty: the built-in one
  std::string EditUserAgent;      // [Network] UserAgent; empty: the built-in one
  // Under the tile-server field: the address of one sample tile, or why there is none.
  std::string LabelTileSample;

  // The configuration file this dialog reads and writes (set by FormShow).
  std::string ConfigPath;

  void FormShow();
  // OK: writes the keys whose fields were changed, and no other, so an
  // untouched field never pins a default into the file. Returns true when
  // the dialog may close; on a failed write the error is shown and the
  // dialog stays open.
  bool Button1Click();
  // Cancel: nothing is written.
  void Button2Click() {}
  // "...": folder browser for Edit12.
  void Button3Click();
  // The tile-server field was edited: the sample address follows it.
  void EditTileServerChange() { LabelTileSample = TileServerSampleText(EditTileServer); }

  // "Sample tile: ADDRESS" for a host or template (empty: the built-in
  // host), or why Start would refuse it.
  static std::string TileServerSampleText(const std::string& tileServer);

 private:
  // The texts that must pass before anything is written; the first problem, if any.
  std::optional<std::string> RefusedField(std::optional<int32_t>& threads) const;

  struct Fields {
    std::string defaultPath, threads;
    bool useProxy = false;
    std::string proxyServer, proxyPort, proxyUsername, proxyPassword, tileServer, userAgent;
    friend bool operator==(const Fields&, const Fields&) = default;
  };
  Fields Current() const;

  Platform& platform_;
  std::string configPathOverride_;
  Fields shown_;  // as FormShow filled them: what OK compares against
};
