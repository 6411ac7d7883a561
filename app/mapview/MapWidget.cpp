#include "MapWidget.h"

#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

ScreenPoint ToScreen(QPointF p) { return {p.x(), p.y()}; }

constexpr double kClickSlop = 4;  // pixels a click may wander

}  // namespace

MapWidget::MapWidget(QWidget* parent) : QWidget(parent), attribution_(new QLabel(this)) {
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(200, 150);
  setAttribute(Qt::WA_OpaquePaintEvent);
  SetTool(Tool::Pan);
  attribution_->setObjectName("Attribution");
  attribution_->setTextFormat(Qt::PlainText);
  attribution_->setStyleSheet("background: rgba(255, 255, 255, 210); color: black; padding: 2px 6px;");
  // It lies over the map: clicks and drags go through to the map.
  attribution_->setAttribute(Qt::WA_TransparentForMouseEvents);
  attribution_->hide();
}

void MapWidget::SetAttribution(const QString& text) {
  attributionText_ = text.trimmed();
  PlaceAttribution();
}

void MapWidget::PlaceAttribution() {
  // A long text keeps to half the map, leaving room for the cursor's line.
  attribution_->setText(
      attribution_->fontMetrics().elidedText(attributionText_, Qt::ElideRight, std::max(60, width() / 2)));
  attribution_->adjustSize();
  attribution_->move(width() - attribution_->width(), height() - attribution_->height());
  attribution_->setVisible(!attributionText_.isEmpty());
}

void MapWidget::SetSource(MapLayerSource* source) {
  if (source_) disconnect(source_, nullptr, this, nullptr);
  source_ = source;
  if (source_) connect(source_, &MapLayerSource::Changed, this, qOverload<>(&QWidget::update));
  update();
}

void MapWidget::SetBackdrop(MapLayerSource* backdrop) {
  if (backdrop_) disconnect(backdrop_, nullptr, this, nullptr);
  backdrop_ = backdrop;
  if (backdrop_) connect(backdrop_, &MapLayerSource::Changed, this, qOverload<>(&QWidget::update));
  update();
}

void MapWidget::SetTool(Tool tool) {
  tool_ = tool;
  setCursor(tool == Tool::Pan ? Qt::OpenHandCursor : Qt::CrossCursor);
}

int MapWidget::TileZoom() const { return source_ ? source_->TileZoom(view_.zoom) : view_.zoom; }

RowOrigin MapWidget::Origin() const { return source_ ? source_->Origin() : RowOrigin::FromTop; }

void MapWidget::SetCenter(TilePoint center, int zoom) {
  Viewport view = view_;
  view.center = center;
  view.zoom = std::clamp(zoom, 0, kMaxViewZoom);
  Move(PanBy(view, 0, 0));
}

void MapWidget::FitTo(GeoPoint northWest, GeoPoint southEast, int maxZoom) {
  Move(FitRectangle(northWest, southEast, std::max(width(), 1), std::max(height(), 1), maxZoom));
}

void MapWidget::Move(const Viewport& view) {
  view_ = view;
  view_.width = width();
  view_.height = height();
  update();
  emit ViewChanged();
}

void MapWidget::SetRectangle(std::optional<AreaPick> area) {
  rectangle_ = area;
  update();
}

void MapWidget::SetPolygon(PolygonSketch polygon) {
  polygon_ = std::move(polygon);
  update();
}

void MapWidget::SetOutline(Area outline) {
  outline_ = std::move(outline);
  update();
}

void MapWidget::SetHighlight(const TileRange& range) {
  highlight_ = range;
  update();
}

void MapWidget::SetMarkedTile(std::optional<TileKey> tile) {
  marked_ = tile;
  update();
}

GeoPoint MapWidget::DegreesAt(QPointF position) const {
  return TilePointToDegrees(ScreenToTilePoint(view_, ToScreen(position)), view_.zoom);
}

QPointF MapWidget::ScreenAt(GeoPoint degrees) const {
  const ScreenPoint p = TilePointToScreen(view_, DegreesToTilePoint(degrees, view_.zoom));
  return {p.x, p.y};
}

TileKey MapWidget::TileAt(QPointF position) const { return TileUnder(view_, ToScreen(position), TileZoom(), Origin()); }

QRectF MapWidget::OnScreen(const AreaPick& area) const {
  return QRectF(ScreenAt({area.left, area.top}), ScreenAt({area.right, area.bottom}));
}

QRectF MapWidget::TileOnScreen(int32_t x, int32_t topRow, int tileZoom) const {
  const ScreenPoint corner = TileCornerOnScreen(view_, x, topRow, tileZoom);
  const double size = TileScreenSize(view_, tileZoom);
  return QRectF(corner.x, corner.y, size, size);
}

QString MapWidget::NoteText() const {
  if (source_ && !source_->Note().isEmpty()) return source_->Note();
  if (backdrop_ && !backdrop_->Note().isEmpty()) return QStringLiteral("Live map: ") + backdrop_->Note();
  return {};
}

std::optional<std::size_t> MapWidget::CornerAt(QPointF position) const {
  std::vector<ScreenPoint> corners;
  for (const GeoPoint& corner : polygon_.Corners()) corners.push_back(ToScreen(ScreenAt(corner)));
  return CornerNear(corners, ToScreen(position), kCornerGrabPixels);
}

void MapWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Move(view_);
  PlaceAttribution();
}

void MapWidget::mousePressEvent(QMouseEvent* event) {
  pressAt_ = lastAt_ = event->position();
  moved_ = false;
  drag_ = Drag::Panning;
  if (event->button() != Qt::LeftButton) return;
  if (tool_ == Tool::Rectangle || event->modifiers() & Qt::ShiftModifier) {
    drag_ = Drag::Rectangle;
    rectangleAnchor_ = DegreesAt(pressAt_);
  } else if (const std::optional<std::size_t> corner = CornerAt(pressAt_)) {
    drag_ = Drag::Corner;
    grabbedCorner_ = *corner;
  }
  if (drag_ == Drag::Panning && tool_ == Tool::Pan) setCursor(Qt::ClosedHandCursor);
}

void MapWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPointF at = event->position();
  hovering_ = true;
  if (drag_ != Drag::None && QLineF(pressAt_, at).length() > kClickSlop) moved_ = true;
  if (drag_ == Drag::Panning && moved_) {
    Move(PanBy(view_, lastAt_.x() - at.x(), lastAt_.y() - at.y()));
  } else if (drag_ == Drag::Rectangle && moved_) {
    rectangle_ = AreaBetween(rectangleAnchor_, DegreesAt(at));
    emit RectangleChanged(*rectangle_);
  } else if (drag_ == Drag::Corner && moved_) {
    polygon_.Move(grabbedCorner_, DegreesAt(at));
  } else if (drag_ == Drag::None) {
    UpdateCursorShape(at);
  }
  lastAt_ = at;
  UpdateCursorText(at);
  update();
}

void MapWidget::mouseReleaseEvent(QMouseEvent* event) {
  const Drag was = drag_;
  drag_ = Drag::None;
  UpdateCursorShape(event->position());
  if (was == Drag::None) return;
  if (!moved_) {
    if (event->button() == Qt::LeftButton && was == Drag::Corner) {
      // A click on the first corner closes the polygon; on another, it adds none on top of it.
      if (tool_ == Tool::Polygon && grabbedCorner_ == 0 && polygon_.Close()) emit PolygonChanged();
    } else if (event->button() == Qt::LeftButton && tool_ == Tool::Polygon && was == Drag::Panning) {
      if (polygon_.Add(DegreesAt(event->position()))) emit PolygonChanged();
    } else {
      emit TileClicked(TileAt(event->position()), event->modifiers());
    }
  } else if (was == Drag::Rectangle) {
    rectangle_ = AreaBetween(rectangleAnchor_, DegreesAt(event->position()));
    emit RectangleChanged(*rectangle_);
  } else if (was == Drag::Corner) {
    emit PolygonChanged();
  }
  update();
}

void MapWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  // The double-click's first click placed the last corner; the second closes.
  if (tool_ != Tool::Polygon || event->button() != Qt::LeftButton) {
    QWidget::mouseDoubleClickEvent(event);
    return;
  }
  if (polygon_.Close()) emit PolygonChanged();
  update();
}

void MapWidget::wheelEvent(QWheelEvent* event) {
  wheelRest_ += event->angleDelta().y();
  const int steps = wheelRest_ / 120;
  if (steps == 0) return;
  wheelRest_ -= steps * 120;
  Move(ZoomAround(view_, view_.zoom + steps, ToScreen(event->position())));
  UpdateCursorText(event->position());
}

void MapWidget::keyPressEvent(QKeyEvent* event) {
  const ScreenPoint middle{width() / 2.0, height() / 2.0};
  switch (event->key()) {
    case Qt::Key_Left: Move(PanBy(view_, -kArrowStepPixels, 0)); break;
    case Qt::Key_Right: Move(PanBy(view_, kArrowStepPixels, 0)); break;
    case Qt::Key_Up: Move(PanBy(view_, 0, -kArrowStepPixels)); break;
    case Qt::Key_Down: Move(PanBy(view_, 0, kArrowStepPixels)); break;
    case Qt::Key_Plus:
    case Qt::Key_Equal: Move(ZoomAround(view_, view_.zoom + 1, middle)); break;
    case Qt::Key_Minus: Move(ZoomAround(view_, view_.zoom - 1, middle)); break;
    case Qt::Key_Backspace:
      // Not while a corner is held: the one dragged might be the one removed.
      if (drag_ == Drag::Corner || !polygon_.RemoveLast()) {
        QWidget::keyPressEvent(event);
        return;
      }
      emit PolygonChanged();
      update();
      break;
    default: QWidget::keyPressEvent(event); return;
  }
}

void MapWidget::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  hovering_ = false;
  cursorText_.clear();
  update();
}

void MapWidget::UpdateCursorShape(QPointF position) {
  if (CornerAt(position)) {
    setCursor(Qt::SizeAllCursor);
  } else {
    setCursor(tool_ == Tool::Pan ? Qt::OpenHandCursor : Qt::CrossCursor);
  }
}

void MapWidget::UpdateCursorText(QPointF position) {
  const GeoPoint degrees = DegreesAt(position);
  const TileKey tile = TileAt(position);
  cursorText_ = QStringLiteral("Longitude %1  Latitude %2    Column %3  Row %4  Zoom %5")
                    .arg(degrees.longitude, 0, 'f', 6)
                    .arg(degrees.latitude, 0, 'f', 6)
                    .arg(tile.x)
                    .arg(tile.y)
                    .arg(tile.zoom);
}
