#include <QApplication>
#include <QComboBox>
#include <QMenuBar>
#include <QSignalSpy>
#include <QProgressBar>
#include <QTest>
#include <QScrollBar>
#include <QTextBlock>

#include <gtest/gtest.h>

#include <filesystem>

#include "AppPaths.h"
#include "GuiTestSupport.h"
#include "ProjectFile.h"
#include "QuarnelWindows.h"
#include "UpDownArrows.h"
#include "../app/WorkerReports.h"

namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Runs are driven by hand here: no worker thread ever starts.
    windows = std::make_unique<QuarnelWindows>(folder / "config.ini", TaskRunOptions{.startWorkers = false});
    window = windows->mainWindow.get();
    window->show();
    QApplication::processEvents();
  }

  template <typename T>
  T* Control(const char* name) {
    T* control = window->findChild<T*>(name);
    EXPECT_NE(control, nullptr) << name;
    return control;
  }

  ScratchFolder folder;
  std::unique_ptr<QuarnelWindows> windows;
  MainWindow* window = nullptr;
};

TEST_F(MainWindowTest, ShowsTheDefaultsOfAMissingConfiguration) {
  EXPECT_EQ(window->windowTitle(), "Quarnel 3.3");
  EXPECT_EQ(window->size(), QSize(773, 495));
  EXPECT_EQ(Control<QLineEdit>("EditTaskName")->text(), "newtask.qrnl");
  EXPECT_EQ(Control<QLineEdit>("Edit6")->text().toStdString(), MainWindowDefaultSavePath());
  EXPECT_EQ(Control<QLineEdit>("Edit10")->text(), "1");
  EXPECT_TRUE(Control<QLineEdit>("Edit10")->isReadOnly());
  for (const char* name : {"Edit1", "Edit2", "Edit3", "Edit4"}) EXPECT_EQ(Control<QLineEdit>(name)->text(), "") << name;
  EXPECT_EQ(Control<QLabel>("LabelTotalxy")->text(), "");
}

TEST_F(MainWindowTest, ZoomSliderRunsFrom1To18At12WithTheValueShown) {
  auto* slider = Control<QSlider>("TrackBar1");
  EXPECT_EQ(slider->minimum(), 1);
  EXPECT_EQ(slider->maximum(), 18);
  EXPECT_EQ(slider->value(), 12);
  EXPECT_EQ(slider->tickPosition(), QSlider::TicksBelow);
  EXPECT_EQ(Control<QLabel>("Label8")->text(), "12");

  slider->setValue(15);
  EXPECT_EQ(Control<QLabel>("Label8")->text(), "15");
  EXPECT_EQ(slider->toolTip(), "15");
  EXPECT_EQ(window->Logic().Entries().task.zoom, 15);
}

TEST_F(MainWindowTest, MapTypeSelectorIsHiddenWithOpenStreetMapsSelected) {
  auto* combo = Control<QComboBox>("comboMapsType");
  EXPECT_FALSE(combo->isVisible());
  EXPECT_FALSE(Control<QLabel>("LabelMapsType")->isVisible());
  ASSERT_EQ(combo->count(), 9);
  EXPECT_EQ(combo->itemText(0), "Google Street Maps");
  EXPECT_EQ(combo->itemText(8), "OpenStreet Maps");
  EXPECT_EQ(combo->currentIndex(), 8);
}

TEST_F(MainWindowTest, ButtonsViewsAndStatusBarCarryTheirTexts) {
  auto* start = Control<QPushButton>("BitBtn1");
  EXPECT_EQ(start->text(), "Start");
  EXPECT_TRUE(start->isDefault());
  EXPECT_TRUE(start->font().bold());
  EXPECT_EQ(start->font().pointSize(), 10);
  EXPECT_EQ(Control<QPushButton>("Button4")->text(), "Open task ...");
  EXPECT_EQ(Control<QPushButton>("Button1")->text(), "...");
  EXPECT_EQ(Control<QPushButton>("Button1")->toolTip(), "Click to select path");

  auto* log = Control<QPlainTextEdit>("Memo1");
  EXPECT_EQ(log->toPlainText(), "[log window]");
  EXPECT_TRUE(log->isReadOnly());
  EXPECT_EQ(log->toolTip(), "Double click to view log in notepad");
  EXPECT_EQ(log->maximumBlockCount(), MainWindow::kShownLogLines);

  auto* failed = Control<QPlainTextEdit>("Memo2");
  EXPECT_EQ(failed->toPlainText(), "[Failed tile inforamtion window]");
  EXPECT_FALSE(failed->isVisible());
  EXPECT_EQ(Control<QWidget>("PanelFailed")->maximumHeight(), 0);

  auto* status = Control<QStatusBar>("StatusBar1");
  auto* panel = status->findChild<QLabel*>("StatusBar1Panel");
  ASSERT_NE(panel, nullptr);
  EXPECT_EQ(panel->text(), "Download map images from OpenStreet Maps.");
}

struct MenuEntry {
  QString text;
  bool separator;
  bool visible;
};

std::vector<MenuEntry> EntriesOf(QMenu* menu) {
  std::vector<MenuEntry> entries;
  for (QAction* action : menu->actions()) entries.push_back({action->text(), action->isSeparator(), action->isVisible()});
  return entries;
}

TEST_F(MainWindowTest, MenusListTheirEntriesInOrderWithTheHiddenOnesHidden) {
  const std::vector<std::pair<QString, std::vector<MenuEntry>>> expected = {
      {"&File", {{"E&xit", false, true}}},
      {"&Options", {{"Options...", false, true}}},
      {"&Misc",
       {{"Convert \"Degrees,Minutes,Seconds\"  to \"Degrees\"...", false, true},
        {"", true, true},
        {"View log file", false, true},
        {"", true, false},
        {"Re-download failed tiles", false, false}}},
      {"&Tools",
       {{"Map Viewer", false, true},
        {"", true, true},
        {"Map Combiner", false, true},
        {"", true, true},
        {"dowload failed files", false, true},
        {"Pick area on map...", false, true},
        {"Refresh tiles...", false, true}}},
      {"&Help",
       {{"User manual", false, true}, {"Homepage", false, true}, {"", true, true}, {"About...", false, true}}},
  };
  const QList<QAction*> menus = window->menuBar()->actions();
  ASSERT_EQ(menus.size(), static_cast<qsizetype>(expected.size()));
  for (std::size_t m = 0; m < expected.size(); ++m) {
    QMenu* menu = menus[static_cast<qsizetype>(m)]->menu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->title(), expected[m].first);
    const std::vector<MenuEntry> entries = EntriesOf(menu);
    ASSERT_EQ(entries.size(), expected[m].second.size()) << menu->title().toStdString();
    for (std::size_t i = 0; i < entries.size(); ++i) {
      SCOPED_TRACE(menu->title().toStdString() + " entry " + std::to_string(i));
      EXPECT_EQ(entries[i].separator, expected[m].second[i].separator);
      if (!entries[i].separator) {
        EXPECT_EQ(entries[i].text, expected[m].second[i].text);
      }
      EXPECT_EQ(entries[i].visible, expected[m].second[i].visible);
    }
  }
}

TEST_F(MainWindowTest, ThreadArrowsStepTheCountWithin1To8) {
  auto* arrows = Control<UpDownArrows>("UpDown2");
  EXPECT_EQ(arrows->Min(), 1);
  EXPECT_EQ(arrows->Max(), 8);
  auto* up = arrows->findChildren<QToolButton*>().at(0);
  for (int i = 0; i < 10; ++i) up->click();
  EXPECT_EQ(Control<QLineEdit>("Edit10")->text(), "8");
}

TEST_F(MainWindowTest, ThreadArrowsAnswerTheKeyboardInTheirEntry) {
  auto* entry = Control<QLineEdit>("Edit10");
  const std::pair<Qt::Key, QString> steps[] = {{Qt::Key_Up, "2"},       {Qt::Key_Up, "3"},
                                               {Qt::Key_Down, "2"},     {Qt::Key_PageUp, "8"},
                                               {Qt::Key_Up, "8"},       {Qt::Key_PageDown, "1"},
                                               {Qt::Key_Down, "1"}};
  for (const auto& [key, shown] : steps) {
    QTest::keyClick(entry, key);
    EXPECT_EQ(entry->text().toStdString(), shown.toStdString()) << key;
  }
}

TEST_F(MainWindowTest, TheDownloadFailedFilesEntryShowsTheRedownloadWindow) {
  ASSERT_TRUE(window->dowloadfailedfiles1->isVisible());
  window->dowloadfailedfiles1->trigger();
  QApplication::processEvents();
  EXPECT_TRUE(windows->redownload->isVisible());
  windows->redownload->close();
}

TEST_F(MainWindowTest, StartWithoutAPathShowsTheRefusalTitledQuarnel) {
  Control<QLineEdit>("Edit6")->clear();
  const SeenMessageBox box = RunExpectingMessageBox([&] { Control<QPushButton>("BitBtn1")->click(); });
  ASSERT_TRUE(box.seen);
  EXPECT_EQ(box.title, "Quarnel");
  EXPECT_EQ(box.text, "Please select a path to save the images.");
  EXPECT_EQ(Control<QPushButton>("BitBtn1")->text(), "Start");
}

TEST_F(MainWindowTest, ViewLogFileBeforeAnyTaskSaysSoWithItsTrailingBlanks) {
  const SeenMessageBox box = RunExpectingMessageBox([&] { window->Viewlogfile1->trigger(); });
  ASSERT_TRUE(box.seen);
  EXPECT_EQ(box.text, "No task running now." + QString(18, ' '));
}

// A zoom 4 task of two tiles with no worker, so nothing is ever requested.
void StartTaskWithoutWorkers(TForm1& logic, const std::string& savePath) {
  TForm1Entries entries = logic.Entries();
  TaskEntries& task = entries.task;
  task.savePath = savePath;
  task.left = "10", task.right = "20", task.top = "50", task.bottom = "40";
  task.threads = "1";
  task.taskName = "job.qrnl";
  logic.BitBtn1Click(entries);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !logic.TaskPreparing(); }, 20000));
  ASSERT_TRUE(logic.TaskRunning());
}

TEST_F(MainWindowTest, LogViewShowsTheNewestLinesWithinItsBound) {
  TForm1& logic = window->Logic();
  StartTaskWithoutWorkers(logic, folder / "maps");
  windows->platform.SetTimerEnabled(false);  // the close would show its message box mid-test
  const int total = MainWindow::kShownLogLines + 5000;
  for (int i = 1; i <= total; ++i) ReportLine(*logic.Run(), WorkerEvent::Note, "line " + std::to_string(i));
  QSignalSpy spy(Control<QPlainTextEdit>("Memo1"), &QPlainTextEdit::textChanged);
  ASSERT_TRUE(spy.wait(5000));

  auto* log = Control<QPlainTextEdit>("Memo1");
  EXPECT_EQ(log->blockCount(), MainWindow::kShownLogLines);
  EXPECT_EQ(log->document()->lastBlock().text().toStdString(), "line " + std::to_string(total));
  EXPECT_EQ(logic.Memo1().Count(), TForm1::kShownLines) << "the logic keeps no more than the view";
  EXPECT_EQ(logic.Memo1().Last(), "line " + std::to_string(total));
  RunExpectingMessageBox([&] { logic.Timer1Timer(); });
}

// Start fills the view with the task's log, whose last lines (a resumed task's) are long.
// The task has no worker, so nothing is ever requested.
TEST_F(MainWindowTest, LogViewKeepsItsLeftEdgeAndStopsFollowingWhileScrolledUp) {
  auto* log = Control<QPlainTextEdit>("Memo1");
  QScrollBar* across = log->horizontalScrollBar();
  QScrollBar* down = log->verticalScrollBar();
  auto line = [](int n) { return "T1:seq=" + std::to_string(n) + ", " + std::string(300, 'x') + ".png ->ok!"; };
  TForm1& logic = window->Logic();
  auto start = [&] { StartTaskWithoutWorkers(logic, folder / "maps"); };
  start();
  RunExpectingMessageBox([&] { logic.Timer1Timer(); });
  ASSERT_FALSE(logic.TaskRunning());
  std::string earlier = ReadFile(folder / "maps/job_log.txt");
  for (int i = 1; i <= 100; ++i) earlier += line(i) + "\r\n";
  WriteFile(folder / "maps/job_log.txt", earlier);
  start();
  windows->platform.SetTimerEnabled(false);  // the close would show its message box mid-test
  ASSERT_TRUE(logic.Parameters()->Resume);
  QApplication::processEvents();
  ASSERT_GT(across->maximum(), 0) << "the lines must be wider than the view";
  EXPECT_EQ(across->value(), 0) << "the start of the lines is shown";
  EXPECT_EQ(down->value(), down->maximum());

  auto append = [&](int from, int count) {
    QSignalSpy spy(log, &QPlainTextEdit::textChanged);
    for (int i = from; i < from + count; ++i) ReportLine(*window->Logic().Run(), WorkerEvent::Note, line(i));
    ASSERT_TRUE(spy.wait(5000));
    QApplication::processEvents();
  };
  append(101, 50);
  EXPECT_EQ(across->value(), 0);
  EXPECT_EQ(down->value(), down->maximum()) << "follows the newest line";

  down->setValue(down->maximum() / 2);
  const int readingAt = down->value();
  append(151, 50);
  EXPECT_EQ(down->value(), readingAt) << "a user reading further up is left there";
  EXPECT_EQ(across->value(), 0);

  down->setValue(down->maximum());
  across->setValue(40);
  append(201, 50);
  EXPECT_EQ(down->value(), down->maximum()) << "back at the bottom it follows again";
  EXPECT_EQ(across->value(), 40) << "a sideways scroll of the user's stays";
  RunExpectingMessageBox([&] { if (logic.TaskRunning()) logic.Timer1Timer(); });
}

// Start refills the view from the log file; when its last line is wider
// than the view, the view must still show where the lines start.
TEST_F(MainWindowTest, ARefilledLogViewShowsTheStartOfItsLines) {
  auto* log = Control<QPlainTextEdit>("Memo1");
  log->setFixedWidth(90);
  TForm1& logic = window->Logic();
  StartTaskWithoutWorkers(logic, folder / "maps");
  QApplication::processEvents();
  ASSERT_GT(logic.Memo1().Last().size(), 20u);
  ASSERT_GT(log->horizontalScrollBar()->maximum(), 0) << "the last line must be wider than the view";
  EXPECT_EQ(log->horizontalScrollBar()->value(), 0);
  EXPECT_EQ(log->verticalScrollBar()->value(), log->verticalScrollBar()->maximum());
  RunExpectingMessageBox([&] { logic.Timer1Timer(); });
}

TEST_F(MainWindowTest, TheProgressWidgetsShowWhatTheLogicCounts) {
  auto* estimate = Control<QLabel>("LabelEstimate");
  auto* bar = Control<QProgressBar>("ProgressBar1");
  auto* progress = Control<QLabel>("LabelProgress");
  auto* button = Control<QPushButton>("BitBtn1");
  const auto buttonTop = [&] {
    QApplication::processEvents();
    return button->mapTo(window, QPoint()).y();
  };
  const int top = buttonTop();
  TForm1& logic = window->Logic();
  QTest::keyClicks(Control<QLineEdit>("Edit1"), "1");
  QTest::keyClicks(Control<QLineEdit>("Edit3"), "2");
  QTest::keyClicks(Control<QLineEdit>("Edit2"), "50");
  QTest::keyClicks(Control<QLineEdit>("Edit4"), "40");
  window->TrackBar1->setValue(4);
  EXPECT_EQ(estimate->text(), "2 tiles, about 30.0 KB");
  QTest::keyClicks(Control<QLineEdit>("Edit1"), "9");
  EXPECT_EQ(estimate->text(), "Left Longitude should less than Right Longitude!") << "the estimate follows each key";
  QTest::keyClicks(Control<QLineEdit>("Edit3"), "0");
  EXPECT_EQ(estimate->text(), "2 tiles, about 30.0 KB");
  EXPECT_TRUE(bar->isHidden()) << "no bar before the first Start";

  StartTaskWithoutWorkers(logic, folder / "maps");
  window->show();
  QApplication::processEvents();
  EXPECT_FALSE(bar->isHidden());
  EXPECT_EQ(bar->maximum(), 2);
  EXPECT_EQ(bar->value(), 0);
  EXPECT_EQ(progress->text().toStdString(), logic.Face().progress.LabelProgress);
  ReportSaved(*logic.Run(), 8, 5, "T1:seq=1, os_8_5_4.png ->ok!");
  RunExpectingMessageBox([&] { logic.Timer1Timer(); });
  EXPECT_EQ(bar->value(), 1);
  EXPECT_EQ(progress->text().toStdString(), logic.Face().progress.LabelProgress);
  EXPECT_EQ(progress->text(), "Summary: 1 saved, 0 failed. Task: 1 of 2 tiles done, none listed as failed.");
  EXPECT_EQ(buttonTop(), top) << "Start/Stop stays where it was as the lines come and go";
}

// Neither a tick nor the close draws over what the user typed meanwhile.
TEST_F(MainWindowTest, WhatIsTypedWhileATaskRunsOutlastsItsTicksAndItsClose) {
  TForm1& logic = window->Logic();
  StartTaskWithoutWorkers(logic, folder / "maps");
  windows->platform.SetTimerEnabled(false);  // the ticks are fired here
  QTest::keyClicks(Control<QLineEdit>("Edit1"), "5");
  QTest::keyClicks(Control<QLineEdit>("EditTaskName"), "x");
  RunExpectingMessageBox([&] { logic.Timer1Timer(); });
  ASSERT_FALSE(logic.TaskRunning());
  EXPECT_EQ(Control<QLineEdit>("Edit1")->text(), "5");
  EXPECT_EQ(Control<QLineEdit>("EditTaskName")->text(), "newtask.qrnlx");
}

TEST_F(MainWindowTest, TheStatusBarShowsTheRunSummaryAfterTheClose) {
  auto* panel = Control<QLabel>("StatusBar1Panel");
  EXPECT_EQ(panel->text(), TForm1::StatusBar1Text);
  window->RunSummaryReady("Summary: 2 saved, 0 failed.");
  EXPECT_EQ(panel->text(), "Summary: 2 saved, 0 failed.");
}

}  // namespace

// "Save tiles in:" hands the choice to the logic, and shows the storage of a
// task the logic opened; a task started with "one file" keeps its tiles there.
TEST_F(MainWindowTest, SaveTilesInChoosesWhereANewTaskKeepsItsTiles) {
  auto* storage = Control<QComboBox>("comboStorage");
  ASSERT_EQ(storage->count(), 2);
  EXPECT_EQ(storage->itemText(0), "a folder");
  EXPECT_EQ(storage->itemText(1), "one file");
  EXPECT_EQ(storage->currentIndex(), 0);
  storage->setCurrentIndex(1);
  EXPECT_EQ(window->Logic().Entries().task.storage, TileStorage::File);
  StartTaskWithoutWorkers(window->Logic(), folder.Path());
  EXPECT_TRUE(std::filesystem::exists(folder / "job.mbtiles"));
  EXPECT_EQ(ProjectFile::Read(folder / "job.qrnl").Storage, TileStorage::File);
}
