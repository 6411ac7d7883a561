#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "TileSource.h"

// Sources read from the documents users already have: a TileJSON, a WMTS
// capabilities document, the XYZ connections file QGIS exports, or a tile
// address copied from a browser. Reading only: fetching the document or the
// tile is download/SourceFetch.h's.

// A document that gives no source, with one sentence saying why ("The
// tile matrix set 'WGS84' is in EPSG:4326; only the EPSG:3857 quad tree
// of 256-pixel tiles can be downloaded.").
class SourceImportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct SourceImport {
  std::vector<TileSource> sources;
  // What the document also held and was not taken, a phrase each
  // ("layer 'ortho' (tile matrix set 'WGS84' is in EPSG:4326)").
  std::vector<std::string> leftOut;
  // What was assumed, a sentence each.
  std::vector<std::string> notes;
  // The key taken out of each source's address (TakeKeysOut), in the
  // order of sources; empty for a source whose address held none.
  std::vector<std::string> keys;
};

enum class SourceDocumentKind { TileJson, WmtsCapabilities, QgisConnections, Unknown };
SourceDocumentKind SniffSourceDocument(std::string_view text);

// documentAddress resolves relative addresses and names the source when
// the document does not; it may be a file path. Each throws
// SourceImportError when the document is not of its kind or gives no source.
SourceImport ImportTileJson(std::string_view text, const std::string& documentAddress);
SourceImport ImportWmtsCapabilities(std::string_view text, const std::string& documentAddress);
SourceImport ImportQgisConnections(std::string_view text);
// Any of the three, by SniffSourceDocument; another kind is refused.
SourceImport ImportSourceDocument(std::string_view text, const std::string& documentAddress);

// One way of reading a pasted tile address: the template it gives and the
// tile it names.
struct TileAddressReading {
  std::string Template;
  int32_t zoom = 0, x = 0, y = 0;
  std::string how;  // "the query's z, x and y", ".../tile/{z}/{y}/{x}", "the path's last three numbers"
};
// Every reading that keeps to the grid (x and y below 2^z), best first:
// named query parameters, then known layouts, then the path's last three
// numbers as z/x/y. Empty when none does.
std::vector<TileAddressReading> ReadTileAddress(std::string_view address);

// Replaces a key written into an address (key=, api_key=, apikey=,
// access_token=, token=) by {key}; the value taken out goes to key.
std::string TakeKeyOut(std::string_view address, std::string& key);
// The same for every source's template, and for a header that carries a
// key (a name with "key" or "token" in it, "Authorization: Bearer ..."),
// each source's key to import.keys.
void TakeKeysOut(SourceImport& import);

// Names every source can be kept under: line breaks and blanks around
// gone, '=', '[' and ']' (which the key file cannot hold) as '-', '(' and
// ')', an empty name as fallback, and a name that comes twice numbered.
void MakeNamesUsable(SourceImport& import, const std::string& fallback);
