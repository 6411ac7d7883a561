#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

#include "RefreshTilesLogic.h"

class GuiPlatform;

// The "Refresh tiles..." window over RefreshTilesLogic, shown without blocking.
class RefreshTilesDialog : public QWidget, private RefreshTilesView {
  Q_OBJECT
 public:
  RefreshTilesDialog(GuiPlatform& platform, std::string configPathOverride = {}, QWidget* parent = nullptr);
  ~RefreshTilesDialog() override;

  void ShowModeless();
  RefreshTilesLogic& Logic() { return logic_; }

  QLineEdit* EditProject;
  QPushButton* ButtonBrowse;
  QLineEdit* EditOlderThan;
  QPushButton* ButtonStart;
  QLabel* LabelProgress;
  QPlainTextEdit* Memo1;

 private:
  void WidgetsToLogic();
  void Memo1Appended(const std::string& line) override;
  void ProgressChanged() override;

  GuiPlatform& platform_;
  RefreshTilesLogic logic_;
};
