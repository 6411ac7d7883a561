#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "Unitoptions.h"

class GuiPlatform;
class UpDownArrows;

// The Options dialog's widgets over the TfrmOptions logic: reads the
// configuration each time it opens, writes it on OK.
class OptionsDialog : public QDialog {
  Q_OBJECT
 public:
  OptionsDialog(GuiPlatform& platform, std::string configPathOverride = {}, QWidget* parent = nullptr);

  // Shows the dialog modally, centred on its parent.
  void ShowModal();
  TfrmOptions& Logic() { return logic_; }

  QLineEdit* Edit12;
  QPushButton* Button3;
  QLineEdit* Edit2;
  UpDownArrows* UpDown1;
  QCheckBox* CheckBoxUseProxy;
  QLineEdit* EditProxyServer;
  QLineEdit* EditProxyPort;
  QLineEdit* EditProxyUsername;
  QLineEdit* EditProxyPassword;
  QLineEdit* EditTileServer;
  QLabel* LabelTileSample;
  QLineEdit* EditUserAgent;
  QPushButton* Button1;
  QPushButton* Button2;

 private:
  void FormShow();
  void Button1Click();
  void Button2Click();
  void Button3Click();
  TfrmOptionsFields Fields() const;
  void ShowFields(const TfrmOptionsFields& fields);

  GuiPlatform& platform_;
  TfrmOptions logic_;
};
