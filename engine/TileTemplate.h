#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Commonfunc.h"

// The placeholders a tile host or address template may hold, replaced in one
// pass for one tile:
//
//   {x} {y} {z}        column, row (as the service counts it) and zoom
//   {-y}               the row counted from the south, as TMS endpoints number it
//   {n}                the host number, the row mod 4
//   {s}                a subdomain: a, b or c
//   {switch:A,B,...}   one of the given texts
//   {q}                the quadkey, one digit per level from the top
//   {bbox}             the tile's EPSG:3857 bounds, minx,miny,maxx,maxy
//   {width} {height}   256, the tile's size in pixels (for WMS)
//   {level:A,B,...}    the zoom level's own name, item z for zoom z (a WMTS
//                      tile matrix such as "L05"); an empty item is a level
//                      the server does not have
//   {key}              the source's key: left as written here, filled in
//                      only as the request goes out
//
// {s} and {switch:...} take item (x + y) mod n, as Leaflet picks a
// subdomain, so a tile always goes to the same host.

struct TilePlace {
  int32_t x = 0;
  int32_t y = 0;  // counted as origin says
  int32_t zoom = 0;
  RowOrigin origin = RowOrigin::FromTop;
};

// The quadkey of a tile, one digit per level from the top; rows counted from the south.
std::string Quadkey(int32_t x, int32_t bottomRow, int32_t zoom);

// A value that names the tile itself (not only its host): it is the whole address.
bool IsAddressTemplate(std::string_view value);

// What no address may hold, each once and as written, in order: unknown
// placeholders ("{foo}"), a "{switch:...}" with an empty item ("{switch:}",
// "{switch:a,,b}"), and lone braces ("{", "}").
std::vector<std::string> UnknownPlaceholders(std::string_view value);

// Every known placeholder replaced for the tile; anything else stays as written.
std::string ExpandTilePlaceholders(std::string_view value, const TilePlace& tile);

// The EPSG:3857 bounds of a tile counted from the top, in metres, each with
// the fewest digits that read back as the same double.
std::string MercatorBoundsText(int32_t x, int32_t topRow, int32_t zoom);

// Which of count items a tile takes: |x + y| mod count.
std::size_t SubdomainIndex(int32_t x, int32_t y, std::size_t count);

// The placeholders a template may use, for messages.
inline constexpr const char* kKnownPlaceholders =
    "{x}, {y}, {-y}, {z}, {n}, {s}, {switch:A,B,...}, {q}, {bbox}, {width}, {height}, {level:A,B,...}, {key}";
