#include "MapWidget.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

namespace {

ScreenPoint ToScreen(QPointF p) { return {p.x(), p.y()}; }
QPointF ToQt(ScreenPoint p) { return {p.x, p.y}; }

constexpr double kClickSlop = 4;  // pixels a click may wander

}  // namespace

MapWidget::MapWidget(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(200, 150);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void MapWidget::SetSource(TileSource* source) {
  if (source_) disconnect(source_, nullptr, this, nullptr);
  source_ = source;
  if (source_) connect(source_, &TileSource::Changed, this, qOverload<>(&QWidget::update));
  update();
}

int MapWidget::TileZoom() const { return source_ ? source_->TileZoom(view_.zoom) : view_.zoom; }

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

void MapWidget::SetOutline(std::optional<AreaPick> area) {
  outline_ = area;
  update();
}

void MapWidget::SetHighlight(const TileRange& range) {
  highlight_ = range;
  update();
}

GeoPoint MapWidget::DegreesAt(QPointF position) const {
  return TilePointToDegrees(ScreenToTilePoint(view_, ToScreen(position)), view_.zoom);
}

TileKey MapWidget::TileAt(QPointF position) const {
  return TileUnder(view_, ToScreen(position), TileZoom(), source_ ? source_->Origin() : RowOrigin::FromTop);
}

QRectF MapWidget::OnScreen(const AreaPick& area) const {
  const auto corner = [&](double lon, double lat) {
    return ToQt(TilePointToScreen(view_, DegreesToTilePoint({lon, lat}, view_.zoom)));
  };
  return QRectF(corner(area.left, area.top), corner(area.right, area.bottom));
}

void MapWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(0xe4, 0xe4, 0xe4));
  const int tileZoom = TileZoom();
  const double side = GridSide(view_.zoom) * kTilePixels;
  const QPointF world = ToQt(TilePointToScreen(view_, {0, 0}));
  painter.fillRect(QRectF(world, QSizeF(side, side)), Qt::white);
  if (source_ && TileScreenSize(view_, tileZoom) >= kMinDrawnTilePixels) {
    DrawTiles(painter, tileZoom);
  } else {
    if (source_) source_->Retain(TileRange{}, tileZoom);
    DrawCoverage(painter, tileZoom);
  }
  if (outline_) {
    painter.setPen(QPen(QColor(0xd0, 0x00, 0x00), 2));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(OnScreen(*outline_));
  }
  if (!highlight_.Empty()) {
    const double size = TileScreenSize(view_, tileZoom);
    const QPointF corner = ToQt(TileCornerOnScreen(view_, highlight_.minX, highlight_.minY, tileZoom));
    painter.setPen(QPen(QColor(0xff, 0xb3, 0x00), 3));
    painter.setBrush(QColor(0xff, 0xb3, 0x00, 50));
    painter.drawRect(QRectF(corner, QSizeF((highlight_.maxX - highlight_.minX + 1) * size,
                                           (highlight_.maxY - highlight_.minY + 1) * size)));
  }
  if (rectangle_) {
    painter.setPen(QPen(QColor(0x15, 0x65, 0xc0), 2));
    painter.setBrush(QColor(0x15, 0x65, 0xc0, 40));
    painter.drawRect(OnScreen(*rectangle_));
  }
  if (source_ && !source_->Note().isEmpty()) DrawBand(painter, source_->Note(), true);
  if (!cursorText_.isEmpty()) DrawBand(painter, cursorText_, false);
}

void MapWidget::DrawTiles(QPainter& painter, int tileZoom) {
  const TileRange range = VisibleTilesAtZoom(view_, tileZoom);
  source_->Retain(range, tileZoom);
  const double size = TileScreenSize(view_, tileZoom);
  painter.setPen(QPen(QColor(0xc8, 0xc8, 0xc8), 1));
  for (int32_t y = range.minY; !range.Empty() && y <= range.maxY; ++y) {
    for (int32_t x = range.minX; x <= range.maxX; ++x) {
      const QRectF cell(ToQt(TileCornerOnScreen(view_, x, y, tileZoom)), QSizeF(size, size));
      const QImage image = source_->Image(x, y, tileZoom);
      if (!image.isNull()) painter.drawImage(cell, image);
      const QColor overlay = source_->Overlay(x, y, tileZoom);
      if (overlay.isValid()) painter.fillRect(cell, overlay);
      painter.setBrush(Qt::NoBrush);
      painter.drawRect(cell);
    }
  }
}

void MapWidget::DrawCoverage(QPainter& painter, int tileZoom) {
  QRectF covers;
  const QImage cells = source_ ? source_->Coverage(&covers) : QImage();
  if (!cells.isNull()) {
    const double size = TileScreenSize(view_, tileZoom) / kTilePixels;
    const auto corner = [&](double x, double y) { return ToQt(TilePointToScreen(view_, {x * size, y * size})); };
    painter.drawImage(QRectF(corner(covers.left(), covers.top()), corner(covers.right(), covers.bottom())), cells);
  }
  // The view's own grid, for orientation.
  const TileRange range = VisibleTiles(view_);
  painter.setPen(QPen(QColor(0xb0, 0xb0, 0xb0), 1));
  painter.setBrush(Qt::NoBrush);
  for (int32_t y = range.minY; !range.Empty() && y <= range.maxY; ++y)
    for (int32_t x = range.minX; x <= range.maxX; ++x)
      painter.drawRect(QRectF(ToQt(TileCornerOnScreen(view_, x, y, view_.zoom)), QSizeF(kTilePixels, kTilePixels)));
}

void MapWidget::DrawBand(QPainter& painter, const QString& text, bool top) {
  const QFontMetrics metrics(font());
  const int height = metrics.height() + 6;
  const QRect band(0, top ? 0 : this->height() - height, width(), height);
  painter.fillRect(band, QColor(255, 255, 255, 210));
  painter.setPen(top ? QColor(0xb0, 0x00, 0x00) : Qt::black);
  painter.drawText(band.adjusted(6, 0, -6, 0), Qt::AlignVCenter | Qt::AlignLeft, text);
}

void MapWidget::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Move(view_);
}

void MapWidget::mousePressEvent(QMouseEvent* event) {
  pressAt_ = lastAt_ = event->position();
  moved_ = false;
  const bool rectangle = event->button() == Qt::LeftButton &&
                         (leftDrag_ == LeftDrag::DrawsRectangle || event->modifiers() & Qt::ShiftModifier);
  if (rectangle) {
    drag_ = Drag::Rectangle;
    rectangleAnchor_ = DegreesAt(pressAt_);
  } else {
    drag_ = Drag::Panning;
  }
}

void MapWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPointF at = event->position();
  if (drag_ != Drag::None && QLineF(pressAt_, at).length() > kClickSlop) moved_ = true;
  if (drag_ == Drag::Panning && moved_) {
    Move(PanBy(view_, lastAt_.x() - at.x(), lastAt_.y() - at.y()));
  } else if (drag_ == Drag::Rectangle && moved_) {
    rectangle_ = AreaBetween(rectangleAnchor_, DegreesAt(at));
    emit RectangleChanged(*rectangle_);
  }
  lastAt_ = at;
  UpdateCursorText(at);
  update();
}

void MapWidget::mouseReleaseEvent(QMouseEvent* event) {
  const Drag was = drag_;
  drag_ = Drag::None;
  if (was == Drag::None) return;
  if (!moved_) {
    emit TileClicked(TileAt(event->position()), event->modifiers());
  } else if (was == Drag::Rectangle) {
    rectangle_ = AreaBetween(rectangleAnchor_, DegreesAt(event->position()));
    emit RectangleChanged(*rectangle_);
  }
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
    default: QWidget::keyPressEvent(event); return;
  }
}

void MapWidget::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  cursorText_.clear();
  update();
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
