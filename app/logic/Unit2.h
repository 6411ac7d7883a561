#pragma once

#include <string>

#include "Platform.h"

// The about box.
class TfrmAbout {
 public:
  explicit TfrmAbout(Platform& platform);

  static constexpr const char* Caption = "About";
  static constexpr const char* DeveloperLine = "Developed by the Quarnel team.";
  static constexpr const char* bLaterCaption = "&OK";

  std::string TitleLine;
  // The program's own version; the title follows the configuration's Version.
  std::string VersionLine;
  std::string HomepageLink;
  std::string MailLink;

  // Each time the box is shown: the title takes the main window's current caption.
  void FormShow(const std::string& mainWindowCaption);
  void HomepageLinkClick();
  void MailLinkClick();

 private:
  Platform& platform_;
};
