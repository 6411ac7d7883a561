#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

#include "Convert.h"

class GuiPlatform;

// The degrees/minutes/seconds converter over the TfrmConvert logic. Shown
// without blocking, kept on top, and only hidden when closed so that its
// fields keep their content.
class ConverterDialog : public QDialog {
  Q_OBJECT
 public:
  explicit ConverterDialog(GuiPlatform& platform, QWidget* parent = nullptr);

  void ShowModeless();

  QLineEdit* Edit1;
  QLineEdit* Edit2;
  QLineEdit* Edit3;
  QPushButton* Button1;
  QLineEdit* Edit4;

 private:
  void Button1Click();

  GuiPlatform& platform_;
  TfrmConvert logic_;
  bool placed_ = false;
};
