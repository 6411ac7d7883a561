#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "NetworkSettings.h"

class IniFile;

// Where a task's tiles come from, and on what terms: one small INI file a
// source ("sources" beside the configuration), or an entry of the read-only
// catalogue that ships with the program.
//
//   [Source]
//   Name=Topo
//   Template=https://{s}.example.org/{z}/{x}/{y}.png?key={key}
//   MinZoom=0
//   MaxZoom=17
//   Bounds=west,south,east,north        (optional, degrees)
//   Format=png                          (png, jpg, gif, webp; pbf for vector tiles; optional)
//   VectorLayers=[{"id":"roads",...}]   (a vector source's layers as its TileJSON lists them; optional)
//   Attribution=© Example contributors
//   Terms=https://example.org/terms
//   UserAgent=                          (optional; the task's own when empty)
//   MaxThreads=2                        (0: no limit)
//   MaxRequestsPerSecond=2              (0: no limit)
//   MaxTiles=250                        (tiles a task; 0: no limit)
//   BulkDownload=1                      (0: the terms forbid bulk downloading)
//   [Headers]
//   Referer=https://example.org/
//   X-Api-Key={key}
//
// A template's "{key}" and a header value written "{key}" stand for the
// source's key, which is kept apart (SourceKeys.h) and filled in only on
// the wire.

struct SourceBounds {
  double west = -180, south = -85.0511287798066, east = 180, north = 85.0511287798066;
  friend bool operator==(const SourceBounds&, const SourceBounds&) = default;
};

struct TileSource {
  std::string Name;
  std::string Template;  // a whole address template (TileTemplate.h), with {key} where the key goes
  int32_t MinZoom = 0;
  int32_t MaxZoom = 19;
  std::optional<SourceBounds> Bounds;
  std::string Format;  // "png", "jpg", "gif", "webp" or "pbf" (vector tiles); empty: not known
  // The TileJSON's "vector_layers" as compact JSON text; empty: not known.
  std::string VectorLayers;
  std::string Attribution;
  std::string TermsUrl;
  std::string UserAgent;  // empty: the task keeps its own
  RequestHeaders Headers;
  int32_t MaxThreads = 0;
  int32_t MaxRequestsPerSecond = 0;
  int64_t MaxTiles = 0;
  bool BulkDownload = true;
  bool Shipped = false;  // from the catalogue: never written or removed

  friend bool operator==(const TileSource&, const TileSource&) = default;
};

class SourceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr const char* kKeyPlaceholder = "{key}";

// Whether the template or a header asks for the source's key.
bool NeedsKey(const TileSource& source);

// Why a source cannot serve, as a whole sentence naming it: no name, a name
// with a line break, no template or one that names no tile, unknown
// placeholders, a zoom range outside 0..30 or turned over, bounds that are
// no rectangle, a header that cannot be sent.
std::optional<std::string> SourceProblem(const TileSource& source);

// The file text of a source, as described above.
std::string SourceFileText(const TileSource& source);
// Reads a source file; throws SourceError naming the file when it has no
// [Source] Name or Template, or a number that is no number.
TileSource ReadSourceFile(const std::string& path);

// The task's network settings with a source: the source's headers instead
// of the configuration's (they may hold another server's key), its user
// agent when it names one, the lower of the two request rates, the key,
// and vector tiles when its format or template names them.
NetworkSettings SourceNetwork(const TileSource& source, NetworkSettings network, std::string key);

// The same two sections under other names, for a file that holds more
// (a task's project file keeps its source so).
std::string SourceSectionsText(const TileSource& source, const std::string& section, const std::string& headersSection);
TileSource ReadSourceSections(const IniFile& file, const std::string& section, const std::string& headersSection);

// A file name for a source's name: letters, digits, '-' and '_' kept, any
// other byte as '_', with ".ini".
std::string SourceFileName(std::string_view name);
