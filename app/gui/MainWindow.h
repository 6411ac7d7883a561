#pragma once

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QStatusBar>
#include <QStringList>
#include <QTimer>

#include <functional>

#include "LogHighlighter.h"
#include "TForm1.h"

class GuiPlatform;
class QGridLayout;
class RefreshTilesDialog;
class UpDownArrows;

// The main window's widgets over the TForm1 logic. A handler here hands the
// logic the entries as typed; the logic answers with what the window shows.
class MainWindow : public QMainWindow, private TForm1View {
  Q_OBJECT
 public:
  // The windows the menus show; created after this one, in the start-up order.
  struct OtherWindows {
    std::function<void()> showOptions;
    std::function<void()> showConverter;
    std::function<void()> showAbout;
    std::function<void()> showRedownload;
  };

  MainWindow(GuiPlatform& platform, std::string configPathOverride = {}, QWidget* parent = nullptr,
             TaskRunOptions runOptions = {});
  ~MainWindow() override;

  void SetOtherWindows(OtherWindows windows) { otherWindows_ = std::move(windows); }
  TForm1& Logic() { return logic_; }

  // How many log lines the view shows; the log file holds every line.
  static constexpr int kShownLogLines = static_cast<int>(TForm1::kShownLines);

  // ---- Controls, named as in the window's design.
  QLineEdit* EditTaskName;
  QPushButton* Button4;
  QLabel* LabelMapsType;
  QComboBox* comboMapsType;
  QSlider* TrackBar1;
  QLabel* Label8;
  QSpinBox* ZoomTo;  // "to": the last level of a zoom range
  QLineEdit* Edit1;
  QLineEdit* Edit3;
  QLineEdit* Edit2;
  QLineEdit* Edit4;
  // The task's area (MainWindowArea.cpp).
  QLabel* LabelArea;
  QLineEdit* EditBuffer;
  QPushButton* AreaButton;
  QLineEdit* Edit6;
  QPushButton* Button1;
  QLineEdit* Edit10;
  QComboBox* comboStorage;  // "Save tiles in:"
  UpDownArrows* UpDown2;
  QLabel* LabelTotalxy;
  QLabel* LabelEstimate;
  QProgressBar* ProgressBar1;
  QLabel* LabelProgress;
  QPushButton* BitBtn1;
  QPlainTextEdit* Memo1;
  QWidget* PanelFailed;
  QPlainTextEdit* Memo2;
  QStatusBar* StatusBar1;

  QAction* Exit1;
  QAction* Options2;
  QAction* ConvertLongitudeorLatitudetodegreen1;
  QAction* Viewlogfile1;
  QAction* SeparatorRedownload;
  QAction* Redownloadfailedtiles1;
  QAction* MapViewer1;
  QAction* MapCombiner1;
  QAction* SeparatorDownloadFailed;
  QAction* dowloadfailedfiles1;
  QAction* Usermanual1;
  QAction* Homepage1;
  QAction* About1;

  // Picking the area on a map (MainWindowMapPick.cpp).
  QPushButton* PickOnMapButton = nullptr;
  QAction* PickOnMap1 = nullptr;
  // Tile sources (MainWindowSources.cpp): the selector, the chosen source's
  // attribution and terms link with the last Test's answer, and its buttons.
  QComboBox* ComboBoxSource = nullptr;
  QLabel* LabelSourceTerms = nullptr;
  QLabel* LabelSourceStatus = nullptr;
  QPushButton* ButtonAddSource = nullptr;
  QPushButton* ButtonTestSource = nullptr;
  // The tile server's own tools (MainWindowServerTools.cpp).
  QPushButton* ButtonServerEstimate = nullptr;
  QAction* RefreshTiles1 = nullptr;
  RefreshTilesDialog* RefreshTilesWindow() { return refreshTiles_; }

  // TForm1View: the status bar shows the closed run's summary.
  void RunSummaryReady(const std::string& summary) override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Handlers of the controls.
  void FormShow();
  void comboMapsTypeChange();
  void comboStorageChange();
  void TrackBar1Change();
  void Button1Click();
  void BitBtn1Click();
  void Button4Click();
  void EnterPressed();

  // TForm1View
  void Draw(const TForm1Face& face) override;
  void ProgressChanged(const TForm1Progress& progress) override;
  void Memo1Appended(const std::string& line, LogLineKind kind) override;
  void Memo1Replaced() override;
  void Memo2Appended(const std::string& line) override;
  void Memo2Replaced() override;
  void ShowOptionsDialog() override;
  void ShowConverter() override;
  void ShowAboutBox() override;
  void ShowRedownloadWindow() override;
  void ExitRequested() override;

  QWidget* BuildZoomToControls(QWidget* parent);
  QWidget* BuildAreaControls(QWidget* parent);
  void ConnectAreaControls();
  void DrawArea(const TForm1Face& face);
  void AddMapPicker();
  void PickOnMapClick();
  void BuildSourceControls(QWidget* parent, QGridLayout* grid, int& row);
  void ConnectSourceControls();
  void DrawSources(const TForm1Face& face);
  std::string ChosenSourceName() const;
  void AddServerTools();
  void RefreshTiles1Click();
  void BuildControls();
  QWidget* BuildProgressControls(QWidget* parent);
  void BuildMenus();
  void ConnectControls();
  // Runs a logic handler; an error escaping it goes to the error display.
  void Handle(const std::function<void()>& handler);
  TForm1Entries TypedEntries() const;
  void ShowEntries(const TForm1Entries& entries);
  void FlushPendingLines();
  void EndRunKeepingProgress();

  GuiPlatform& platform_;
  std::string configPathOverride_;
  TForm1 logic_;
  RefreshTilesDialog* refreshTiles_ = nullptr;  // made at first use, a child of this window
  OtherWindows otherWindows_;
  bool shownOnce_ = false;

  // Workers may log thousands of lines a second: they are gathered here and
  // added to the views in one piece a few times a second.
  QStringList pendingMemo1_;
  std::vector<LogHighlighter::Line> pendingKinds1_;
  QStringList pendingMemo2_;
  QTimer lineFlush_;
};
