#include "TileListWriter.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "AtomicFile.h"
#include "MapServices.h"
#include "TextFormat.h"
#include "TaskTileRange.h"
#include "TileSelection.h"

namespace {

std::size_t Put(char* out, std::string_view text) {
  std::memcpy(out, text.data(), text.size());
  return text.size();
}

std::size_t PutInteger(char* out, int64_t value) {
  return static_cast<std::size_t>(std::to_chars(out, out + 24, value).ptr - out);
}

}  // namespace

TileListWriter::TileListWriter(const TaskTileRange& range, int32_t zoom, int32_t mapsType, const TileSelection* inside)
    : range_(range), inside_(inside), zoom_(static_cast<uint8_t>(zoom)), origin_(RowOriginOf(mapsType)) {
  const MapService* service = FindMapService(mapsType);
  namePrefix_ = std::string(service ? service->filePrefix : "") + "_";
  nameSuffix_ = "_" + std::to_string(zoom) + "." + (service ? service->fileExtension : "") + ": ";

  const int64_t gridLines = int64_t{range.MaxY} - range.MinY + 2;
  if (gridLines <= 0 || gridLines > kMaxCachedGridLines) return;
  std::string latitudes(static_cast<std::size_t>(gridLines) * kLatitudeSlot, ' ');
  std::vector<uint8_t> lengths(static_cast<std::size_t>(gridLines));
  char text[kFixed20_14MaxChars];
  for (int64_t i = 0; i < gridLines; ++i) {
    const std::size_t length = GridLineLatitude(text, range.MinY + i);
    if (length > kLatitudeSlot) return;  // not a latitude any more; format per tile instead
    std::memcpy(&latitudes[static_cast<std::size_t>(i) * kLatitudeSlot], text, length);
    lengths[static_cast<std::size_t>(i)] = static_cast<uint8_t>(length);
  }
  cachedLatitudes_ = std::move(latitudes);
  cachedLengths_ = std::move(lengths);
}

std::size_t TileListWriter::GridLineLatitude(char* out, int64_t k) const {
  const int64_t index = k - range_.MinY;
  if (!cachedLengths_.empty() && index >= 0 && index < static_cast<int64_t>(cachedLengths_.size())) {
    const auto i = static_cast<std::size_t>(index);
    return Put(out, std::string_view(&cachedLatitudes_[i * kLatitudeSlot], cachedLengths_[i]));
  }
  return FormatFixed20_14(out, RowToLatitude(static_cast<double>(k), zoom_, origin_));
}

// The file name's head: "os_8_".
std::size_t TileListWriter::ColumnPart(char* out, int64_t x) const {
  std::size_t n = Put(out, namePrefix_);
  n += PutInteger(out + n, x);
  out[n++] = '_';
  return n;
}

// The row and the file name's tail: "5_4.png: ".
std::size_t TileListWriter::RowPart(char* out, int64_t y) const {
  std::size_t n = PutInteger(out, y);
  n += Put(out + n, nameSuffix_);
  return n;
}

std::string TileListWriter::Line(int32_t x, int32_t y) const {
  char line[kMaxLine];
  std::size_t n = ColumnPart(line, x);
  n += RowPart(line + n, y);
  n += FormatFixed20_14(line + n, static_cast<double>(ColumnToLongitude(x, zoom_)));
  line[n++] = ' ';
  n += FormatFixed20_14(line + n, static_cast<double>(ColumnToLongitude(static_cast<double>(x) + 1, zoom_)));
  line[n++] = ' ';
  const bool fromTop = origin_ == RowOrigin::FromTop;
  n += GridLineLatitude(line + n, fromTop ? y : int64_t{y} + 1);
  line[n++] = ' ';
  n += GridLineLatitude(line + n, fromTop ? int64_t{y} + 1 : y);
  return std::string(line, n);
}

void TileListWriter::Write(const std::string& path) const {
  AtomicFileWriter out(path);
  Write(out, nullptr);
  out.Commit();
}

int64_t TileListBytesUpperBound(const TaskTileRange& range, int32_t mapsType, int32_t zoom) {
  const auto digits = [](int64_t value) { return static_cast<int64_t>(std::to_string(value).size()); };
  const int64_t name = static_cast<int64_t>(BuildTileFileName(mapsType, 0, 0, zoom).size()) - 2 +
                       std::max(digits(range.MinX), digits(range.MaxX)) +
                       std::max(digits(range.MinY), digits(range.MaxY));
  // ": ", four edges of 20 characters (no longitude or latitude needs more), three blanks, CR LF.
  const int64_t line = name + 2 + 4 * 20 + 3 + 2;
  const int64_t tiles = range.TotalTiles;
  return static_cast<int64_t>(std::string_view(kTileListHeader).size()) + 2 + tiles * line;
}

void TileListWriter::Write(AtomicFileWriter& out, const std::atomic<bool>* cancel) const {
  out.Append(kTileListHeader);
  out.Append(kCrLf);
  if (inside_) {
    int64_t column = int64_t{range_.MinX} - 1;
    inside_->ForEachRun([&](int32_t x, int32_t firstY, int32_t lastY) {
      if (x != column && cancel && cancel->load()) throw TaskSetupCancelled();
      column = x;
      WriteRows(out, x, firstY, lastY);
    });
    return;
  }
  for (int64_t x = range_.MinX; x <= range_.MaxX; ++x) {
    if (cancel && cancel->load()) throw TaskSetupCancelled();
    WriteRows(out, x, range_.MinY, range_.MaxY);
  }
}

// The lines of rows firstY..lastY of column x.
void TileListWriter::WriteRows(AtomicFileWriter& out, int64_t x, int64_t firstY, int64_t lastY) const {
  const bool fromTop = origin_ == RowOrigin::FromTop;
  char head[64];
  char longitudes[2 * kFixed20_14MaxChars + 2];
  char line[kMaxLine];
  const std::size_t headLength = ColumnPart(head, x);
  std::size_t lonLength = FormatFixed20_14(longitudes, static_cast<double>(ColumnToLongitude(x, zoom_)));
  longitudes[lonLength++] = ' ';
  lonLength += FormatFixed20_14(longitudes + lonLength, static_cast<double>(ColumnToLongitude(x + 1, zoom_)));
  longitudes[lonLength++] = ' ';

  for (int64_t y = firstY; y <= lastY; ++y) {
    std::size_t n = Put(line, std::string_view(head, headLength));
    n += RowPart(line + n, y);
    n += Put(line + n, std::string_view(longitudes, lonLength));
    n += GridLineLatitude(line + n, fromTop ? y : y + 1);
    line[n++] = ' ';
    n += GridLineLatitude(line + n, fromTop ? y + 1 : y);
    n += Put(line + n, kCrLf);
    out.Append(std::string_view(line, n));
  }
}
