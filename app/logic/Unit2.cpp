#include "Unit2.h"

#include "AppPaths.h"
#include "ProjectVersion.h"

TfrmAbout::TfrmAbout(Platform& platform)
    : VersionLine(std::string("Version ") + kProjectVersion),
      HomepageLink(kHomepageAddress),
      MailLink(kSupportMailAddress),
      platform_(platform) {}

void TfrmAbout::FormShow(const std::string& mainWindowCaption) {
  TitleLine = mainWindowCaption;
  HomepageLink = kHomepageAddress;
  MailLink = kSupportMailAddress;
}

void TfrmAbout::HomepageLinkClick() { platform_.ShellOpen(kHomepageAddress); }

void TfrmAbout::MailLinkClick() { platform_.ShellOpen(std::string("mailto:") + kSupportMailAddress); }
