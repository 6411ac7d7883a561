#include "MapServices.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "Text.h"
#include "TextFormat.h"
#include "TileTemplate.h"

const std::array<MapService, kMapsTypeCount> kMapServices = {{
    {"Google Street Maps", RowOrigin::FromTop, "gm", "png", 1, 19, 12},
    {"Google Satellite Maps", RowOrigin::FromTop, "gs", "jpg", 1, 20, 12},
    {"Google Terrain Maps", RowOrigin::FromTop, "gt", "png", 1, 15, 12},
    {"Yahoo Street Maps", RowOrigin::FromTop, "yn", "png", 1, 18, 12},
    {"Yahoo Satellite Maps", RowOrigin::FromTop, "ys", "jpg", 1, 18, 12},
    {"Microsoft VirtualEarth Street Maps", RowOrigin::FromBottom, "mn", "png", 1, 19, 12},
    {"Microsoft VirtualEarth Satellite Maps", RowOrigin::FromBottom, "ms", "jpg", 1, 19, 12},
    {"Microsoft VirtualEarth Hybrid Maps", RowOrigin::FromBottom, "mh", "jpg", 1, 19, 12},
    {"OpenStreet Maps", RowOrigin::FromTop, "os", "png", 1, 18, 12},
}};

namespace {

// Configuration key (TileHosts::kKeys) per MapsType: street and terrain share Google's map hosts.
constexpr std::array<std::size_t, kMapsTypeCount> kHostKey = {0, 1, 0, 2, 3, 4, 5, 6, 7};

std::string Str(int64_t value) { return std::to_string(value); }

// "http://" or "https://" as the value asks, "http://" when it names none.
std::string WithScheme(std::string_view value) {
  if (StartsWithNoCase(value, "http://")) return "http://" + std::string(value.substr(7));
  if (StartsWithNoCase(value, "https://")) return "https://" + std::string(value.substr(8));
  return "http://" + std::string(value);
}

std::string PathAndQuery(int32_t mapsType, int32_t x, int32_t y, int32_t zoom) {
  const auto google = [&](const char* head) {
    return head + GalileoPrefix(x, y) + "&x=" + Str(x) + "&y=" + Str(y) + "&z=" + Str(zoom);
  };
  const auto yahoo = [&](const char* head) {
    return head + Str(x) + "&y=" + YahooRow(y, zoom) + "&z=" + Str(int64_t{zoom} + 1);
  };
  switch (mapsType) {
    case 0: return google("/vt/lyrs=m@115&s=");
    case 1: return google("/kh/v=51&s=");
    case 2: return google("/vt/v=w2p.115&s=");
    case 3: return yahoo("/hx/tl?v=4.3&r=1&x=");
    case 4: return yahoo("/ae/ximg?v=1.9&t=a&s=256&r=1&x=");
    case 5: return "/tiles/r" + Quadkey(x, y, zoom) + ".png?g=394";
    case 6: return "/tiles/a" + Quadkey(x, y, zoom) + ".jpeg?g=394";
    case 7: return "/tiles/h" + Quadkey(x, y, zoom) + ".jpeg?g=394";
    case 8: return "/" + Str(zoom) + "/" + Str(x) + "/" + Str(y) + ".png";
  }
  return {};
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Consumes an optionally negative decimal integer.
bool TakeInteger(std::string_view& text) {
  std::size_t i = (!text.empty() && text.front() == '-') ? 1 : 0;
  const std::size_t digitsStart = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  if (i == digitsStart) return false;
  text.remove_prefix(i);
  return true;
}

bool TakeChar(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) return false;
  text.remove_prefix(1);
  return true;
}

}  // namespace

const MapService* FindMapService(int32_t mapsType) {
  if (mapsType < 0 || mapsType >= kMapsTypeCount) return nullptr;
  return &kMapServices[static_cast<std::size_t>(mapsType)];
}

RowOrigin RowOriginOf(int32_t mapsType) {
  const MapService* service = FindMapService(mapsType);
  return service ? service->origin : RowOrigin::FromTop;
}

std::string GalileoPrefix(int32_t x, int32_t y) {
  const int32_t remainder = x % 3;
  const int64_t t = remainder == 1 ? 3 : remainder == 2 ? 6 : 0;
  const int64_t length = (int64_t{x} / 3 + t + y) % 8;
  if (length <= 0) return {};
  return std::string("Galileo").substr(0, static_cast<std::size_t>(length));
}

std::string YahooRow(int32_t y, int32_t zoom) {
  return FormatGeneral(std::ldexp(1.0, zoom - 1) - y - 1);
}

std::string BuildTileUrl(const TileHosts& hosts, int32_t mapsType, int32_t x, int32_t y, int32_t zoom) {
  if (!FindMapService(mapsType)) return {};
  std::string_view value = Trim(hosts.ByKeyIndex(kHostKey[static_cast<std::size_t>(mapsType)]));
  const TilePlace tile{x, y, zoom, RowOriginOf(mapsType)};
  if (IsAddressTemplate(value)) return ExpandTilePlaceholders(WithScheme(value), tile);
  while (value.ends_with('/')) value.remove_suffix(1);  // the path brings its own
  return ExpandTilePlaceholders(WithScheme(value), tile) + PathAndQuery(mapsType, x, y, zoom);
}

std::optional<std::string> TileHostProblem(const TileHosts& hosts, int32_t mapsType) {
  if (!FindMapService(mapsType)) return std::nullopt;
  const std::size_t key = kHostKey[static_cast<std::size_t>(mapsType)];
  const std::string& value = hosts.ByKeyIndex(key);
  if (value.empty()) return std::nullopt;  // the configuration's empty value stands for the default
  const std::string server = std::string("The tile server ") + TileHosts::kKeys[key] + " in [Hosts]";
  if (const std::optional<std::string> scheme = UnfetchedScheme(value))
    return server + " is \"" + value + "\": " + *scheme + ":// is not fetched, only http:// and https://.";
  if (const std::optional<std::string> problem = TileAddressFormProblem(value))
    return server + " is \"" + value + "\", which " + *problem +
           ". Write a host (tile.example.org) or an address (https://tile.example.org/{z}/{x}/{y}.png).";
  // [Hosts] has no key to give: the placeholder would go out as written.
  if (value.find("{key}") != std::string::npos)
    return server + " holds {key}, which only a tile source fills in: add the server as a source and store its "
                    "key apart.";
  const std::vector<std::string> unknown = UnknownPlaceholders(value);
  // An empty item is a known placeholder written wrong: said apart from the unknown ones.
  const auto emptyItem = std::find_if(unknown.begin(), unknown.end(),
                                      [](const std::string& written) { return written.starts_with("{switch:"); });
  if (emptyItem != unknown.end())
    return server + " has an empty item in " + *emptyItem + ": give every item of {switch:A,B,...} a text.";
  if (unknown.empty()) return std::nullopt;
  std::string names;
  for (const std::string& name : unknown) names += (names.empty() ? "" : ", ") + name;
  return server + " holds " + (unknown.size() == 1 ? "an unknown placeholder: " : "unknown placeholders: ") + names +
         ". Known: " + kKnownPlaceholders + ".";
}

std::string BuildTileFileName(int32_t mapsType, int32_t x, int32_t y, int32_t zoom) {
  const MapService* service = FindMapService(mapsType);
  std::string name = service ? service->filePrefix : "";
  name += "_" + Str(x) + "_" + Str(y) + "_" + Str(zoom) + ".";
  if (service) name += service->fileExtension;
  return name;
}

std::optional<TileNameParts> ParseTileName(const std::string& fileName) {
  if (!LooksLikeTileFileName(fileName)) return std::nullopt;
  const std::size_t first = fileName.find('_');
  int32_t numbers[3] = {};
  std::size_t at = first;
  for (int32_t& number : numbers) {
    const std::size_t end = fileName.find_first_of("_.", at + 1);
    const std::optional<int32_t> value = ParseInt32(std::string_view(fileName).substr(at + 1, end - at - 1));
    if (!value) return std::nullopt;
    number = *value;
    at = end;
  }
  const std::string_view prefix(fileName.data(), first);
  for (int32_t type = 0; type < kMapsTypeCount; ++type)
    if (prefix == kMapServices[static_cast<std::size_t>(type)].filePrefix)
      return TileNameParts{type, TileKey{numbers[0], numbers[1], numbers[2]}};
  return std::nullopt;
}

bool LooksLikeTileFileName(const std::string& fileName) {
  std::string_view rest = fileName;
  std::size_t letters = 0;
  while (letters < rest.size() && IsLetter(rest[letters])) ++letters;
  if (letters == 0) return false;
  rest.remove_prefix(letters);
  for (int part = 0; part < 3; ++part)
    if (!TakeChar(rest, '_') || !TakeInteger(rest)) return false;
  if (!TakeChar(rest, '.') || rest.empty()) return false;
  for (char c : rest)
    if (!IsLetter(c) && !IsDigit(c)) return false;
  return true;
}
