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

void Drag(QWidget* map, QPoint from, QPoint to) {
  QTest::mousePress(map, Qt::LeftButton, {}, from);
  QTest::mouseMove(map, (from + to) / 2);
  QTest::mouseMove(map, to);
  QTest::mouseRelease(map, Qt::LeftButton, {}, to);
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

}  // namespace
