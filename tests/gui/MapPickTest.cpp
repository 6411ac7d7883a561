#include <QApplication>
#include <QMenu>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "GuiTestSupport.h"
#include "PickAreaDialog.h"
#include "QuarnelWindows.h"
#include "ScriptedServer.h"
#include "TileHosts.h"

namespace {

// The picker's map asks only a tile host of the test's own, which answers nothing.
class MapPickTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_CACHE_HOME", folder.MakeFolder("cache").c_str(), 1);
    std::string hosts = "[Hosts]\r\n";
    for (const char* key : TileHosts::kKeys) hosts += std::string(key) + "=127.0.0.1:" + std::to_string(UnusedLocalPort()) + "\r\n";
    WriteFile(folder / "config.ini", hosts);
    windows = std::make_unique<QuarnelWindows>(folder / "config.ini");
    window = windows->mainWindow.get();
    window->show();
    QApplication::processEvents();
  }
  void TearDown() override { ::unsetenv("XDG_CACHE_HOME"); }

  // Runs the picker from a trigger and acts on it once it is up.
  void WithPicker(const std::function<void()>& trigger, const std::function<void(PickAreaDialog&)>& act) {
    bool seen = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (auto* dialog = qobject_cast<PickAreaDialog*>(QApplication::activeModalWidget())) {
        poll.stop();
        seen = true;
        act(*dialog);
      }
    });
    poll.start();
    trigger();
    EXPECT_TRUE(seen);
  }

  QString Entry(const char* name) { return window->findChild<QLineEdit*>(name)->text(); }

  ScratchFolder folder;
  std::unique_ptr<QuarnelWindows> windows;
  MainWindow* window = nullptr;
};

// Shift and drag draws the rectangle; a plain drag moves the map.
void DragOneTileSouthEastOfTheEquatorAndMeridian(PickAreaDialog& dialog) {
  MapWidget* map = dialog.Map();
  map->SetCenter({8, 8}, 4);
  const QPoint middle(map->width() / 2, map->height() / 2);
  QTest::mousePress(map, Qt::LeftButton, Qt::ShiftModifier, middle);
  QTest::mouseMove(map, middle + QPoint(128, 128));
  QTest::mouseRelease(map, Qt::LeftButton, Qt::ShiftModifier, middle + QPoint(256, 256));
}

TEST_F(MapPickTest, OkWritesThePickedEdgesIntoTheEntriesAndCancelChangesNothing) {
  auto* button = window->findChild<QPushButton*>("PickOnMapButton");
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->text(), "Pick on map...");
  WithPicker([&] { button->click(); }, [](PickAreaDialog& dialog) {
    DragOneTileSouthEastOfTheEquatorAndMeridian(dialog);
    dialog.Buttons()->button(QDialogButtonBox::Ok)->click();
  });
  EXPECT_EQ(Entry("Edit1"), "0.000000");
  EXPECT_EQ(Entry("Edit3"), "22.500000");
  EXPECT_EQ(Entry("Edit2"), "0.000000");
  EXPECT_EQ(Entry("Edit4"), "-21.943046");
  EXPECT_EQ(window->Logic().Entries().task.bottom, "-21.943046");  // the logic has them too, for Start
  auto* estimate = window->findChild<QLabel*>("LabelEstimate");
  ASSERT_NE(estimate, nullptr);
  EXPECT_TRUE(estimate->text().endsWith(" KB") || estimate->text().endsWith(" MB")) << estimate->text().toStdString()
      << ": the estimate follows a picked area as it follows typing";

  // The Tools entry opens the same picker, centred on the entries; Cancel keeps them.
  auto* action = window->findChild<QAction*>("PickOnMap1");
  ASSERT_NE(action, nullptr);
  WithPicker([&] { action->trigger(); }, [](PickAreaDialog& dialog) {
    EXPECT_EQ(dialog.Entries().right, "22.500000");
    dialog.Map()->SetCenter({1, 1}, 1);
    QTest::mousePress(dialog.Map(), Qt::LeftButton, Qt::ShiftModifier, QPoint(10, 10));
    QTest::mouseMove(dialog.Map(), QPoint(100, 100));
    QTest::mouseRelease(dialog.Map(), Qt::LeftButton, Qt::ShiftModifier, QPoint(200, 200));
    dialog.Buttons()->button(QDialogButtonBox::Cancel)->click();
  });
  EXPECT_EQ(Entry("Edit1"), "0.000000");
  EXPECT_EQ(Entry("Edit4"), "-21.943046");
}

// A polygon drawn in the picker becomes the task's area; a rectangle drops it again.
TEST_F(MapPickTest, APickedPolygonBecomesTheTasksArea) {
  auto* button = window->findChild<QPushButton*>("PickOnMapButton");
  ASSERT_NE(button, nullptr);
  WithPicker([&] { button->click(); }, [](PickAreaDialog& dialog) {
    MapWidget* map = dialog.Map();
    map->SetCenter({1, 1}, 1);
    dialog.ToolButton(MapWidget::Tool::Polygon)->click();
    const QPoint corners[] = {map->ScreenAt({-170, 60}).toPoint(), map->ScreenAt({170, 60}).toPoint(),
                              map->ScreenAt({-170, -60}).toPoint()};
    for (const QPoint& corner : corners) QTest::mouseClick(map, Qt::LeftButton, {}, corner);
    QTest::mouseDClick(map, Qt::LeftButton, {}, corners[2]);
    dialog.Buttons()->button(QDialogButtonBox::Ok)->click();
  });
  ASSERT_NE(window->Logic().CurrentArea(), nullptr);
  EXPECT_EQ(window->Logic().Face().LabelArea, "drawn on the map");
  EXPECT_EQ(window->Logic().CurrentArea()->polygons.size(), 1u);

  WithPicker([&] { button->click(); }, [](PickAreaDialog& dialog) {
    DragOneTileSouthEastOfTheEquatorAndMeridian(dialog);
    dialog.Buttons()->button(QDialogButtonBox::Ok)->click();
  });
  EXPECT_EQ(window->Logic().CurrentArea(), nullptr) << "a rectangle leaves the task a rectangle";
}

}  // namespace
