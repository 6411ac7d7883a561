#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Vector tiles (MVT): a protobuf message whose every top-level field is a
// layer, usually gzip-compressed by the server. A task keeps the bodies as
// they came: gzip stays gzip, and a server's "Content-Encoding: gzip" is
// never decoded on the way (the client asks for no encoding and decodes
// none), so a tile file holds the bytes the server sent.

enum class TaskTileFormat { Raster, Mvt };

// "raster" or "mvt", as the project file and the configuration write it.
const char* TaskTileFormatName(TaskTileFormat format);
// "mvt" and "pbf" name vector tiles, "raster", "image" and "" images; nullopt for anything else.
std::optional<TaskTileFormat> TaskTileFormatNamed(std::string_view name);
// A source's Format ("pbf", "mvt") or a tile address ending .pbf or .mvt.
bool NamesVectorTiles(std::string_view formatOrAddress);

// The file ending of a vector task's tiles.
inline constexpr const char* kVectorTileEnding = "pbf";

bool IsGzip(std::string_view bytes);
// The whole content of one gzip member that fills bytes, at most maxBytes
// long; nullopt for a stream cut short, damaged or inflating beyond it.
std::optional<std::string> InflateGzip(std::string_view bytes, int64_t maxBytes);

// nullopt for a vector tile: empty (an empty tile holds no layer), raw
// protobuf whose top-level fields are all layers (field 3, length-delimited,
// each a well-formed message with a name), or gzip that inflates whole
// within maxBytes to such a message. Else why not, a fixed text without
// digits, as the image check gives it.
std::optional<std::string_view> VectorTileBodyProblem(std::string_view bytes, int64_t maxBytes);

// The names of a vector tile's layers in their order (gzip inflated
// first); empty for a body that is no vector tile.
std::vector<std::string> VectorTileLayerNames(std::string_view bytes, int64_t maxBytes);
