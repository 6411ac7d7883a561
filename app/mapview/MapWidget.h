#pragma once

#include <QPointer>
#include <QWidget>

#include <optional>

#include "AreaPick.h"
#include "MapGeometry.h"
#include "TileSource.h"

// A tile grid at any position and scale over a TileSource. Dragging pans
// (or draws the rectangle), the wheel zooms around the cursor, the arrow
// keys pan and + / - zoom; the cursor's degrees and tile show at the bottom.
// All the arithmetic is in MapGeometry; this class draws and takes input.
class MapWidget : public QWidget {
  Q_OBJECT
 public:
  enum class LeftDrag { Pans, DrawsRectangle };
  // Below this size on screen tiles give way to the source's coverage cells.
  static constexpr double kMinDrawnTilePixels = 64;
  static constexpr int kArrowStepPixels = 64;

  explicit MapWidget(QWidget* parent = nullptr);

  void SetSource(TileSource* source);
  TileSource* Source() const { return source_; }
  // Shift with the left button always draws the rectangle.
  void SetLeftDrag(LeftDrag mode) { leftDrag_ = mode; }

  const Viewport& View() const { return view_; }
  void SetCenter(TilePoint center, int zoom);
  // The deepest view (up to maxZoom) that shows the rectangle.
  void FitTo(GeoPoint northWest, GeoPoint southEast, int maxZoom = kMaxViewZoom);

  // The user's rectangle (picked area or selection).
  std::optional<AreaPick> Rectangle() const { return rectangle_; }
  void SetRectangle(std::optional<AreaPick> area);
  // A rectangle drawn as a frame only (a task's area).
  void SetOutline(std::optional<AreaPick> area);
  // Tiles drawn as selected, at the source's tile zoom, rows from the top.
  void SetHighlight(const TileRange& range);

  GeoPoint DegreesAt(QPointF position) const;
  // The tile under a position at the source's tile zoom, row in its service's count.
  TileKey TileAt(QPointF position) const;
  QString CursorText() const { return cursorText_; }

 signals:
  // While the rectangle is dragged and when it is let go.
  void RectangleChanged(AreaPick area);
  void TileClicked(TileKey key, Qt::KeyboardModifiers modifiers);
  void ViewChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  enum class Drag { None, Panning, Rectangle };
  int TileZoom() const;
  void Move(const Viewport& view);
  void UpdateCursorText(QPointF position);
  QRectF OnScreen(const AreaPick& area) const;
  void DrawTiles(QPainter& painter, int tileZoom);
  void DrawCoverage(QPainter& painter, int tileZoom);
  void DrawBand(QPainter& painter, const QString& text, bool top);

  QPointer<TileSource> source_;
  LeftDrag leftDrag_ = LeftDrag::Pans;
  Viewport view_{{1, 1}, 1, 0, 0};
  Drag drag_ = Drag::None;
  QPointF pressAt_, lastAt_;
  bool moved_ = false;
  GeoPoint rectangleAnchor_;
  std::optional<AreaPick> rectangle_, outline_;
  TileRange highlight_;
  QString cursorText_;
  int wheelRest_ = 0;
};
