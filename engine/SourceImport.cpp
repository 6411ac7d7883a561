#include "SourceImport.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "JsonValue.h"
#include "SourceImportText.h"
#include "Text.h"
#include "XmlTree.h"

namespace {

constexpr double kMercatorLatitude = 85.0511287798066;

const JsonValue* MemberOfKind(const JsonValue& object, std::string_view name, JsonValue::Kind kind) {
  const JsonValue* member = object.Member(name);
  return member && member->kind == kind ? member : nullptr;
}

std::optional<int32_t> JsonZoom(const JsonValue& object, std::string_view name) {
  const JsonValue* value = MemberOfKind(object, name, JsonValue::Kind::Number);
  if (!value || value->number < 0 || value->number > 30) return std::nullopt;
  return static_cast<int32_t>(value->number);
}

// A rectangle in degrees, latitudes kept to the Mercator square; nullopt for anything else.
std::optional<SourceBounds> BoundsOf(double west, double south, double east, double north) {
  SourceBounds bounds{std::clamp(west, -180.0, 180.0), std::clamp(south, -kMercatorLatitude, kMercatorLatitude),
                      std::clamp(east, -180.0, 180.0), std::clamp(north, -kMercatorLatitude, kMercatorLatitude)};
  if (!(bounds.west < bounds.east && bounds.south < bounds.north)) return std::nullopt;
  if (bounds == SourceBounds{}) return std::nullopt;  // the whole world says nothing
  return bounds;
}

std::optional<SourceBounds> JsonBounds(const JsonValue& object) {
  const JsonValue* bounds = object.Member("bounds");
  if (!bounds || bounds->kind != JsonValue::Kind::Array || bounds->numbers.size() != 4) return std::nullopt;
  const std::vector<double>& n = bounds->numbers;
  return BoundsOf(n[0], n[1], n[2], n[3]);
}

// The rows-from-the-bottom form of a template.
std::string RowsFromTheBottom(std::string address) {
  for (std::size_t at = address.find("{y}"); at != std::string::npos; at = address.find("{y}", at + 4))
    address.replace(at, 3, "{-y}");
  return address;
}

// Turns "&lt;a href=...&gt;© X&lt;/a&gt;" and "<a href=...>© X</a>" into "© X".
std::string PlainAttribution(std::string_view html) {
  std::string text;
  bool inTag = false;
  for (char c : html) {
    if (c == '<') inTag = true;
    else if (c == '>') inTag = false;
    else if (!inTag) text += c;
  }
  static constexpr std::pair<std::string_view, std::string_view> kEntities[] = {
      {"&copy;", "\xC2\xA9"}, {"&nbsp;", " "}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"},
      {"&amp;", "&"}};
  for (const auto& [entity, plain] : kEntities)
    for (std::size_t at = text.find(entity); at != std::string::npos; at = text.find(entity, at + plain.size()))
      text.replace(at, entity.size(), plain);
  std::string single;
  for (char c : text) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
    if (c == ' ' && (single.empty() || single.back() == ' ')) continue;
    single += c;
  }
  return std::string(Trim(single));
}

}  // namespace

// --- shared with the WMTS reader ---

std::string FormatOfAddress(std::string_view address) {
  const std::size_t end = std::min(address.find_first_of("?#"), address.size());
  const std::string path = LowerAscii(address.substr(0, end));
  for (const auto& [ending, format] : {std::pair{".png", "png"}, {".jpg", "jpg"}, {".jpeg", "jpg"},
                                       {".gif", "gif"}, {".webp", "webp"}})
    if (path.ends_with(ending)) return format;
  return {};
}

std::string FormatOfMediaType(std::string_view type) {
  const std::string lower = LowerAscii(Trim(type));
  if (lower.starts_with("image/png")) return "png";
  if (lower == "image/jpeg" || lower == "image/jpg") return "jpg";
  if (lower == "image/gif") return "gif";
  if (lower == "image/webp") return "webp";
  return {};
}

std::string DocumentName(const std::string& documentAddress) {
  const std::size_t scheme = documentAddress.find("://");
  if (scheme != std::string::npos) {
    const std::size_t hostAt = scheme + 3;
    const std::size_t end = documentAddress.find_first_of(":/?#", hostAt);
    return documentAddress.substr(hostAt, end == std::string::npos ? std::string::npos : end - hostAt);
  }
  std::string name = documentAddress.substr(documentAddress.rfind('/') + 1);
  if (const std::size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

std::string ResolveAddress(const std::string& address, const std::string& documentAddress) {
  if (address.find("://") != std::string::npos) return address;
  const std::size_t scheme = documentAddress.find("://");
  if (scheme == std::string::npos) return address;  // a file's neighbour is no tile server
  if (address.starts_with("//")) return documentAddress.substr(0, scheme + 1) + address;
  const std::size_t pathAt = documentAddress.find('/', scheme + 3);
  const std::string origin = documentAddress.substr(0, pathAt);
  if (address.starts_with("/")) return origin + address;
  const std::size_t queryAt = std::min(documentAddress.find_first_of("?#"), documentAddress.size());
  const std::size_t slash = documentAddress.rfind('/', queryAt);
  if (pathAt == std::string::npos || slash < pathAt) return origin + "/" + address;
  return documentAddress.substr(0, slash + 1) + address;
}

// --- the kinds of document ---

SourceDocumentKind SniffSourceDocument(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  text = TrimLeft(text, kWhiteSpace);
  if (text.starts_with("{")) return SourceDocumentKind::TileJson;
  // The first element's name, past the declaration, comments and a DOCTYPE.
  std::size_t at = 0;
  while ((at = text.find('<', at)) != std::string_view::npos) {
    const std::string_view rest = text.substr(at + 1);
    if (rest.starts_with("?") || rest.starts_with("!")) {
      const std::size_t close = rest.starts_with("!--") ? text.find("-->", at) : text.find('>', at);
      if (close == std::string_view::npos) return SourceDocumentKind::Unknown;
      at = close + 1;
      continue;
    }
    const std::size_t nameEnd = rest.find_first_of(" \t\r\n/>");
    const std::string_view name = LocalName(rest.substr(0, nameEnd));
    if (name == "Capabilities") return SourceDocumentKind::WmtsCapabilities;
    if (name == "qgsXYZTilesConnections") return SourceDocumentKind::QgisConnections;
    return SourceDocumentKind::Unknown;
  }
  return SourceDocumentKind::Unknown;
}

SourceImport ImportTileJson(std::string_view text, const std::string& documentAddress) {
  JsonValue document;
  try {
    document = ParseJson(text);
  } catch (const JsonSyntaxError& error) {
    throw SourceImportError(std::string("The TileJSON document cannot be read: ") + error.what() + ".");
  }
  const JsonValue* tiles =
      document.kind == JsonValue::Kind::Object ? MemberOfKind(document, "tiles", JsonValue::Kind::Array) : nullptr;
  if (!tiles || tiles->items.empty() || tiles->items[0].kind != JsonValue::Kind::String)
    throw SourceImportError("The document is no TileJSON: it lists no tile address (\"tiles\").");
  TileSource source;
  source.Template = ResolveAddress(tiles->items[0].text, documentAddress);
  const JsonValue* scheme = MemberOfKind(document, "scheme", JsonValue::Kind::String);
  if (scheme && scheme->text == "tms") source.Template = RowsFromTheBottom(source.Template);
  const JsonValue* name = MemberOfKind(document, "name", JsonValue::Kind::String);
  source.Name = name && !Trim(name->text).empty() ? std::string(Trim(name->text)) : DocumentName(documentAddress);
  source.MinZoom = JsonZoom(document, "minzoom").value_or(0);
  source.MaxZoom = JsonZoom(document, "maxzoom").value_or(30);
  source.Bounds = JsonBounds(document);
  source.Format = FormatOfAddress(source.Template);
  const JsonValue* layers = MemberOfKind(document, "vector_layers", JsonValue::Kind::Array);
  if (layers || NamesVectorTiles(source.Template)) source.Format = kVectorTileEnding;
  if (layers) source.VectorLayers = JsonText(*layers);
  if (const JsonValue* attribution = MemberOfKind(document, "attribution", JsonValue::Kind::String))
    source.Attribution = PlainAttribution(attribution->text);
  SourceImport import;
  if (tiles->items.size() > 1)
    import.notes.push_back("The document lists " + std::to_string(tiles->items.size()) +
                           " tile addresses; the first was taken.");
  import.sources.push_back(std::move(source));
  return import;
}

SourceImport ImportQgisConnections(std::string_view text) {
  XmlElement root;
  try {
    root = ParseXml(text);
  } catch (const XmlSyntaxError& error) {
    throw SourceImportError(std::string("The QGIS connections file cannot be read: ") + error.what() + ".");
  }
  if (root.name != "qgsXYZTilesConnections")
    throw SourceImportError("The document is no QGIS XYZ connections file.");
  SourceImport import;
  for (const XmlElement* connection : root.Children("xyztiles")) {
    const auto attribute = [&](std::string_view name) {
      const std::string* value = connection->Attribute(name);
      return value ? std::string(Trim(*value, kWhiteSpace)) : std::string();
    };
    TileSource source;
    source.Name = attribute("name");
    source.Template = attribute("url");
    if (source.Template.empty()) {
      import.leftOut.push_back("connection '" + source.Name + "' (no address)");
      continue;
    }
    source.MinZoom = WholeNumber(attribute("zmin")).value_or(0);
    source.MaxZoom = WholeNumber(attribute("zmax")).value_or(source.MaxZoom);
    source.Format = FormatOfAddress(source.Template);
    const std::string referer = attribute("referer");
    if (!referer.empty()) source.Headers.emplace_back("Referer", referer);
    for (const auto& [name, value] : connection->attributes) {
      if (!StartsWithNoCase(name, "http-header:") || Trim(value).empty()) continue;
      std::string header = name.substr(12);
      if (EqualsIgnoringCase(header, "referer")) {
        if (!referer.empty()) continue;
        header = "Referer";
      }
      source.Headers.emplace_back(header, std::string(Trim(value)));
    }
    if (!attribute("username").empty() || !attribute("authcfg").empty())
      import.notes.push_back("The connection '" + source.Name +
                             "' signs in with a user name or a stored login, which was not taken.");
    import.sources.push_back(std::move(source));
  }
  if (import.sources.empty())
    throw SourceImportError(import.leftOut.empty() ? "The QGIS connections file holds no XYZ connection."
                                                   : "The QGIS connections file holds no connection with an address.");
  return import;
}

SourceImport ImportSourceDocument(std::string_view text, const std::string& documentAddress) {
  switch (SniffSourceDocument(text)) {
    case SourceDocumentKind::TileJson: return ImportTileJson(text, documentAddress);
    case SourceDocumentKind::WmtsCapabilities: return ImportWmtsCapabilities(text, documentAddress);
    case SourceDocumentKind::QgisConnections: return ImportQgisConnections(text);
    case SourceDocumentKind::Unknown: break;
  }
  throw SourceImportError(
      "The document is neither a TileJSON, a WMTS capabilities document nor a QGIS XYZ connections file.");
}

void MakeNamesUsable(SourceImport& import, const std::string& fallback) {
  std::vector<std::string> taken;
  for (TileSource& source : import.sources) {
    std::string name;
    for (char c : source.Name) name += c == '=' ? '-' : c == '[' ? '(' : c == ']' ? ')' : c == '\r' || c == '\n' ? ' ' : c;
    name = std::string(Trim(TrimLeft(Trim(name, kWhiteSpace), ";#"), kWhiteSpace));
    if (name.empty()) name = fallback.empty() ? std::string("Source") : fallback;
    const auto isTaken = [&](const std::string& candidate) {
      return std::any_of(taken.begin(), taken.end(), [&](const std::string& t) { return EqualsIgnoringCase(t, candidate); });
    };
    std::string unique = name;
    for (int number = 2; isTaken(unique); ++number) unique = name + " " + std::to_string(number);
    taken.push_back(unique);
    source.Name = unique;
  }
}
