#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// What a combine is asked and what it answers: the request a front end
// builds from its user's choices, and the summary it shows at the end.

enum class OutputKind { GeoTiff, MBTiles, PMTiles, GeoPackage, SqliteDb, PngWorldImage, JpegWorldImage, TileTree };

// The kinds that keep every tile as its own bytes, several zoom levels in one.
bool IsTileSet(OutputKind kind);

// Every ending that picks a kind, "/" a tile folder. The user manual, the
// manual pages and the completion must name each one (a test holds them to it).
struct OutputEnding {
  const char* ending;
  OutputKind kind;
};
inline constexpr std::array<OutputEnding, 10> kOutputEndings{{
    {".tif", OutputKind::GeoTiff},
    {".tiff", OutputKind::GeoTiff},
    {".mbtiles", OutputKind::MBTiles},
    {".pmtiles", OutputKind::PMTiles},
    {".gpkg", OutputKind::GeoPackage},
    {".sqlitedb", OutputKind::SqliteDb},
    {".png", OutputKind::PngWorldImage},
    {".jpg", OutputKind::JpegWorldImage},
    {".jpeg", OutputKind::JpegWorldImage},
    {"/", OutputKind::TileTree},
}};

// The endings for a message: ".tif, .tiff, ... or /"; the tile sets' alone
// end "... or a folder".
std::string OutputEndingsText();
std::string TileSetEndingsText();

// nullopt for a path whose ending names no kind.
std::optional<OutputKind> OutputKindOf(const std::string& outputPath);

// What a combine is doing, for a progress display: the tiles of the tasks,
// the levels below them, a GeoTIFF's overviews, a mosaic's encoding.
enum class CombineStage { Tiles, LowerLevels, Overviews, Encoding };

// What a progress line puts before its figures in a stage: "" for the
// tasks' tiles, "Lower levels: ", "Overviews: ", "Encoding the image: ".
const char* StageLabel(CombineStage stage);

struct CombineRequest {
  std::vector<std::string> projectFiles;
  std::string outputPath;
  std::string blankImagePath;  // tiles with exactly these bytes are no data
  bool force = false;          // replace an existing output
  // How the front end lets the user replace an existing output, for the refusal.
  std::string replaceHint = "give --force";
  bool overviews = false;      // GeoTIFF only
  // GeoTIFF and PNG or JPEG images only: pixels outside the task's area (its
  // rectangle's entries when it has none) become no data, not just the tiles
  // outside. Refused for a tile set, which holds whole tiles.
  bool clip = false;
  // Tile sets only: build every level from the tasks' lowest zoom down to this one.
  std::optional<int32_t> minZoom;
  // Tile sets only: 512 writes 512-pixel tiles, each of the level above the
  // tasks' made of its four tiles side by side, and the levels below from
  // those (down to minZoom, else that level alone); the tasks' own tiles are
  // not written.
  int32_t tileSize = 256;
  // Lower levels built from palette PNGs are palette PNGs of at most 256 colours too.
  bool palette = false;
  // The tile server's terms, recorded where the output has a place for them;
  // when empty, Hosts.Attribution of configPath (if given) is taken.
  std::string attribution;
  std::string configPath;
  // The zoom levels the map type offers; unset allows every level the grid has.
  std::function<bool(int32_t mapsType, int32_t zoom)> zoomAllowed;
  // Called now and then with the steps done (tiles, lower tiles, a share of
  // the overviews or the encoding); false cancels.
  std::function<bool(int64_t done, int64_t total)> progress;
  // Called when a new stage begins.
  std::function<void(CombineStage stage)> stage;
  // One line per tile that is no data because it is damaged or of a wrong size.
  std::function<void(const std::string& line)> report;
};

struct CombineSummary {
  int64_t dataTiles = 0;    // the tasks' own tiles written
  int64_t lowerTiles = 0;   // tiles built for the levels below the tasks
  int64_t noDataTiles = 0;  // missing or blank
  int64_t badTiles = 0;     // reported
  // A tile set of one format (MBTiles) that holds both: how many of each.
  int64_t mixedPngTiles = 0, mixedJpegTiles = 0;
  // The tiles' side; a set of 512-pixel tiles holds built tiles only (lowerTiles).
  int32_t tileSize = 256;
};

// What the user of a front end chose: quarnel-cli reads it from its words,
// the combiner window from its controls.
struct CombineChoices {
  std::vector<std::string> projectFiles;
  std::string outputPath;
  bool force = false;
  bool overviews = false;
  bool clip = false;  // cut a GeoTIFF or image to the task's area
  std::optional<int32_t> minZoom = std::nullopt;
  int32_t tileSize = 256;
  bool palette = false;
};

// The request for these choices, with what only the front end knows: the
// blank tile beside its executable, the configuration the attribution is read
// from (empty: none) and the zoom levels its map types offer.
CombineRequest CombineRequestFor(const CombineChoices& choices, const std::string& blankImagePath,
                                 const std::string& configPath,
                                 std::function<bool(int32_t mapsType, int32_t zoom)> zoomAllowed);

// The closing line of a written output: "1200 tiles written to OUT, 30
// without data, 0 bad." The lower levels' tiles follow when some were built,
// or always when minZoom names the level they went down to; then the counts
// of an MBTiles that mixes PNG and JPEG. A set of 512-pixel tiles says
// "2550 tiles of 512 pixels written to OUT, 0 without data, 0 bad."
std::string CombineSummaryText(const CombineSummary& summary, const std::string& outputPath,
                               std::optional<int32_t> minZoom = std::nullopt);
