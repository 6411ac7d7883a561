#pragma once

#include <QPointer>
#include <QWidget>

class QLabel;

#include <optional>

#include "Area.h"
#include "AreaPick.h"
#include "MapGeometry.h"
#include "PolygonSketch.h"
#include "MapLayerSource.h"

// A tile grid at any position and scale over a MapLayerSource, optionally over
// a dimmed backdrop (the live map under a task). Dragging pans, the wheel
// zooms around the cursor, the arrow keys pan and + / - zoom; the cursor's
// degrees and tile show at the bottom. Shift and drag, or the rectangle
// tool, draws a rectangle; with the polygon tool a click places a corner
// and a double-click (or a click on the first corner) closes the polygon,
// while a drag still pans. A corner can be dragged to move it, and
// Backspace removes the last one.
//
// All the arithmetic is in the map library (MapGeometry, AreaOutline,
// PolygonSketch); this class draws and takes input.
class MapWidget : public QWidget {
  Q_OBJECT
 public:
  enum class Tool { Pan, Rectangle, Polygon };
  // Below this size on screen tiles give way to the source's coverage cells.
  static constexpr double kMinDrawnTilePixels = 64;
  static constexpr int kArrowStepPixels = 64;
  // How near a corner a press grabs it.
  static constexpr double kCornerGrabPixels = 8;
  // The backdrop is dimmed by a white veil of this alpha.
  static constexpr int kBackdropVeil = 120;

  explicit MapWidget(QWidget* parent = nullptr);

  void SetSource(MapLayerSource* source);
  MapLayerSource* Source() const { return source_; }
  // Drawn under the source, at the view's own zoom, dimmed; null for none.
  void SetBackdrop(MapLayerSource* backdrop);
  MapLayerSource* Backdrop() const { return backdrop_; }
  void SetTool(Tool tool);
  Tool CurrentTool() const { return tool_; }

  const Viewport& View() const { return view_; }
  void SetCenter(TilePoint center, int zoom);
  // The deepest view (up to maxZoom) that shows the rectangle.
  void FitTo(GeoPoint northWest, GeoPoint southEast, int maxZoom = kMaxViewZoom);

  // The user's rectangle (picked area or selection).
  std::optional<AreaPick> Rectangle() const { return rectangle_; }
  void SetRectangle(std::optional<AreaPick> area);
  // The user's polygon, being drawn or closed.
  const PolygonSketch& Polygon() const { return polygon_; }
  void SetPolygon(PolygonSketch polygon);
  // A task's area (or rectangle) drawn as a line only; an empty area draws none.
  void SetOutline(Area outline);
  const Area& Outline() const { return outline_; }
  // Tiles drawn as selected, at the source's tile zoom, rows from the top.
  void SetHighlight(const TileRange& range);
  // The clicked tile, its row in the source's service count.
  void SetMarkedTile(std::optional<TileKey> tile);
  std::optional<TileKey> MarkedTile() const { return marked_; }

  GeoPoint DegreesAt(QPointF position) const;
  // The tile under a position at the source's tile zoom, row in its service's count.
  TileKey TileAt(QPointF position) const;
  QPointF ScreenAt(GeoPoint degrees) const;
  QString CursorText() const { return cursorText_; }
  // The line at the top: why tiles cannot be shown; empty when all is well.
  QString NoteText() const;
  // The tile server's terms, in the lower right corner over the map; empty shows none.
  void SetAttribution(const QString& text);

 signals:
  // While the rectangle is dragged and when it is let go.
  void RectangleChanged(AreaPick area);
  // After each edit of the polygon: a corner placed, moved (when let go) or
  // removed, or the polygon closed.
  void PolygonChanged();
  void TileClicked(TileKey key, Qt::KeyboardModifiers modifiers);
  void ViewChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  enum class Drag { None, Panning, Rectangle, Corner };
  int TileZoom() const;
  RowOrigin Origin() const;
  void Move(const Viewport& view);
  void UpdateCursorText(QPointF position);
  void UpdateCursorShape(QPointF position);
  std::optional<std::size_t> CornerAt(QPointF position) const;
  void Clicked(QMouseEvent* event);
  QRectF OnScreen(const AreaPick& area) const;
  QRectF TileOnScreen(int32_t x, int32_t topRow, int tileZoom) const;
  void PlaceAttribution();

  // Painting, in MapWidgetPaint.cpp, in the order drawn.
  void DrawBackdrop(QPainter& painter, const QRectF& world);
  void DrawTiles(QPainter& painter, int tileZoom);
  void DrawCoverage(QPainter& painter, int tileZoom);
  void DrawOutline(QPainter& painter);
  void DrawSelection(QPainter& painter, int tileZoom);
  void DrawPolygon(QPainter& painter);
  void DrawMarkedTile(QPainter& painter);
  void DrawBand(QPainter& painter, const QString& text, bool top);

  QPointer<MapLayerSource> source_;
  QPointer<MapLayerSource> backdrop_;
  Tool tool_ = Tool::Pan;
  Viewport view_{{1, 1}, 1, 0, 0};
  Drag drag_ = Drag::None;
  QPointF pressAt_, lastAt_;
  bool moved_ = false;
  bool hovering_ = false;
  GeoPoint rectangleAnchor_;
  std::size_t grabbedCorner_ = 0;
  std::optional<AreaPick> rectangle_;
  PolygonSketch polygon_;
  Area outline_;
  TileRange highlight_;
  std::optional<TileKey> marked_;
  QString cursorText_;
  QString attributionText_;
  QLabel* attribution_;
  int wheelRest_ = 0;
};
