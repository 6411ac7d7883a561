#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>

#include <string>

#include "TestFiles.h"

// A small PNG of one colour, as a tile file holds it.
inline QByteArray PngOfColour(const QColor& colour, int side = 256) {
  QImage image(side, side, QImage::Format_RGB32);
  image.fill(colour);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes;
}

inline std::string ProjectText(int mapsType, const std::string& left, const std::string& right,
                               const std::string& top, const std::string& bottom, int zoom) {
  return "[MapsType]\r\nMapsType=" + std::to_string(mapsType) + "\r\n\r\n[AREA]\r\nLeftLongitude=" + left +
         "\r\nRightLongitude=" + right + "\r\nTopLatitude=" + top + "\r\nBottomLatitude=" + bottom +
         "\r\n\r\n[Zoom]\r\nZoom=" + std::to_string(zoom) + "\r\n\r\n[THREADS]\r\nThreadCount=1\r\n";
}
