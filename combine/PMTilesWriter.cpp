#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <vector>

#include "CombineError.h"
#include "OutputPath.h"
#include "PMTilesFormat.h"
#include "RecentContents.h"
#include "TileSet.h"
#include "UniqueFd.h"

// A PMTiles archive written in one pass at flat memory. Tiles arrive in tile
// id order and their bytes go straight to the tile data section, which
// starts at the first fetch's end (16 KiB), so the header and root directory
// can be written in front of it at the end, whatever their size. Entries
// gather in a leaf directory of fixed size; each full leaf is compressed
// into a scratch file beside the output, and the root points at the
// leaves. The metadata and the leaves follow the tile data. A tile whose
// bytes equal the one before at the next id lengthens that entry's run;
// bytes seen recently elsewhere (the sea, blank land) point at their first
// copy instead of being stored again.

namespace {

constexpr std::size_t kWriteBuffer = std::size_t{1} << 20;

// Appends through a buffer and writes at places; every failure names the file.
class OutputFile {
 public:
  explicit OutputFile(std::string path) : path_(std::move(path)) {
    fd_.Reset(::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (!fd_) Fail("create");
  }
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  const std::string& Path() const { return path_; }
  uint64_t End() const { return end_ + buffer_.size(); }
  void SeekEnd(uint64_t end) {
    Flush();
    end_ = end;
  }
  void Append(std::string_view bytes) {
    buffer_.append(bytes);
    if (buffer_.size() >= kWriteBuffer) Flush();
  }
  void WriteAt(uint64_t at, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::pwrite(fd_.Get(), bytes.data() + done, bytes.size() - done, static_cast<off_t>(at + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) Fail("write");
      done += static_cast<std::size_t>(n);
    }
  }
  std::string ReadAt(uint64_t at, std::size_t length) {
    Flush();
    std::string bytes(length, '\0');
    std::size_t done = 0;
    while (done < length) {
      const ssize_t n = ::pread(fd_.Get(), bytes.data() + done, length - done, static_cast<off_t>(at + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) Fail("read back");
      done += static_cast<std::size_t>(n);
    }
    return bytes;
  }
  void Flush() {
    WriteAt(end_, buffer_);
    end_ += buffer_.size();
    buffer_.clear();
  }
  void Sync() {
    Flush();
    if (::fsync(fd_.Get()) != 0) Fail("write");
  }

 private:
  [[noreturn]] void Fail(const char* action) const {
    throw CombineError("Cannot " + std::string(action) + " " + path_ + ": " + std::strerror(errno) + ".");
  }
  std::string path_;
  UniqueFd fd_;
  uint64_t end_ = 0;
  std::string buffer_;
};

const char* FormatLabel(TileFormat format) { return format == TileFormat::Jpeg ? "JPEG" : "PNG"; }

class PMTilesSink : public TileSink {
 public:
  PMTilesSink(const std::string& target, uint64_t mostTiles)
      : archive_(TemporaryBeside(target)),
        leaves_(TemporaryBeside(target)),
        out_(archive_.Path()),
        leafOut_(leaves_.Path()),
        // Enough entries per leaf that the root, one entry per leaf, fits the first fetch.
        leafSize_(std::max<uint64_t>(4096, mostTiles / 1500 + 1)) {
    out_.SeekEnd(kPMTilesFirstFetch);
  }

  bool NeedsIdOrder() const override { return true; }

  void Put(const PyramidTile& place, std::string_view bytes, TileFormat format, const std::string& sourceFile) override {
    if (type_ == TileFormat::Unknown) type_ = format;
    if (format != type_)
      throw CombineError(std::string("The tiles mix PNG and JPEG") +
                         (sourceFile.empty() ? "" : " (" + sourceFile + " is " + FormatLabel(format) + ")") +
                         ": a PMTiles archive holds one kind. Write .mbtiles, .gpkg or a folder instead.");
    const uint64_t id = HilbertTileId(place);
    if (addressed_ > 0 && id <= lastId_) throw CombineError("Tiles reached the PMTiles writer out of order.");
    lastId_ = id;
    ++addressed_;
    minZoom_ = std::min(minZoom_, place.zoom);
    maxZoom_ = std::max(maxZoom_, place.zoom);
    if (!leaf_.empty()) {
      PMTilesEntry& last = leaf_.back();
      if (id == last.tileId + last.runLength && bytes == lastBytes_) {
        ++last.runLength;
        return;
      }
    }
    AddEntry({id, Store(bytes), static_cast<uint32_t>(bytes.size()), 1});
    lastBytes_.assign(bytes);
  }

  void Finish(const TileSetFacts& facts) override {
    if (addressed_ == 0)
      throw CombineError("None of the tiles holds data, and a PMTiles archive needs at least one.");
    const uint64_t dataLength = out_.End() - kPMTilesFirstFetch;
    std::string root;
    if (rootEntries_.empty()) {
      root = Gzip(PMTilesDirectoryBytes(leaf_));
      if (kPMTilesHeaderBytes + root.size() > kPMTilesFirstFetch) {
        FlushLeaf();
        root.clear();
      }
    } else {
      FlushLeaf();
    }
    if (root.empty()) root = Gzip(PMTilesDirectoryBytes(rootEntries_));
    if (kPMTilesHeaderBytes + root.size() > kPMTilesFirstFetch)
      throw CombineError("Too many tiles for one PMTiles archive's root directory.");

    PMTilesHeader header = HeaderOf(facts);
    header.rootOffset = kPMTilesHeaderBytes;
    header.rootLength = root.size();
    header.dataOffset = kPMTilesFirstFetch;
    header.dataLength = dataLength;
    const std::string metadata = Gzip(MetadataJson(facts));
    header.metadataOffset = out_.End();
    header.metadataLength = metadata.size();
    out_.Append(metadata);
    header.leavesOffset = out_.End();
    header.leavesLength = leavesLength_;
    for (uint64_t at = 0; at < leavesLength_; at += kWriteBuffer)
      out_.Append(leafOut_.ReadAt(at, static_cast<std::size_t>(std::min<uint64_t>(kWriteBuffer, leavesLength_ - at))));
    out_.Flush();
    out_.WriteAt(0, PMTilesHeaderBytes(header) + root);
    out_.Sync();
  }

  void MoveInto(const std::string& target) override { archive_.MoveInto(target); }

 private:
  // Where bytes lie in the tile data section: a remembered copy, else new.
  uint64_t Store(std::string_view bytes) {
    if (const auto offset = stored_.Find(bytes, [&](uint64_t at) {
          return out_.ReadAt(kPMTilesFirstFetch + at, bytes.size()) == bytes;
        }))
      return *offset;
    const uint64_t offset = out_.End() - kPMTilesFirstFetch;
    out_.Append(bytes);
    ++contents_;
    stored_.Remember(bytes, offset);
    return offset;
  }

  void AddEntry(const PMTilesEntry& entry) {
    if (leaf_.size() >= leafSize_) FlushLeaf();
    leaf_.push_back(entry);
    ++entries_;
  }

  void FlushLeaf() {
    if (leaf_.empty()) return;
    const std::string leaf = Gzip(PMTilesDirectoryBytes(leaf_));
    rootEntries_.push_back({leaf_.front().tileId, leavesLength_, static_cast<uint32_t>(leaf.size()), 0});
    leafOut_.Append(leaf);
    leavesLength_ += leaf.size();
    leaf_.clear();
  }

  PMTilesHeader HeaderOf(const TileSetFacts& facts) const {
    PMTilesHeader header;
    header.addressedTiles = addressed_;
    header.tileEntries = entries_;
    header.tileContents = contents_;
    header.tileType = type_ == TileFormat::Jpeg ? PMTilesTileType::Jpeg
                      : type_ == TileFormat::Mvt ? PMTilesTileType::Mvt
                                                 : PMTilesTileType::Png;
    header.gzipTiles = facts.gzipTiles;
    header.minZoom = static_cast<uint8_t>(minZoom_);
    header.maxZoom = static_cast<uint8_t>(maxZoom_);
    header.centerZoom = header.minZoom;
    header.west = facts.west;
    header.south = facts.south;
    header.east = facts.east;
    header.north = facts.north;
    header.centerLongitude = (facts.west + facts.east) / 2;
    header.centerLatitude = (facts.south + facts.north) / 2;
    return header;
  }

  std::string MetadataJson(const TileSetFacts& facts) const {
    std::string json = "{\"name\":" + JsonString(facts.name) + ",\"format\":" + JsonString(TileFormatName(type_)) +
                       ",\"type\":\"baselayer\",\"bounds\":" + JsonString(BoundsText(facts)) +
                       ",\"center\":" + JsonString(CenterText(facts)) +
                       ",\"minzoom\":" + JsonString(std::to_string(minZoom_)) +
                       ",\"maxzoom\":" + JsonString(std::to_string(maxZoom_));
    if (type_ != TileFormat::Mvt) json += ",\"tilesize\":" + JsonString(std::to_string(facts.tileSize));
    if (!facts.attribution.empty()) json += ",\"attribution\":" + JsonString(facts.attribution);
    if (!facts.vectorLayers.empty()) json += ",\"vector_layers\":" + facts.vectorLayers;
    return json + "}";
  }

  TemporaryOutput archive_, leaves_;
  OutputFile out_, leafOut_;
  const uint64_t leafSize_;
  TileFormat type_ = TileFormat::Unknown;
  uint64_t lastId_ = 0, addressed_ = 0, entries_ = 0, contents_ = 0, leavesLength_ = 0;
  int32_t minZoom_ = 99, maxZoom_ = 0;
  std::vector<PMTilesEntry> leaf_, rootEntries_;
  std::string lastBytes_;
  RecentContents stored_;
};

}  // namespace

std::unique_ptr<TileSink> MakePMTilesSink(const std::string& target, uint64_t mostTiles) {
  return std::make_unique<PMTilesSink>(target, mostTiles);
}
