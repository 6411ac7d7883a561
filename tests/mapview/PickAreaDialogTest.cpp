#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "MapServices.h"
#include "PickAreaDialog.h"
#include "ScriptedServer.h"
#include "TestFiles.h"

namespace {

// Nothing listens on the tile host: the picker works offline.
LiveTileFetcher::Settings Offline() {
  LiveTileFetcher::Settings settings;
  settings.hosts.OpenStreetMap = "127.0.0.1:" + std::to_string(UnusedLocalPort());
  return settings;
}

void Drag(QWidget* map, QPoint from, QPoint to, Qt::KeyboardModifiers modifiers = Qt::ShiftModifier) {
  QTest::mousePress(map, Qt::LeftButton, modifiers, from);
  QTest::mouseMove(map, (from + to) / 2);
  QTest::mouseMove(map, to);
  QTest::mouseRelease(map, Qt::LeftButton, modifiers, to);
}

TEST(PickAreaDialog, ADragGivesTheEdgesTheTileCountAndTheEntries) {
  ScratchFolder folder("pick");
  PickAreaDialog dialog(Offline(), folder / "cache", {}, 12, kOpenStreetMap);
  dialog.show();
  QPushButton* ok = dialog.Buttons()->button(QDialogButtonBox::Ok);
  EXPECT_FALSE(ok->isEnabled());  // empty entries: the whole world, nothing picked yet
  EXPECT_EQ(dialog.Map()->View().zoom, 1);

  MapWidget* map = dialog.Map();
  map->SetCenter({8, 8}, 4);  // longitude 0, latitude 0 in the middle
  const QPoint middle(map->width() / 2, map->height() / 2);
  Drag(map, middle + QPoint(256, 256), middle);  // one tile south-east of the middle, dragged backwards
  ASSERT_TRUE(ok->isEnabled());
  const AreaEntries entries = dialog.Entries();
  EXPECT_EQ(entries.left, "0.000000");
  EXPECT_EQ(entries.right, "22.500000");
  EXPECT_EQ(entries.top, "0.000000");
  EXPECT_EQ(entries.bottom, "-21.943046");
  EXPECT_EQ(dialog.EdgesText(), "Left 0.000000   Right 22.500000   Top 0.000000   Bottom -21.943046");
  // As the task set-up counts at zoom 12: longitude 0 falls in column 2047,
  // so columns 2047..2304 and rows 2048..2304.
  EXPECT_TRUE(dialog.TilesText().startsWith("66306 tiles at zoom 12, about")) << dialog.TilesText().toStdString();

  // Beyond the grid's edge the latitude is held at the entries' limit.
  map->SetCenter({1, 0.2}, 1);
  Drag(map, middle - QPoint(100, 200), middle + QPoint(100, 0));
  EXPECT_EQ(dialog.Entries().top, "85.051100");

  // A click without a drag keeps the rectangle.
  QTest::mouseClick(map, Qt::LeftButton, {}, middle);
  EXPECT_EQ(dialog.Entries().top, "85.051100");
}

TEST(PickAreaDialog, OpensOnTheEntriesRectangleAndRefusesAnAreaTheTaskWouldNot) {
  ScratchFolder folder("pick");
  PickAreaDialog dialog(Offline(), folder / "cache", {"10.5", "11", "48", "47.5"}, 18, kOpenStreetMap);
  dialog.show();
  ASSERT_TRUE(dialog.Map()->Rectangle());
  EXPECT_EQ(dialog.Map()->Rectangle()->left, 10.5);
  EXPECT_EQ(dialog.Map()->Rectangle()->bottom, 47.5);
  EXPECT_EQ(dialog.Entries().right, "11.000000");
  EXPECT_GE(dialog.Map()->View().zoom, 7);
  const GeoPoint middle = dialog.Map()->DegreesAt(QPointF(dialog.Map()->width() / 2.0, dialog.Map()->height() / 2.0));
  EXPECT_NEAR(middle.longitude, 10.75, 0.01);

  // The whole world at zoom 18 holds more tiles than a task can count.
  MapWidget* map = dialog.Map();
  map->SetCenter({0.5, 0.5}, 0);
  const QPoint center(map->width() / 2, map->height() / 2);
  Drag(map, center - QPoint(200, 200), center + QPoint(200, 200));
  EXPECT_FALSE(dialog.Buttons()->button(QDialogButtonBox::Ok)->isEnabled());
  EXPECT_EQ(dialog.EdgesText(), "More tiles than a task can count at zoom 18");
}

TEST(PickAreaDialog, APlainDragPansTheRectangleToolDrawsAndDrawingOneShapeClearsTheOther) {
  ScratchFolder folder("pick");
  PickAreaDialog dialog(Offline(), folder / "cache", {"10.5", "11", "48", "47.5"}, 12, kOpenStreetMap);
  dialog.show();
  MapWidget* map = dialog.Map();
  map->SetCenter({8, 8}, 4);
  const QPoint middle(map->width() / 2, map->height() / 2);
  Drag(map, middle, middle + QPoint(200, 100), {});
  EXPECT_NE(map->View().center.x, 8);
  EXPECT_EQ(dialog.Entries().left, "10.500000");  // the rectangle stayed

  dialog.ToolButton(MapWidget::Tool::Rectangle)->click();
  map->SetCenter({8, 8}, 4);
  Drag(map, middle, middle + QPoint(256, 256), {});
  EXPECT_EQ(dialog.Entries().right, "22.500000");

  // A polygon replaces the rectangle; a rectangle, the polygon.
  dialog.ToolButton(MapWidget::Tool::Polygon)->click();
  QTest::mouseClick(map, Qt::LeftButton, {}, middle - QPoint(100, 100));
  EXPECT_FALSE(map->Rectangle());
  EXPECT_FALSE(dialog.Buttons()->button(QDialogButtonBox::Ok)->isEnabled());
  EXPECT_TRUE(dialog.EdgesText().startsWith("Polygon of 1 corners: click the next corner"))
      << dialog.EdgesText().toStdString();
  Drag(map, middle, middle + QPoint(256, 256));
  EXPECT_TRUE(map->Polygon().Empty());
  EXPECT_TRUE(dialog.Buttons()->button(QDialogButtonBox::Ok)->isEnabled());
  dialog.ClearButton()->click();
  EXPECT_FALSE(map->Rectangle());
  EXPECT_FALSE(dialog.Buttons()->button(QDialogButtonBox::Ok)->isEnabled());
}

TEST(PickAreaDialog, OkHandsBackAPolygonAsTheAreaWithItsBoundsAsTheEntriesAndItsTilesOverTheLevels) {
  ScratchFolder folder("pick");
  PickAreaDialog dialog(Offline(), folder / "cache", {}, ZoomLevels(2, 3), kOpenStreetMap);
  dialog.show();
  MapWidget* map = dialog.Map();
  map->SetCenter({1, 1}, 1);  // the world, 512 pixels wide, (0, 0) in the middle
  dialog.ToolButton(MapWidget::Tool::Polygon)->click();
  // The triangle of the picker's arithmetic test: 6 tiles at zoom 2.
  const QPoint corners[] = {map->ScreenAt({-170, 60}).toPoint(), map->ScreenAt({170, 60}).toPoint(),
                            map->ScreenAt({-170, -60}).toPoint()};
  for (const QPoint& corner : corners) QTest::mouseClick(map, Qt::LeftButton, {}, corner);
  QTest::mouseDClick(map, Qt::LeftButton, {}, corners[2]);
  ASSERT_TRUE(map->Polygon().Closed()) << map->Polygon().Corners().size();
  const std::vector<GeoPoint> drawn = map->Polygon().Corners();
  ASSERT_EQ(drawn.size(), 3u);
  EXPECT_NEAR(drawn[1].longitude, 170, 1);
  QPushButton* ok = dialog.Buttons()->button(QDialogButtonBox::Ok);
  ASSERT_TRUE(ok->isEnabled()) << dialog.EdgesText().toStdString();
  const PickCheck expected = CheckPolygonPick(drawn, ZoomLevels(2, 3), kOpenStreetMap);
  ASSERT_TRUE(expected.picked);
  EXPECT_EQ(dialog.EdgesText().toStdString(), "Polygon of 3 corners within Left " + expected.picked->entries.left +
                                                  "   Right " + expected.picked->entries.right + "   Top " +
                                                  expected.picked->entries.top + "   Bottom " +
                                                  expected.picked->entries.bottom);
  EXPECT_EQ(dialog.TilesText().toStdString(), PickTilesText(expected));
  EXPECT_TRUE(dialog.TilesText().contains(" tiles at zooms 2 to 3 (2: ")) << dialog.TilesText().toStdString();

  ok->click();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  const PickedArea picked = dialog.Picked();
  ASSERT_TRUE(picked.area);
  EXPECT_EQ(*picked.area, PolygonArea(map->Polygon().Corners()));
  EXPECT_EQ(picked.entries.left, expected.picked->entries.left);
  EXPECT_EQ(picked.entries.top, expected.picked->entries.top);
}

TEST(PickAreaDialog, StartsFromATasksPolygonButNotFromAnyOtherArea) {
  ScratchFolder folder("pick");
  PickAreaDialog dialog(Offline(), folder / "cache", {"10", "20", "50", "40"}, 8, kOpenStreetMap);
  Area lines;
  lines.lines.push_back({{10, 40}, {20, 50}});
  EXPECT_FALSE(dialog.StartFromArea(lines));
  EXPECT_TRUE(dialog.Map()->Rectangle());
  Area polygon;
  polygon.polygons.push_back({{{10, 40}, {20, 50}, {20, 40}}, {}});
  ASSERT_TRUE(dialog.StartFromArea(polygon));
  EXPECT_FALSE(dialog.Map()->Rectangle());
  EXPECT_TRUE(dialog.Map()->Polygon().Closed());
  ASSERT_TRUE(dialog.Picked().area);
  EXPECT_EQ(*dialog.Picked().area, polygon);
  EXPECT_EQ(dialog.Entries().top, "50.000000");
}

}  // namespace
