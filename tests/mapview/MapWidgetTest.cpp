#include <QTest>

#include <gtest/gtest.h>

#include "MapWidget.h"

namespace {

struct WidgetCase {
  int zoom;
  TilePoint center;
  QPoint pixel;
  TileKey tile;
  double longitude, latitude;
};

class WidgetMapping : public testing::TestWithParam<WidgetCase> {};

TEST_P(WidgetMapping, PixelsGiveTilesAndDegreesAndTheCursorShowsThem) {
  const WidgetCase& c = GetParam();
  MapWidget widget;
  widget.resize(800, 600);
  widget.show();
  widget.SetCenter(c.center, c.zoom);
  EXPECT_EQ(widget.TileAt(c.pixel), c.tile);
  const GeoPoint degrees = widget.DegreesAt(c.pixel);
  EXPECT_NEAR(degrees.longitude, c.longitude, 1e-6);
  EXPECT_NEAR(degrees.latitude, c.latitude, 1e-6);
  QTest::mouseMove(&widget, c.pixel);
  const QString text = widget.CursorText();
  EXPECT_TRUE(text.contains(QString::number(c.longitude, 'f', 6))) << text.toStdString();
  EXPECT_TRUE(text.contains(QStringLiteral("Column %1  Row %2  Zoom %3").arg(c.tile.x).arg(c.tile.y).arg(c.zoom)))
      << text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    SeveralZooms, WidgetMapping,
    testing::Values(WidgetCase{1, {1, 1}, {400, 300}, {1, 1, 1}, 0, 0},
                    WidgetCase{1, {1, 1}, {144, 44}, {0, 0, 1}, -180, 85.0511287798066},
                    WidgetCase{3, {4, 4}, {400 - 256, 300}, {3, 4, 3}, -45, 0},
                    WidgetCase{12, {2048.5, 1361.5}, {400, 300}, {2048, 1361, 12}, 0.0439453125, 51.536085601784},
                    WidgetCase{18, {131072, 131072}, {401, 299}, {131072, 131071, 18}, 360.0 / (1 << 26), 5.364418e-06}));

TEST(MapWidgetInput, DragPansWheelZoomsAroundTheCursorKeysPanAndZoom) {
  MapWidget widget;
  widget.resize(800, 600);
  widget.show();
  widget.SetCenter({8, 8}, 4);
  const GeoPoint before = widget.DegreesAt(QPointF(400, 300));

  QTest::mousePress(&widget, Qt::LeftButton, {}, QPoint(400, 300));
  QTest::mouseMove(&widget, QPoint(300, 250));
  QTest::mouseRelease(&widget, Qt::LeftButton, {}, QPoint(300, 250));
  // What lay under the middle now lies where the mouse was let go.
  EXPECT_NEAR(widget.DegreesAt(QPointF(300, 250)).longitude, before.longitude, 1e-9);
  EXPECT_NEAR(widget.DegreesAt(QPointF(300, 250)).latitude, before.latitude, 1e-9);

  const GeoPoint underCursor = widget.DegreesAt(QPointF(100, 100));
  QWheelEvent wheel(QPointF(100, 100), widget.mapToGlobal(QPointF(100, 100)), {}, {0, 120}, Qt::NoButton, {},
                    Qt::NoScrollPhase, false);
  QApplication::sendEvent(&widget, &wheel);
  EXPECT_EQ(widget.View().zoom, 5);
  EXPECT_NEAR(widget.DegreesAt(QPointF(100, 100)).longitude, underCursor.longitude, 1e-9);
  EXPECT_NEAR(widget.DegreesAt(QPointF(100, 100)).latitude, underCursor.latitude, 1e-9);

  const TilePoint center = widget.View().center;
  QTest::keyClick(&widget, Qt::Key_Right);
  EXPECT_DOUBLE_EQ(widget.View().center.x, center.x + double(MapWidget::kArrowStepPixels) / kTilePixels);
  QTest::keyClick(&widget, Qt::Key_Minus);
  QTest::keyClick(&widget, Qt::Key_Minus);
  EXPECT_EQ(widget.View().zoom, 3);
  QTest::keyClick(&widget, Qt::Key_Plus);
  EXPECT_EQ(widget.View().zoom, 4);
}

TEST(MapWidgetInput, AClickNamesTheTileAndShiftDragDrawsTheRectangle) {
  MapWidget widget;
  widget.resize(800, 600);
  widget.show();
  widget.SetCenter({8, 8}, 4);
  std::vector<TileKey> clicked;
  QObject::connect(&widget, &MapWidget::TileClicked, [&](TileKey key, Qt::KeyboardModifiers) { clicked.push_back(key); });
  QTest::mouseClick(&widget, Qt::LeftButton, {}, QPoint(401, 301));
  ASSERT_EQ(clicked.size(), 1u);
  EXPECT_EQ(clicked[0], (TileKey{8, 8, 4}));

  QTest::mousePress(&widget, Qt::LeftButton, Qt::ShiftModifier, QPoint(400, 300));
  QTest::mouseMove(&widget, QPoint(656, 44));
  QTest::mouseRelease(&widget, Qt::LeftButton, Qt::ShiftModifier, QPoint(656, 44));
  ASSERT_TRUE(widget.Rectangle());
  EXPECT_NEAR(widget.Rectangle()->left, 0, 1e-9);
  EXPECT_NEAR(widget.Rectangle()->right, 22.5, 1e-9);
  EXPECT_NEAR(widget.Rectangle()->bottom, 0, 1e-9);
  EXPECT_NEAR(widget.Rectangle()->top, widget.DegreesAt(QPointF(656, 44)).latitude, 1e-9);
  EXPECT_EQ(widget.View().center.x, 8);  // the view stayed where it was
  EXPECT_EQ(clicked.size(), 1u);
}

}  // namespace

namespace {

// Zoom 4 centred on (0, 0): 256 pixels a tile, 22.5 degrees of longitude.
class PolygonInput : public testing::Test {
 protected:
  void SetUp() override {
    widget_.resize(800, 600);
    widget_.show();
    widget_.SetCenter({8, 8}, 4);
    widget_.SetTool(MapWidget::Tool::Polygon);
    QObject::connect(&widget_, &MapWidget::PolygonChanged, [this] { ++edits_; });
  }
  QPoint At(double longitude, double latitude) const { return widget_.ScreenAt({longitude, latitude}).toPoint(); }
  std::vector<GeoPoint> Corners() const { return widget_.Polygon().Corners(); }

  MapWidget widget_;
  int edits_ = 0;
};

TEST_F(PolygonInput, ClicksPlaceCornersADoubleClickClosesAndADragStillPans) {
  std::vector<TileKey> clicked;
  QObject::connect(&widget_, &MapWidget::TileClicked,
                   [&](TileKey key, Qt::KeyboardModifiers) { clicked.push_back(key); });
  QTest::mouseClick(&widget_, Qt::LeftButton, {}, At(0, 0));
  QTest::mouseClick(&widget_, Qt::LeftButton, {}, At(22.5, 0));
  // A drag pans and places nothing.
  const TilePoint before = widget_.View().center;
  QTest::mousePress(&widget_, Qt::LeftButton, {}, QPoint(600, 500));
  QTest::mouseMove(&widget_, QPoint(560, 480));
  QTest::mouseRelease(&widget_, Qt::LeftButton, {}, QPoint(560, 480));
  EXPECT_NE(widget_.View().center.x, before.x);
  ASSERT_EQ(Corners().size(), 2u);
  widget_.SetCenter({8, 8}, 4);
  // The double-click's first click places the last corner, the second closes.
  QTest::mouseClick(&widget_, Qt::LeftButton, {}, At(0, -21.943046));
  QTest::mouseDClick(&widget_, Qt::LeftButton, {}, At(0, -21.943046));
  QTest::mouseRelease(&widget_, Qt::LeftButton, {}, At(0, -21.943046));
  ASSERT_EQ(Corners().size(), 3u);
  EXPECT_TRUE(widget_.Polygon().Closed());
  EXPECT_NEAR(Corners()[1].longitude, 22.5, 1e-9);
  EXPECT_NEAR(Corners()[2].latitude, -21.943046, 1e-5);
  EXPECT_EQ(edits_, 4);
  EXPECT_TRUE(clicked.empty());
  // Closed: a click adds no corner.
  QTest::mouseClick(&widget_, Qt::LeftButton, {}, QPoint(100, 100));
  EXPECT_EQ(Corners().size(), 3u);
}

TEST_F(PolygonInput, ACornerDragsBackspaceRemovesTheLastAndTheFirstCornerCloses) {
  for (const QPoint p : {At(0, 0), At(22.5, 0), At(22.5, -21.943046), At(0, -21.943046)})
    QTest::mouseClick(&widget_, Qt::LeftButton, {}, p);
  ASSERT_EQ(Corners().size(), 4u);
  QTest::keyClick(&widget_, Qt::Key_Backspace);
  ASSERT_EQ(Corners().size(), 3u);
  EXPECT_FALSE(widget_.Polygon().Closed());
  // A click on the first corner closes the polygon and adds nothing.
  QTest::mouseClick(&widget_, Qt::LeftButton, {}, At(0, 0) + QPoint(3, -2));
  ASSERT_TRUE(widget_.Polygon().Closed());
  EXPECT_EQ(Corners().size(), 3u);
  const int edits = edits_;
  // Dragging the second corner moves it and does not pan; one edit when let go.
  const TilePoint center = widget_.View().center;
  QTest::mousePress(&widget_, Qt::LeftButton, {}, At(22.5, 0));
  QTest::mouseMove(&widget_, At(30, 5));
  QTest::mouseMove(&widget_, At(45, 10));
  QTest::mouseRelease(&widget_, Qt::LeftButton, {}, At(45, 10));
  EXPECT_EQ(widget_.View().center.x, center.x);
  EXPECT_NEAR(Corners()[1].longitude, 45, 0.1);
  EXPECT_NEAR(Corners()[1].latitude, 10, 0.1);
  EXPECT_EQ(edits_, edits + 1);
  // Backspace on a closed polygon of three reopens it with two.
  QTest::keyClick(&widget_, Qt::Key_Backspace);
  EXPECT_EQ(Corners().size(), 2u);
  EXPECT_FALSE(widget_.Polygon().Closed());
}

}  // namespace
