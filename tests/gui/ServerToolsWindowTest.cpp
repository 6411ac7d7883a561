// The widgets of the tile server's tools: the estimate button, "Refresh
// tiles..." and the Options dialog's sample address.

#include <QApplication>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "QuarnelWindows.h"
#include "RefreshTilesDialog.h"
#include "ScriptedServer.h"

namespace {

class ServerToolsWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(folder / "config.ini", "[Hosts]\r\nOpenStreetMap=127.0.0.1:" + std::to_string(server.Port()) + "\r\n");
    windows = std::make_unique<QuarnelWindows>(folder / "config.ini");
    window = windows->mainWindow.get();
    window->show();
    QApplication::processEvents();
  }
  ScriptedServer server;
  ScratchFolder folder;
  std::unique_ptr<QuarnelWindows> windows;
  MainWindow* window = nullptr;
};

TEST_F(ServerToolsWindowTest, TheEstimateButtonShowsTheSampledSize) {
  for (auto [entry, text] : {std::pair{window->Edit1, "10"}, {window->Edit3, "20"}, {window->Edit2, "50"}, {window->Edit4, "40"}}) {
    entry->clear();
    QTest::keyClicks(entry, text);
  }
  window->TrackBar1->setValue(4);
  ASSERT_NE(window->ButtonServerEstimate, nullptr);
  window->ButtonServerEstimate->click();
  EXPECT_TRUE(window->LabelEstimate->text().startsWith("Asking the server"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return window->LabelEstimate->text().contains("sample tiles,"); }, 20000))
      << window->LabelEstimate->text().toStdString();
  EXPECT_TRUE(window->LabelEstimate->text().startsWith("2 tiles, about "));
  EXPECT_EQ(server.RequestCount(), 2u);
}

TEST_F(ServerToolsWindowTest, ToolsMenuOpensTheRefreshWindowOnTheLastTask) {
  ASSERT_NE(window->RefreshTiles1, nullptr);
  EXPECT_EQ(window->RefreshTiles1->text(), "Refresh tiles...");
  EXPECT_TRUE(window->findChild<QMenu*>("Tools1")->actions().contains(window->RefreshTiles1));
  window->RefreshTiles1->trigger();
  RefreshTilesDialog* dialog = window->RefreshTilesWindow();
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->windowTitle(), "Refresh tiles");
  EXPECT_EQ(dialog->ButtonStart->text(), "Refresh");
  QTest::keyClicks(dialog->EditOlderThan, "x");
  const SeenMessageBox box = RunExpectingMessageBox([&] { dialog->ButtonStart->click(); });
  EXPECT_EQ(box.text, "'x' is not a number of days.");
}

TEST_F(ServerToolsWindowTest, OptionsShowTheAddressOfASampleTileAsTyped) {
  OptionsDialog& options = *windows->options;
  QTimer::singleShot(0, [&] {
    EXPECT_EQ(options.LabelTileSample->toolTip(), "Sample tile: http://127.0.0.1:" + QString::number(server.Port()) +
                                                      "/12/2138/1447.png");
    options.EditTileServer->clear();
    QTest::keyClicks(options.EditTileServer, "{s}.t.example.org/{q}");
    EXPECT_EQ(options.LabelTileSample->toolTip(), "Sample tile: http://a.t.example.org/120221211232");
    EXPECT_EQ(options.LabelTileSample->text().remove(QChar(0x200B)), options.LabelTileSample->toolTip());
    options.Button2->click();
  });
  options.ShowModal();
}

}  // namespace
