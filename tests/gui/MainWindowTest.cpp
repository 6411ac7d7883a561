#include <QApplication>
#include <QMenuBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>

#include <gtest/gtest.h>

#include "AppPaths.h"
#include "GuiTestSupport.h"
#include "QuarnelWindows.h"
#include "UpDownArrows.h"

namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    windows = std::make_unique<QuarnelWindows>(folder / "config.ini");
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
  EXPECT_EQ(window->Logic().TrackBar1Position, 15);
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
        {"dowload failed files", false, false}}},
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

TEST_F(MainWindowTest, ThreadArrowsStepTheCountWithin1To8AndReachTheLogic) {
  auto* arrows = Control<UpDownArrows>("UpDown2");
  EXPECT_EQ(arrows->Min(), 1);
  EXPECT_EQ(arrows->Max(), 8);
  auto* up = arrows->findChildren<QToolButton*>().at(0);
  for (int i = 0; i < 10; ++i) up->click();
  EXPECT_EQ(Control<QLineEdit>("Edit10")->text(), "8");
  EXPECT_EQ(window->Logic().Edit10, "8");
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

TEST_F(MainWindowTest, TypedEntriesReachTheLogicAtOnce) {
  QTest::keyClicks(Control<QLineEdit>("Edit1"), "10.5");
  QTest::keyClicks(Control<QLineEdit>("EditTaskName"), "x");
  EXPECT_EQ(window->Logic().Edit1, "10.5");
  EXPECT_EQ(window->Logic().EditTaskName, "newtask.qrnlx");
}

TEST_F(MainWindowTest, LogViewShowsTheNewestLinesWithinItsBound) {
  const int total = MainWindow::kShownLogLines + 5000;
  for (int i = 1; i <= total; ++i) window->Logic().AddLogLine("line " + std::to_string(i));
  QSignalSpy spy(Control<QPlainTextEdit>("Memo1"), &QPlainTextEdit::textChanged);
  ASSERT_TRUE(spy.wait(5000));

  auto* log = Control<QPlainTextEdit>("Memo1");
  EXPECT_EQ(log->blockCount(), MainWindow::kShownLogLines);
  EXPECT_EQ(log->document()->lastBlock().text().toStdString(), "line " + std::to_string(total));
  EXPECT_EQ(window->Logic().Memo1.Count(), static_cast<std::size_t>(total) + 1);  // every line kept
}

}  // namespace
