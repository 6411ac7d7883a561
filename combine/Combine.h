#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// Turns finished tasks into one output a map program reads. The output's kind
// comes from its path; everything is checked before the first byte is
// written, and the output appears whole under its name or not at all.

enum class OutputKind { GeoTiff, MBTiles, PngWorldImage, JpegWorldImage, TileTree };

// nullopt for a path whose ending names no kind.
std::optional<OutputKind> OutputKindOf(const std::string& outputPath);

// A refusal or a failure, with a message for the user. Nothing was left behind.
class CombineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The checks passed but writing failed (a full disk, a vanished folder).
class CombineWriteFailure : public CombineError {
 public:
  using CombineError::CombineError;
};

class CombineCancelled : public CombineError {
 public:
  CombineCancelled() : CombineError("Cancelled: nothing was written.") {}
};

struct CombineRequest {
  std::vector<std::string> projectFiles;
  std::string outputPath;
  std::string blankImagePath;  // tiles with exactly these bytes are no data
  bool force = false;          // replace an existing output
  // How the front end lets the user replace an existing output, for the refusal.
  std::string replaceHint = "give --force";
  bool overviews = false;      // GeoTIFF only
  // The zoom levels the map type offers; unset allows every level the grid has.
  std::function<bool(int32_t mapsType, int32_t zoom)> zoomAllowed;
  // Called now and then with the tiles done; false cancels.
  std::function<bool(int64_t done, int64_t total)> progress;
  // One line per tile that is no data because it is damaged or of a wrong size.
  std::function<void(const std::string& line)> report;
};

struct CombineSummary {
  int64_t dataTiles = 0;
  int64_t noDataTiles = 0;  // missing or blank
  int64_t badTiles = 0;     // reported
};

// Throws CombineError (CombineCancelled when progress said stop).
CombineSummary Combine(const CombineRequest& request);

// The world file and the .prj written beside a PNG or JPEG mosaic.
std::vector<std::string> WorldImageSidecars(const std::string& imagePath);

// The largest side of a PNG or JPEG mosaic; larger ones are for GeoTIFF.
inline constexpr int64_t kMaxWorldImageSide = 30000;
