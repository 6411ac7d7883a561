// How the map widget draws itself, bottom to top: the grid's ground, the
// dimmed backdrop, the source's tiles (or its coverage cells when they are
// too small to see), the outline, the selection, the polygon being drawn,
// the clicked tile, then the lines of text.
#include <QPainter>
#include <QPainterPath>

#include "AreaOutline.h"
#include "MapColours.h"
#include "MapWidget.h"

namespace {

QPointF ToQt(ScreenPoint p) { return {p.x, p.y}; }

QPainterPath PathOf(const OutlineInView& outline) {
  QPainterPath path;
  for (const ScreenPath& line : outline.paths) {
    path.moveTo(ToQt(line.points.front()));
    for (std::size_t i = 1; i < line.points.size(); ++i) path.lineTo(ToQt(line.points[i]));
  }
  return path;
}

std::vector<LonLat> LonLats(const std::vector<GeoPoint>& points) {
  std::vector<LonLat> out;
  for (const GeoPoint& p : points) out.push_back({p.longitude, p.latitude});
  return out;
}

constexpr double kPointRadius = 4;
constexpr double kCornerHandle = 4;  // half the side of a corner's square

}  // namespace

void MapWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor(0xe4, 0xe4, 0xe4));
  const double side = GridSide(view_.zoom) * kTilePixels;
  const QRectF world(ToQt(TilePointToScreen(view_, {0, 0})), QSizeF(side, side));
  painter.fillRect(world, Qt::white);
  if (backdrop_) DrawBackdrop(painter, world);
  const int tileZoom = TileZoom();
  if (source_ && TileScreenSize(view_, tileZoom) >= kMinDrawnTilePixels) {
    DrawTiles(painter, tileZoom);
  } else {
    if (source_) source_->Retain(TileRange{}, tileZoom);
    DrawCoverage(painter, tileZoom);
  }
  painter.setRenderHint(QPainter::Antialiasing);
  DrawOutline(painter);
  DrawSelection(painter, tileZoom);
  DrawPolygon(painter);
  DrawMarkedTile(painter);
  painter.setRenderHint(QPainter::Antialiasing, false);
  if (const QString note = NoteText(); !note.isEmpty()) DrawBand(painter, note, true);
  if (!cursorText_.isEmpty()) DrawBand(painter, cursorText_, false);
}

void MapWidget::DrawBackdrop(QPainter& painter, const QRectF& world) {
  const TileRange range = VisibleTiles(view_);
  backdrop_->Retain(range, view_.zoom);
  for (int32_t y = range.minY; !range.Empty() && y <= range.maxY; ++y)
    for (int32_t x = range.minX; x <= range.maxX; ++x) {
      const QImage image = backdrop_->Image(x, y, view_.zoom);
      if (!image.isNull()) painter.drawImage(TileOnScreen(x, y, view_.zoom), image);
    }
  painter.fillRect(world, QColor(255, 255, 255, kBackdropVeil));
}

void MapWidget::DrawTiles(QPainter& painter, int tileZoom) {
  const TileRange range = VisibleTilesAtZoom(view_, tileZoom);
  source_->Retain(range, tileZoom);
  painter.setBrush(Qt::NoBrush);
  for (int32_t y = range.minY; !range.Empty() && y <= range.maxY; ++y) {
    for (int32_t x = range.minX; x <= range.maxX; ++x) {
      const QRectF cell = TileOnScreen(x, y, tileZoom);
      const QImage image = source_->Image(x, y, tileZoom);
      if (!image.isNull()) painter.drawImage(cell, image);
      const QColor overlay = source_->Overlay(x, y, tileZoom);
      if (overlay.isValid()) painter.fillRect(cell, overlay);
      const QColor border = source_->Border(x, y, tileZoom);
      if (border.isValid()) {
        painter.setPen(QPen(border, 2));
        painter.drawRect(cell.adjusted(1.5, 1.5, -1.5, -1.5));
      }
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
  if (backdrop_) return;  // the map under it shows where it is
  // The view's own grid, for orientation.
  const TileRange range = VisibleTiles(view_);
  painter.setPen(QPen(QColor(0xb0, 0xb0, 0xb0), 1));
  painter.setBrush(Qt::NoBrush);
  for (int32_t y = range.minY; !range.Empty() && y <= range.maxY; ++y)
    for (int32_t x = range.minX; x <= range.maxX; ++x) painter.drawRect(TileOnScreen(x, y, view_.zoom));
}

void MapWidget::DrawOutline(QPainter& painter) {
  if (outline_.Empty()) return;
  const OutlineInView outline = OutlineOf(outline_, view_);
  const QPainterPath path = PathOf(outline);
  painter.setBrush(Qt::NoBrush);
  for (const auto& [colour, width] : {std::pair{MapColours::OutlineHalo(), 5.0}, {MapColours::Outline(), 2.0}}) {
    painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(path);
    for (const ScreenPoint& point : outline.points) painter.drawEllipse(ToQt(point), kPointRadius, kPointRadius);
  }
}

void MapWidget::DrawSelection(QPainter& painter, int tileZoom) {
  QColor fill = MapColours::Selection();
  fill.setAlpha(40);
  if (!highlight_.Empty()) {
    painter.setPen(QPen(MapColours::Selection(), 2));
    painter.setBrush(fill);
    painter.drawRect(TileOnScreen(highlight_.minX, highlight_.minY, tileZoom)
                         .united(TileOnScreen(highlight_.maxX, highlight_.maxY, tileZoom)));
  }
  if (rectangle_) {
    painter.setPen(QPen(MapColours::Selection(), 2));
    painter.setBrush(fill);
    painter.drawRect(OnScreen(*rectangle_));
  }
}

void MapWidget::DrawPolygon(QPainter& painter) {
  if (polygon_.Empty()) return;
  const std::vector<LonLat> corners = LonLats(polygon_.Corners());
  Area drawn;
  if (polygon_.Closed()) {
    drawn.polygons.push_back({corners, {}});
  } else if (corners.size() > 1) {
    drawn.lines.push_back(corners);
  }
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(MapColours::Selection(), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.drawPath(PathOf(OutlineOf(drawn, view_)));
  // While it is drawn, a line from the last corner to the pointer.
  if (!polygon_.Closed() && hovering_ && tool_ == Tool::Polygon && drag_ == Drag::None) {
    const GeoPoint at = DegreesAt(lastAt_);
    painter.setPen(QPen(MapColours::Selection(), 1, Qt::DashLine));
    painter.drawPath(PathOf(OutlineOfLine({corners.back(), {at.longitude, at.latitude}}, view_)));
  }
  const QRectF inView = QRectF(rect()).adjusted(-kCornerHandle, -kCornerHandle, kCornerHandle, kCornerHandle);
  for (std::size_t i = 0; i < corners.size(); ++i) {
    const QPointF at = ScreenAt(polygon_.Corners()[i]);
    if (!inView.contains(at)) continue;
    // The first corner is round: a click on it closes the polygon.
    painter.setPen(QPen(MapColours::Selection(), 2));
    painter.setBrush(Qt::white);
    const QRectF handle(at.x() - kCornerHandle, at.y() - kCornerHandle, 2 * kCornerHandle, 2 * kCornerHandle);
    if (i == 0) {
      painter.drawEllipse(handle.adjusted(-1, -1, 1, 1));
    } else {
      painter.drawRect(handle);
    }
  }
}

void MapWidget::DrawMarkedTile(QPainter& painter) {
  if (!marked_) return;
  const int32_t topRow = ServiceRow(marked_->y, marked_->zoom, Origin());
  QRectF cell = TileOnScreen(marked_->x, topRow, marked_->zoom);
  // A tile too small to see still gets a mark a few pixels across.
  if (cell.width() < 8) cell = QRectF(cell.center() - QPointF(4, 4), QSizeF(8, 8));
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(QColor(0, 0, 0, 160), 5));
  painter.drawRect(cell);
  painter.setPen(QPen(MapColours::MarkedTile(), 3));
  painter.drawRect(cell);
}

void MapWidget::DrawBand(QPainter& painter, const QString& text, bool top) {
  const QFontMetrics metrics(font());
  const int height = metrics.height() + 6;
  const QRect band(0, top ? 0 : this->height() - height, width(), height);
  painter.fillRect(band, QColor(255, 255, 255, 210));
  painter.setPen(top ? QColor(0xb0, 0x00, 0x00) : Qt::black);
  painter.drawText(band.adjusted(6, 0, -6, 0), Qt::AlignVCenter | Qt::AlignLeft, text);
}
