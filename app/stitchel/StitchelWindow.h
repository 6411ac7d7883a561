#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CombineRun.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

// The combiner's window: the tasks of a job, an output, Combine and Cancel,
// then Open folder. The combine runs on its own thread; a timer draws its
// progress, never blocking the GUI.
class StitchelWindow : public QWidget {
 public:
  // configPath: where the tile server's attribution is read; empty for none.
  StitchelWindow(std::string executableFolder, std::vector<std::string> projectPaths, std::string configPath = {});
  ~StitchelWindow() override;

  // Message boxes and the file manager go through here, so a test can answer them.
  std::function<void(const std::string& text, bool warning)> showMessage;
  std::function<void(const std::string& folder)> openFolder;

  void OpenTasks(const std::vector<std::string>& projectPaths);
  const std::vector<std::string>& Tasks() const { return projectPaths_; }
  bool Running() const { return run_ != nullptr; }

  QListWidget* taskList = nullptr;
  QPushButton* openButton = nullptr;
  QPushButton* levelsButton = nullptr;
  QComboBox* kindBox = nullptr;
  QLineEdit* outputEdit = nullptr;
  QPushButton* browseButton = nullptr;
  QCheckBox* forceBox = nullptr;
  QCheckBox* overviewsBox = nullptr;
  QCheckBox* clipCheck = nullptr;
  QCheckBox* minZoomBox = nullptr;
  QSpinBox* minZoomSpin = nullptr;
  QCheckBox* paletteBox = nullptr;
  QCheckBox* largeTilesBox = nullptr;
  QPushButton* combineButton = nullptr;
  QPushButton* cancelButton = nullptr;
  QPushButton* openFolderButton = nullptr;
  QProgressBar* progressBar = nullptr;
  QLabel* statusLabel = nullptr;
  QPlainTextEdit* reportView = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void OpenClick();
  void LevelsClick();
  void KindChange();
  void BrowseClick();
  void CombineClick();
  void CancelClick();
  void OpenFolderClick();
  void PollRun();
  void UpdateControls();
  OutputKind SelectedKind() const;

  std::string executableFolder_;
  std::string configPath_;
  std::vector<std::string> projectPaths_;
  std::string writtenOutput_;  // the last output written, for Open folder
  std::unique_ptr<CombineRun> run_;
  QTimer pollTimer_;
  QElapsedTimer elapsed_;
};
