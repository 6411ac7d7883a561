#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

#include "CombineRun.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

// The combiner's window: a task, an output, Combine and Cancel. The combine
// runs on its own thread; a timer draws its progress, never blocking the GUI.
class StitchelWindow : public QWidget {
 public:
  StitchelWindow(std::string executableFolder, std::string projectPath);
  ~StitchelWindow() override;

  // Message boxes go through here, so a test can answer them.
  std::function<void(const std::string& text, bool warning)> showMessage;

  void OpenTask(const std::string& projectPath);
  bool Running() const { return run_ != nullptr; }

  QLabel* taskLabel = nullptr;
  QPushButton* openButton = nullptr;
  QComboBox* kindBox = nullptr;
  QLineEdit* outputEdit = nullptr;
  QPushButton* browseButton = nullptr;
  QCheckBox* forceBox = nullptr;
  QCheckBox* overviewsBox = nullptr;
  QPushButton* combineButton = nullptr;
  QPushButton* cancelButton = nullptr;
  QProgressBar* progressBar = nullptr;
  QLabel* statusLabel = nullptr;
  QPlainTextEdit* reportView = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void OpenClick();
  void KindChange();
  void BrowseClick();
  void CombineClick();
  void CancelClick();
  void PollRun();
  void UpdateControls();
  OutputKind SelectedKind() const;

  std::string executableFolder_;
  std::string projectPath_;
  std::unique_ptr<CombineRun> run_;
  QTimer pollTimer_;
  QElapsedTimer elapsed_;
};
