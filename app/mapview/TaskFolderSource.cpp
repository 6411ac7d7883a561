#include "TaskFolderSource.h"

#include "TileImage.h"

TaskFolderSource::TaskFolderSource(TaskScan scan, QByteArray blankImage, std::size_t decodedCapacity,
                                   QObject* parent)
    : MapLayerSource(parent),
      states_(std::move(scan.states)),
      coverage_(states_),
      blank_(DecodeTileImage(blankImage)),
      decoded_(decodedCapacity) {
  try {
    tiles_ = OpenViewedTiles(states_.Extent(), blankImage.toStdString());
  } catch (const std::exception&) {
    // A store the scan has said why of; its tiles show as undecodable.
  }
  RebuildCoverageImage();
}

QImage TaskFolderSource::DecodeSaved(int32_t x, int32_t y) const {
  if (!states_.Extent().inOneFile) return DecodeTileFile(QString::fromStdString(states_.Extent().FilePath(x, y)));
  std::string bytes, problem;
  if (!tiles_ || tiles_->Read(x, y, bytes, problem) != SavedTile::Data) return {};
  return DecodeTileImage(QByteArray::fromStdString(bytes));
}

QColor TaskFolderSource::StateColour(TileState state) {
  switch (state) {
    case TileState::Saved: return QColor(0x43, 0xa0, 0x47);
    case TileState::Blank: return QColor(0x90, 0x90, 0x90);
    case TileState::Failed: return QColor(0xe5, 0x39, 0x35);
    case TileState::Missing: break;
  }
  return QColor(0xff, 0xd5, 0x4f);
}

void TaskFolderSource::RebuildCoverageImage() {
  coverageImage_ = QImage(coverage_.Columns(), coverage_.Rows(), QImage::Format_Indexed8);
  // Cells a little see-through, so the map under the task shows its place.
  QList<QRgb> colours;
  for (std::size_t i = 0; i < kTileStateCount; ++i) {
    QColor colour = StateColour(static_cast<TileState>(i));
    colour.setAlpha(kCoverageAlpha);
    colours.append(colour.rgba());
  }
  colours.append(qRgba(0, 0, 0, 0));  // CoverageGrid::kNoTaskCell
  coverageImage_.setColorTable(colours);
  for (int32_t row = 0; row < coverage_.Rows(); ++row) {
    uchar* line = coverageImage_.scanLine(row);
    for (int32_t column = 0; column < coverage_.Columns(); ++column)
      line[column] = static_cast<uchar>(coverage_.At(column, row));
  }
}

void TaskFolderSource::Retain(const TileRange&, int) {
  decodesLeft_ = kDecodesPerPaint;
  morePending_ = false;
}

QImage TaskFolderSource::Image(int32_t x, int32_t topRow, int zoom) {
  const TaskExtent& extent = states_.Extent();
  if (zoom != extent.zoom) return {};
  const int32_t y = ServiceRow(topRow, zoom, extent.origin);
  const TileState state = states_.At(x, y);
  if (!extent.Inside(x, y) || state == TileState::Missing) return {};
  if (state != TileState::Saved) return blank_;
  if (extent.vector) return {};  // not drawn: the overlay gives its state
  const TileKey key{x, y, zoom};
  if (const QImage* image = decoded_.Find(key)) return *image;
  if (undecodable_.contains({x, y})) return {};
  if (decodesLeft_ <= 0) {
    if (!morePending_) {
      morePending_ = true;
      QTimer::singleShot(0, this, &MapLayerSource::Changed);
    }
    return {};
  }
  --decodesLeft_;
  QImage image = DecodeSaved(x, y);
  if (image.isNull()) {
    undecodable_.insert({x, y});
    return {};
  }
  decoded_.Put(key, image);
  return image;
}

QColor TaskFolderSource::Overlay(int32_t x, int32_t topRow, int zoom) {
  const TaskExtent& extent = states_.Extent();
  const int32_t y = ServiceRow(topRow, zoom, extent.origin);
  if (zoom != extent.zoom || !extent.Inside(x, y)) return {};
  const TileState state = states_.At(x, y);
  if (state == TileState::Saved && !undecodable_.contains({x, y}) && !extent.vector) return {};
  QColor colour = state == TileState::Saved && !extent.vector ? UndecodableColour() : StateColour(state);
  colour.setAlpha(state == TileState::Missing ? 90 : 120);
  return colour;
}

QColor TaskFolderSource::Border(int32_t x, int32_t topRow, int zoom) {
  const TaskExtent& extent = states_.Extent();
  const int32_t y = ServiceRow(topRow, zoom, extent.origin);
  if (zoom != extent.zoom || !extent.Inside(x, y)) return {};
  const TileState state = states_.At(x, y);
  return state == TileState::Saved && undecodable_.contains({x, y}) ? UndecodableColour() : StateColour(state);
}

QImage TaskFolderSource::Coverage(QRectF* covers) {
  const double step = coverage_.Step();
  *covers = QRectF(coverage_.FirstColumn(), coverage_.FirstTopRow(), coverage_.Columns() * step,
                   coverage_.Rows() * step);
  return coverageImage_;
}

void TaskFolderSource::SetState(int32_t x, int32_t y, TileState state) {
  if (!states_.Extent().Inside(x, y)) return;
  states_.Set(x, y, state);
  decoded_.Erase({x, y, states_.Extent().zoom});
  undecodable_.erase({x, y});
  coverage_.Update(states_, x, y);
  const int32_t topRow = ServiceRow(y, states_.Extent().zoom, states_.Extent().origin);
  const int32_t column = (x - coverage_.FirstColumn()) / coverage_.Step();
  const int32_t row = (topRow - coverage_.FirstTopRow()) / coverage_.Step();
  coverageImage_.setPixel(column, row, static_cast<uint>(coverage_.At(column, row)));
  emit Changed();
}
