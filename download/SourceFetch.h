#pragma once

#include <string>

#include "NetworkSettings.h"
#include "ProxyConfig.h"
#include "SourceImport.h"
#include "TileSource.h"

// The network's side of sources: reading a document or a pasted tile
// address from where the user has it, and trying a source on one tile.

// A file path or an http(s) address. An address whose answer is an image,
// or that ends .pbf or .mvt, is read as a pasted tile address: that one tile
// must pass the whole-image check (the vector one, giving a vector source),
// and a single reading of it is proposed (notes say what was
// assumed: rows from the top, {-y} being the other choice); several
// readings are refused, each listed. Throws SourceImportError with one
// sentence: a file that cannot be read, an address that does not answer, a
// document of another kind.
SourceImport ImportSourcesFrom(const std::string& fileOrAddress, const NetworkSettings& network,
                               const ProxyConfig& proxy);

// Fetches one tile of the source (the middle of its bounds at a zoom in its
// range) through the task's fetch road, and says in a sentence what came:
//   "works: 256×256 PNG, 14 KB"
//   "the server refused the key (403)"
//   "over quota (429)"
//   "not an image: an HTML page"
//   "works: a vector tile (gzip), 3 KB" (a vector source)
// network carries the source's key and headers (SourceNetwork).
struct SourceTestResult {
  bool works = false;
  std::string sentence;
};
SourceTestResult TestSource(const TileSource& source, const NetworkSettings& network, const ProxyConfig& proxy);
