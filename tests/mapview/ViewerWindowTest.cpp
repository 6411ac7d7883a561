#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>

#include "MapServices.h"
#include "MapViewTestSupport.h"
#include "RecentTask.h"
#include "ScriptedServer.h"
#include "TaskToOpen.h"
#include "TileHttpClient.h"
#include "ViewerWindow.h"

namespace {

const QByteArray kBlank = PngOfColour(Qt::white, 16);
const QByteArray kFresh = PngOfColour(Qt::magenta);

// A program folder with its blank placeholder, and a configuration whose
// tile hosts are all a server of the test's own.
class ViewerTest : public testing::Test {
 protected:
  void SetUp() override {
    TileHttpClient::GlobalInit();
    folder_.MakeFolder("bin/blankimg");
    WriteFile(folder_ / "bin/blankimg/blank.png", kBlank.toStdString());
    std::string hosts = "[Hosts]\r\n";
    for (const char* key : TileHosts::kKeys) hosts += std::string(key) + "=127.0.0.1:" + std::to_string(server_.Port()) + "\r\n";
    WriteFile(Config(), hosts);
  }
  std::string Config() const { return folder_ / "config.ini"; }

  // A 3 x 1 task at zoom 4 of the given type: saved, blank, failed-and-blanked.
  TaskExtent MakeTask(int mapsType) {
    WriteFile(folder_ / "task.qrnl", ProjectText(mapsType, "10", "60", "50", "45", 4));
    TaskExtent extent = ReadTaskExtent(folder_ / "task.qrnl");
    folder_.MakeFolder("task");
    const int32_t y = extent.minY;
    WriteFile(extent.FilePath(extent.minX, y), PngOfColour(Qt::blue).toStdString());
    WriteFile(extent.FilePath(extent.minX + 1, y), kBlank.toStdString());
    WriteFile(extent.FilePath(extent.minX + 2, y), kBlank.toStdString());
    WriteFile(extent.failedListPath, extent.FilePath(extent.minX + 2, y) + "|http://127.0.0.1:1/x\r\n");
    return extent;
  }

  void Open(ViewerWindow& window, const std::string& project) {
    QSignalSpy scanned(&window, &ViewerWindow::ScanFinished);
    window.OpenTask(project);
    if (scanned.isEmpty()) {
      ASSERT_TRUE(scanned.wait(10000));
    }
  }

  ScratchFolder folder_{"viewer"};
  std::atomic<int> requests_{0};
  ScriptedServer server_{[this](const ScriptedRequest&) {
    ++requests_;
    return Respond::Ok(kFresh.toStdString());
  }};
};

TEST_F(ViewerTest, BadInputIsALineInTheWindow) {
  ViewerWindow window(folder_ / "bin/", Config());
  window.show();
  Open(window, folder_ / "absent.qrnl");
  EXPECT_TRUE(window.Problem().startsWith("Cannot read the project file")) << window.Problem().toStdString();
  EXPECT_EQ(window.Source(), nullptr);

  WriteFile(folder_ / "nofolder.qrnl", ProjectText(kOpenStreetMap, "10", "20", "50", "40", 4));
  Open(window, folder_ / "nofolder.qrnl");
  EXPECT_TRUE(window.Problem().contains("Tile folder")) << window.Problem().toStdString();
  ASSERT_NE(window.Source(), nullptr);
  EXPECT_EQ(window.CountText(TileState::Missing), "2");
  QTest::mouseClick(window.Map(), Qt::LeftButton, {}, window.Map()->rect().center());
  EXPECT_TRUE(window.TileInfo().contains("Missing")) << window.TileInfo().toStdString();
}

class ViewerStates : public ViewerTest, public testing::WithParamInterface<int> {};

TEST_P(ViewerStates, CountsStatesNamesTheClickedTileAndFetchesTheSelectionAgain) {
  const TaskExtent extent = MakeTask(GetParam());
  ViewerWindow window(folder_ / "bin/", Config());
  window.resize(1000, 700);
  window.show();
  Open(window, extent.projectPath);
  EXPECT_EQ(window.CountText(TileState::Saved), "1");
  EXPECT_EQ(window.CountText(TileState::Blank), "1");
  EXPECT_EQ(window.CountText(TileState::Failed), "1");
  EXPECT_EQ(window.CountText(TileState::Missing), "0");

  // The middle tile of the three sits in the middle of the fitted view.
  MapWidget* map = window.Map();
  const QPoint middle = map->rect().center();
  ASSERT_EQ(map->TileAt(middle), (TileKey{extent.minX + 1, extent.minY, 4}));
  QTest::mouseClick(map, Qt::LeftButton, {}, middle);
  const QString info = window.TileInfo();
  EXPECT_TRUE(info.contains(QString::fromStdString(extent.FileName(extent.minX + 1, extent.minY)))) << info.toStdString();
  EXPECT_TRUE(info.contains(QString("127.0.0.1:%1").arg(server_.Port()))) << info.toStdString();
  EXPECT_TRUE(info.contains("Blank placeholder")) << info.toStdString();

  window.SelectAllButton()->click();
  EXPECT_EQ(window.FetchButton()->text(), "Fetch 2 failed and blank again");
  ASSERT_TRUE(window.FetchButton()->isEnabled());
  QSignalSpy fetched(&window, &ViewerWindow::FetchFinished);
  window.FetchButton()->click();
  ASSERT_TRUE(fetched.wait(10000));
  EXPECT_EQ(requests_, 2);  // the saved tile is left alone
  EXPECT_EQ(window.CountText(TileState::Saved), "3");
  EXPECT_EQ(window.CountText(TileState::Failed), "0");
  EXPECT_TRUE(window.FetchText().startsWith("Fetched again: 2 saved, 0 failed")) << window.FetchText().toStdString();
  EXPECT_EQ(ReadFile(extent.FilePath(extent.minX + 2, extent.minY)), kFresh.toStdString());
  EXPECT_FALSE(window.FetchButton()->isEnabled());
  EXPECT_TRUE(window.TileInfo().contains("State: Saved")) << window.TileInfo().toStdString();  // the clicked tile
}

INSTANTIATE_TEST_SUITE_P(TopAndBottomCounted, ViewerStates, testing::Values(kOpenStreetMap, 5));

TEST(TaskToOpen, TheArgumentElseTheLastTaskStarted) {
  ScratchFolder folder("viewer");
  const std::string config = folder / "config.ini";
  EXPECT_EQ(TaskToOpen({"glimmet"}, config), "");
  WriteFile(folder / "last.qrnl", "");
  RememberLastTask(config, folder / "last.qrnl");
  EXPECT_EQ(TaskToOpen({"glimmet"}, config), folder / "last.qrnl");
  EXPECT_EQ(TaskToOpen({"glimmet", "/given.qrnl"}, config), "/given.qrnl");
}

}  // namespace
