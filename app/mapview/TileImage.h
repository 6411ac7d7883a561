#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Tiles are small; a file whose header claims more than this per side is
// refused before any pixel is decoded.
inline constexpr int kMaxTileImageSide = 4096;

// The decoded tile, or a null image for bytes that are no image, or claim a
// size beyond kMaxTileImageSide.
QImage DecodeTileImage(const QByteArray& bytes);
QImage DecodeTileFile(const QString& path);
