#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include "Unit2.h"

class GuiPlatform;

// The about box over the TfrmAbout logic; its title line takes the main
// window's caption each time it is shown.
class AboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit AboutBox(GuiPlatform& platform, QWidget* parent = nullptr);

  void ShowModal(const std::string& mainWindowCaption);

  QLabel* LabelTitle;
  QLabel* LabelVersion;
  QLabel* LabelDeveloper;
  QLabel* LabelLicense;
  QLabel* LabelHomepage;
  QLabel* LinkHomepage;
  QLabel* LabelEmail;
  QLabel* LinkEmail;
  QPushButton* bLater;

 private:
  void FormShow(const std::string& mainWindowCaption);
  void HomepageLinkClick();
  void MailLinkClick();

  GuiPlatform& platform_;
  TfrmAbout logic_;
};
