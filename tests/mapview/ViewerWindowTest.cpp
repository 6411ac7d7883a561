#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>

#include "AreaGeoJson.h"
#include "MapColours.h"
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
const QByteArray kLive = PngOfColour(Qt::darkCyan);
constexpr int kGoogleMap = 0;  // top-counted, like OpenStreetMap, whose host serves the live map here

// A program folder with its blank placeholder, and a configuration whose
// tile hosts are servers of the test's own: the live map's (OpenStreetMap)
// apart from the tasks' (every other service).
class ViewerTest : public testing::Test {
 protected:
  void SetUp() override {
    TileHttpClient::GlobalInit();
    folder_.MakeFolder("bin/blankimg");
    WriteFile(folder_ / "bin/blankimg/blank.png", kBlank.toStdString());
    std::string hosts = "[Hosts]\r\n";
    for (const char* key : TileHosts::kKeys) {
      const int port = std::string(key) == "OpenStreetMap" ? live_.Port() : server_.Port();
      hosts += std::string(key) + "=127.0.0.1:" + std::to_string(port) + "\r\n";
    }
    WriteFile(Config(), hosts);
  }
  std::string Config() const { return folder_ / "config.ini"; }
  std::string Cache() const { return folder_ / "cache"; }

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
  ScriptedServer live_{[](const ScriptedRequest&) { return Respond::Ok(kLive.toStdString()); }};
};

TEST_F(ViewerTest, BadInputIsALineInTheWindow) {
  ViewerWindow window(folder_ / "bin/", Config(), Cache());
  window.show();
  Open(window, folder_ / "absent.qrnl");
  EXPECT_TRUE(window.Problem().startsWith("Cannot read the project file")) << window.Problem().toStdString();
  EXPECT_EQ(window.Source(), nullptr);

  WriteFile(folder_ / "nofolder.qrnl", ProjectText(kGoogleMap, "10", "20", "50", "40", 4));
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
  ViewerWindow window(folder_ / "bin/", Config(), Cache());
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

INSTANTIATE_TEST_SUITE_P(TopAndBottomCounted, ViewerStates, testing::Values(kGoogleMap, 5));

// A task at zoom 5 over 0..40 E, 20..60 N whose area is a triangle; one
// tile inside is saved, and a file lies outside the area.
TEST_F(ViewerTest, AnAreaTaskCountsOnlyTheTilesInsideItAndIsOutlinedByIt) {
  Area triangle;
  triangle.polygons.push_back({{{0, 60}, {40, 60}, {0, 20}}, {}});
  WriteAreaGeoJson(folder_ / "tri_area.geojson", triangle);
  std::string project = ProjectText(kGoogleMap, "0", "40", "60", "20", 5);
  project.insert(project.find("[Zoom]"), "AreaFile=tri_area.geojson\r\n");
  WriteFile(folder_ / "tri.qrnl", project);
  const TaskExtent extent = ReadTaskExtent(folder_ / "tri.qrnl");
  ASSERT_TRUE(extent.area);
  folder_.MakeFolder("tri");
  const MaskTile first = *extent.area->mask.begin();
  WriteFile(extent.FilePath(first.x, first.y), PngOfColour(Qt::blue).toStdString());
  WriteFile(extent.FilePath(extent.maxX, extent.maxY), kBlank.toStdString());  // outside
  ASSERT_FALSE(extent.Inside(extent.maxX, extent.maxY));

  ViewerWindow window(folder_ / "bin/", Config(), Cache());
  window.resize(1000, 700);
  window.show();
  Open(window, extent.projectPath);
  EXPECT_EQ(window.CountText(TileState::Saved), "1");
  EXPECT_EQ(window.CountText(TileState::Blank), "0");
  EXPECT_EQ(window.CountText(TileState::Missing), QString::number(extent.InsideCount() - 1));
  EXPECT_EQ(
      window.AreaText(),
      QString("The area holds %1 of the %2 tiles of its rectangle.").arg(extent.InsideCount()).arg(extent.TileCount()));
  EXPECT_EQ(window.Map()->Outline(), extent.area->area);

  window.SelectAllButton()->click();
  EXPECT_EQ(window.FetchButton()->text(), "Fetch 0 failed and blank again");  // the blank outside is no tile of it
  MapWidget* map = window.Map();
  const TileRange range = TopCountedRange(extent);
  map->SetCenter({range.maxX + 0.5, range.maxY + 0.5}, 5);
  QTest::mouseClick(map, Qt::LeftButton, {}, map->rect().center());
  EXPECT_TRUE(window.TileInfo().endsWith("not a tile of this task (outside its area)"))
      << window.TileInfo().toStdString();

  // A damaged area file: the task is refused, never shown as its rectangle.
  WriteFile(folder_ / "tri_area.geojson", "{\"type\": \"Polygon\"");
  Open(window, extent.projectPath);
  EXPECT_EQ(window.Source(), nullptr);
  EXPECT_TRUE(window.Problem().contains("tri_area.geojson")) << window.Problem().toStdString();
  EXPECT_TRUE(map->Outline().Empty());
}

TEST_F(ViewerTest, TheLiveMapLiesDimmedUnderTheTaskAndTheClickedTileIsMarked) {
  const TaskExtent extent = MakeTask(kGoogleMap);
  ViewerWindow window(folder_ / "bin/", Config(), Cache());
  window.resize(1000, 700);
  window.show();
  Open(window, extent.projectPath);
  MapWidget* map = window.Map();
  // Beside the task the live map shows through a white veil.
  const QPoint beside = map->ScreenAt({35, 62}).toPoint();  // a row north of the task's
  ASSERT_NE(map->TileAt(beside).y, extent.minY);
  ASSERT_GT(beside.y(), 40);
  const double keep = 1 - MapWidget::kBackdropVeil / 255.0;
  const QColor dimmed(qRound(0 * keep + 255 * (1 - keep)), qRound(128 * keep + 255 * (1 - keep)),
                      qRound(128 * keep + 255 * (1 - keep)));
  const auto near = [](QColor a, QColor b) {
    return std::abs(a.red() - b.red()) <= 2 && std::abs(a.green() - b.green()) <= 2 &&
           std::abs(a.blue() - b.blue()) <= 2;
  };
  ASSERT_TRUE(QTest::qWaitFor([&] { return near(map->grab().toImage().pixelColor(beside), dimmed); }, 10000))
      << map->grab().toImage().pixelColor(beside).name().toStdString();
  EXPECT_GT(live_.RequestCount(), 0u);
  EXPECT_EQ(requests_, 0);  // the task's own server is not asked for the live map
  // The task's saved tile is drawn as it is, not dimmed.
  const QPoint middle = map->rect().center();
  const QPoint inFirst = map->ScreenAt({extent.left + 1, extent.top - 1}).toPoint();
  ASSERT_EQ(map->TileAt(inFirst), (TileKey{extent.minX, extent.minY, 4}));
  EXPECT_EQ(map->grab().toImage().pixelColor(inFirst + QPoint(20, 20)), QColor(Qt::blue));

  // The clicked tile: a frame in its own colour, found left of the click within a tile.
  const auto markedLeftOf = [&](QPoint from) {
    const QImage shot = map->grab().toImage();
    for (int x = from.x(); x > from.x() - 300 && x >= 0; --x)
      if (shot.pixelColor(x, from.y()) == MapColours::MarkedTile()) return true;
    return false;
  };
  EXPECT_FALSE(markedLeftOf(middle));
  QTest::mouseClick(map, Qt::LeftButton, {}, middle);
  EXPECT_EQ(map->MarkedTile(), map->TileAt(middle));
  EXPECT_TRUE(markedLeftOf(middle));

  // Without the live map, white again.
  window.LiveMapAction()->setChecked(false);
  EXPECT_EQ(map->grab().toImage().pixelColor(beside), QColor(Qt::white));
}

TEST_F(ViewerTest, FileOpenAsksForAProjectInTheShownTasksFolder) {
  const TaskExtent extent = MakeTask(kGoogleMap);
  ViewerWindow window(folder_ / "bin/", Config(), Cache());
  window.show();
  QString askedIn = "never asked";
  QString answer;
  window.SetFileChooser([&](QWidget*, const QString& folder) {
    askedIn = folder;
    return answer;
  });
  QAction* open = window.findChild<QAction*>("OpenAction");
  ASSERT_NE(open, nullptr);
  open->trigger();
  EXPECT_EQ(askedIn, "");
  EXPECT_EQ(window.Source(), nullptr);  // nothing chosen, nothing opened

  answer = QString::fromStdString(extent.projectPath);
  QSignalSpy scanned(&window, &ViewerWindow::ScanFinished);
  open->trigger();
  ASSERT_TRUE(scanned.wait(10000));
  ASSERT_NE(window.Source(), nullptr);
  EXPECT_EQ(window.Source()->Extent().projectPath, extent.projectPath);
  open->trigger();
  EXPECT_EQ(askedIn.toStdString() + "/", folder_.Path());
}

// File -> Open of another task leaves nothing of the one shown before in the
// panel, even when the new one cannot be read.
TEST_F(ViewerTest, AnotherTaskLeavesNothingOfTheLastInThePanel) {
  const TaskExtent extent = MakeTask(kGoogleMap);
  ViewerWindow window(folder_ / "bin/", Config(), Cache());
  window.resize(1000, 700);
  window.show();
  Open(window, extent.projectPath);
  QTest::mouseClick(window.Map(), Qt::LeftButton, {}, window.Map()->rect().center());
  window.SelectAllButton()->click();
  ASSERT_EQ(window.CountText(TileState::Saved), "1");
  ASSERT_TRUE(window.TileInfo().contains("Blank placeholder"));
  ASSERT_EQ(window.FetchButton()->text(), "Fetch 2 failed and blank again");

  Open(window, folder_ / "absent.qrnl");
  for (std::size_t i = 0; i < kTileStateCount; ++i)
    EXPECT_EQ(window.CountText(static_cast<TileState>(i)), "0") << TileStateName(static_cast<TileState>(i));
  EXPECT_EQ(window.TileInfo(), "Click a tile to see its file, address and state.");
  EXPECT_EQ(window.FetchButton()->text(), "Fetch failed and blank again");
  EXPECT_FALSE(window.FetchButton()->isEnabled());
  EXPECT_EQ(window.windowTitle(), "Map Viewer");
}

// The configuration's Hosts.Attribution, which combined tile sets record,
// stands in the map's lower right corner; without one nothing does.
TEST_F(ViewerTest, TheServersAttributionStandsInTheMapsCorner) {
  const auto attributionOf = [](const ViewerWindow& window) { return window.Map()->findChild<QLabel*>("Attribution"); };
  ViewerWindow plain(folder_ / "bin/", Config(), Cache());
  plain.show();
  ASSERT_NE(attributionOf(plain), nullptr);
  EXPECT_FALSE(attributionOf(plain)->isVisible());

  WriteFile(Config(), ReadFile(Config()) + "Attribution=\xC2\xA9 Example <b>contributors</b>\r\n");
  ViewerWindow window(folder_ / "bin/", Config(), Cache());
  window.resize(1000, 700);
  window.show();
  const QLabel* label = attributionOf(window);
  ASSERT_TRUE(label->isVisible());
  EXPECT_EQ(label->text(), QString::fromUtf8("\xC2\xA9 Example <b>contributors</b>"));
  EXPECT_EQ(label->textFormat(), Qt::PlainText);
  EXPECT_EQ(label->geometry().bottomRight(), window.Map()->rect().bottomRight());
}

TEST(ViewerColours, TheLegendDiffersFromTheOutlineTheSelectionAndTheClickedTile) {
  const auto distance = [](QColor a, QColor b) {
    return std::hypot(a.red() - b.red(), a.green() - b.green(), a.blue() - b.blue());
  };
  for (const QColor& legend : ViewerWindow::LegendColours())
    for (const QColor& mark : {MapColours::Outline(), MapColours::Selection(), MapColours::MarkedTile()})
      EXPECT_GT(distance(legend, mark), 100) << legend.name().toStdString() << " and " << mark.name().toStdString();
}

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
