#include "PMTilesFormat.h"

#include <zlib.h>

#include <cmath>
#include <cstdio>

#include "CombineError.h"

namespace {

void PutVarint(std::string& out, uint64_t value) {
  while (value >= 0x80) {
    out += static_cast<char>((value & 0x7F) | 0x80);
    value >>= 7;
  }
  out += static_cast<char>(value);
}

void PutLittleEndian(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Degrees as PMTiles stores them: ten-millionths in a signed 32-bit number.
void PutDegrees(std::string& out, double degrees) {
  const auto value = static_cast<int32_t>(std::lround(degrees * 1e7));
  PutLittleEndian(out, static_cast<uint32_t>(value), 4);
}

}  // namespace

std::string PMTilesHeaderBytes(const PMTilesHeader& h) {
  std::string out = "PMTiles";
  out += static_cast<char>(3);
  for (const uint64_t value : {h.rootOffset, h.rootLength, h.metadataOffset, h.metadataLength, h.leavesOffset,
                               h.leavesLength, h.dataOffset, h.dataLength, h.addressedTiles, h.tileEntries,
                               h.tileContents})
    PutLittleEndian(out, value, 8);
  out += static_cast<char>(h.clustered ? 1 : 0);
  out += static_cast<char>(2);  // internal compression: gzip
  out += static_cast<char>(h.gzipTiles ? 2 : 1);  // tile compression: gzip or none
  out += static_cast<char>(h.tileType);
  out += static_cast<char>(h.minZoom);
  out += static_cast<char>(h.maxZoom);
  PutDegrees(out, h.west);
  PutDegrees(out, h.south);
  PutDegrees(out, h.east);
  PutDegrees(out, h.north);
  out += static_cast<char>(h.centerZoom);
  PutDegrees(out, h.centerLongitude);
  PutDegrees(out, h.centerLatitude);
  return out;
}

std::string PMTilesDirectoryBytes(const std::vector<PMTilesEntry>& entries) {
  std::string out;
  PutVarint(out, entries.size());
  uint64_t lastId = 0;
  for (const PMTilesEntry& entry : entries) {
    PutVarint(out, entry.tileId - lastId);
    lastId = entry.tileId;
  }
  for (const PMTilesEntry& entry : entries) PutVarint(out, entry.runLength);
  for (const PMTilesEntry& entry : entries) PutVarint(out, entry.length);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const bool follows = i > 0 && entries[i].offset == entries[i - 1].offset + entries[i - 1].length;
    PutVarint(out, follows ? 0 : entries[i].offset + 1);
  }
  return out;
}

std::string Gzip(std::string_view bytes) {
  z_stream stream{};
  // 15 window bits, +16 for a gzip wrapper instead of zlib's.
  if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    throw CombineError("Cannot compress a PMTiles directory: out of memory.");
  std::string out(deflateBound(&stream, bytes.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  if (result != Z_STREAM_END) throw CombineError("Cannot compress a PMTiles directory.");
  return out;
}
