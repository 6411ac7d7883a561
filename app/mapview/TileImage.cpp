#include "TileImage.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

namespace {

QImage DecodeFrom(QIODevice* device) {
  QImageReader reader(device);
  reader.setAutoTransform(false);
  const QSize claimed = reader.size();  // read from the header alone
  if (!claimed.isValid() || claimed.width() > kMaxTileImageSide || claimed.height() > kMaxTileImageSide) return {};
  QImage image;
  if (!reader.read(&image)) return {};
  return image;
}

}  // namespace

QImage DecodeTileImage(const QByteArray& bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  if (!buffer.open(QIODevice::ReadOnly)) return {};
  return DecodeFrom(&buffer);
}

QImage DecodeTileFile(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return DecodeFrom(&file);
}
