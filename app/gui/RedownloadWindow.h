#pragma once

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

#include "Form4.h"

class GuiPlatform;

// The re-download window over the TForm4 logic, shown without blocking.
class RedownloadWindow : public QWidget, private TForm4View {
  Q_OBJECT
 public:
  RedownloadWindow(GuiPlatform& platform, std::string configPathOverride = {}, QWidget* parent = nullptr);
  ~RedownloadWindow() override;

  void ShowModeless();
  TForm4& Logic() { return logic_; }

  QPushButton* Button1;
  QPushButton* StopButton;
  QLabel* LabelProgress;
  QPlainTextEdit* Memo1;

 private:
  void Button1Click();
  void Memo1Appended(const std::string& line) override;
  void ProgressChanged() override;

  GuiPlatform& platform_;
  TForm4 logic_;
};
