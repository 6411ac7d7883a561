// A WMTS capabilities document as sources: one a layer, style and tile
// matrix set whose matrices are the EPSG:3857 quad tree of 256-pixel tiles.
// A set is recognised by its matrices, not by its name: each matrix's scale
// denominator must be the quad tree's at some zoom and its top-left corner
// the world's. Matrix names need not be zoom numbers ("EPSG:3857:5", "L05"):
// the template writes them as "{z}", a prefix and "{z}", or a "{level:...}"
// list, whichever fits.

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <optional>
#include <tuple>

#include "Mercator.h"
#include "SourceImport.h"
#include "SourceImportText.h"
#include "Text.h"
#include "XmlTree.h"

namespace {

// The scale denominator of zoom 0 (0.28 mm pixels).
constexpr double kZoomZeroScale = 559082264.0287178;
constexpr double kScaleTolerance = 1e-5;  // relative
constexpr double kCornerTolerance = 1.0;  // metres

std::optional<double> Number(std::string_view text) {
  text = Trim(text, kWhiteSpace);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
  return value;
}

// "-20037508.34 20037508.34" as two numbers.
std::optional<std::pair<double, double>> NumberPair(std::string_view text) {
  text = Trim(text, kWhiteSpace);
  const std::size_t blank = text.find_first_of(kWhiteSpace);
  if (blank == std::string_view::npos) return std::nullopt;
  const auto first = Number(text.substr(0, blank)), second = Number(text.substr(blank));
  if (!first || !second) return std::nullopt;
  return std::pair{*first, *second};
}

// "EPSG:4326" from "urn:ogc:def:crs:EPSG::4326" and the like; the text itself when it names no code.
std::string CrsName(std::string_view crs) {
  crs = Trim(crs, kWhiteSpace);
  std::size_t end = crs.size();
  while (end > 0 && !(crs[end - 1] >= '0' && crs[end - 1] <= '9')) --end;
  std::size_t start = end;
  while (start > 0 && crs[start - 1] >= '0' && crs[start - 1] <= '9') --start;
  if (start == end || LowerAscii(crs).find("epsg") == std::string::npos) return std::string(crs);
  return "EPSG:" + std::string(crs.substr(start, end - start));
}

bool IsWebMercator(const std::string& crsName) {
  for (std::string_view alias : {"EPSG:3857", "EPSG:900913", "EPSG:3785", "EPSG:102100", "EPSG:102113"})
    if (crsName == alias) return true;
  return false;
}

// Keeps what a path or query may hold as it is; the rest, ',' '{' '}' and blanks included, as %XX.
std::string Escaped(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       std::string_view("-._~:@!$'()*;=/").find(static_cast<char>(c)) != std::string_view::npos;
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

struct MatrixSet {
  std::string id;
  std::optional<std::string> problem;  // "is in EPSG:4326"
  std::map<std::string, int32_t> zoomOf;  // matrix name to zoom
  std::vector<std::string> names;     // by zoom; empty where the set has no matrix
  int32_t minZoom = 0, maxZoom = 0;
};

MatrixSet ReadMatrixSet(const XmlElement& element) {
  MatrixSet set;
  set.id = element.ChildText("Identifier");
  const std::string crs = CrsName(element.ChildText("SupportedCRS"));
  const bool wellKnown = element.ChildText("WellKnownScaleSet").find("GoogleMapsCompatible") != std::string::npos;
  if (!IsWebMercator(crs) && !wellKnown) {
    set.problem = "is in " + (crs.empty() ? std::string("an unnamed projection") : crs);
    return set;
  }
  const std::vector<const XmlElement*> matrices = element.Children("TileMatrix");
  std::vector<std::pair<int32_t, std::string>> levels;
  for (std::size_t i = 0; i < matrices.size(); ++i) {
    const XmlElement& matrix = *matrices[i];
    const auto scale = Number(matrix.ChildText("ScaleDenominator"));
    const auto corner = NumberPair(matrix.ChildText("TopLeftCorner"));
    const bool square = matrix.ChildText("TileWidth") == "256" && matrix.ChildText("TileHeight") == "256";
    std::optional<int32_t> zoom;
    if (scale && *scale > 0) {
      const double level = std::round(std::log2(kZoomZeroScale / *scale));
      const double expected = kZoomZeroScale / std::exp2(level);
      if (level >= 0 && level <= 30 && std::abs(*scale - expected) <= expected * kScaleTolerance)
        zoom = static_cast<int32_t>(level);
    }
    const bool cornered = corner && std::abs(corner->first + kMercatorHalfWorld) <= kCornerTolerance &&
                          std::abs(corner->second - kMercatorHalfWorld) <= kCornerTolerance;
    if (!zoom && wellKnown) zoom = static_cast<int32_t>(i);
    if (!zoom || !square || (!cornered && !wellKnown)) {
      set.problem = "is not the EPSG:3857 quad tree of 256-pixel tiles";
      return set;
    }
    levels.emplace_back(*zoom, matrix.ChildText("Identifier"));
  }
  std::sort(levels.begin(), levels.end());
  for (std::size_t i = 1; i < levels.size(); ++i)
    if (levels[i].first != levels[i - 1].first + 1) {
      set.problem = "skips zoom levels";
      return set;
    }
  if (levels.empty()) {
    set.problem = "has no tile matrix";
    return set;
  }
  set.minZoom = levels.front().first;
  set.maxZoom = levels.back().first;
  set.names.resize(static_cast<std::size_t>(set.maxZoom) + 1);
  for (const auto& [zoom, name] : levels) {
    set.names[static_cast<std::size_t>(zoom)] = name;
    set.zoomOf[name] = zoom;
  }
  return set;
}

// How the template writes a set's matrix: "{z}", "EPSG:3857:{z}", or "{level:...}".
std::string MatrixPlaceholder(const MatrixSet& set) {
  const std::string& first = set.names[static_cast<std::size_t>(set.minZoom)];
  const std::string number = std::to_string(set.minZoom);
  if (first.ends_with(number)) {
    const std::string prefix = first.substr(0, first.size() - number.size());
    // "L00" is no prefix "L0" and zoom 0: at zoom 10 it would be "L10", not "L010".
    bool prefixed = prefix.empty() || !(prefix.back() >= '0' && prefix.back() <= '9');
    for (int32_t zoom = set.minZoom; zoom <= set.maxZoom; ++zoom)
      prefixed = prefixed && set.names[static_cast<std::size_t>(zoom)] == prefix + std::to_string(zoom);
    if (prefixed) return Escaped(prefix) + "{z}";
  }
  std::string list = "{level:";
  for (std::size_t zoom = 0; zoom < set.names.size(); ++zoom) list += (zoom ? "," : "") + Escaped(set.names[zoom]);
  return list + "}";
}

// Replaces "{TileMatrix}" and the like, whatever their case.
std::string FillResourceTemplate(const std::string& resource, const std::map<std::string, std::string>& values) {
  std::string out;
  for (std::size_t at = 0; at < resource.size();) {
    const std::size_t open = resource.find('{', at);
    const std::size_t close = open == std::string::npos ? open : resource.find('}', open);
    if (close == std::string::npos) {
      out += resource.substr(at);
      break;
    }
    out += resource.substr(at, open - at);
    const auto value = values.find(LowerAscii(resource.substr(open + 1, close - open - 1)));
    out += value == values.end() ? resource.substr(open, close - open + 1) : value->second;
    at = close + 1;
  }
  return out;
}

// The GetTile operation's address for key-value requests; empty when none is given.
std::string GetTileAddress(const XmlElement& root) {
  const XmlElement* operations = root.Child("OperationsMetadata");
  if (!operations) return {};
  for (const XmlElement* operation : operations->Children("Operation")) {
    const std::string* name = operation->Attribute("name");
    if (!name || *name != "GetTile") continue;
    for (const XmlElement* dcp : operation->Children("DCP"))
      for (const XmlElement* http : dcp->Children("HTTP"))
        for (const XmlElement* get : http->Children("Get")) {
          const std::string* href = get->Attribute("href");
          bool kvp = get->Children("Constraint").empty();
          for (const XmlElement* constraint : get->Children("Constraint"))
            if (const XmlElement* allowed = constraint->Child("AllowedValues"))
              for (const XmlElement* value : allowed->Children("Value"))
                kvp = kvp || Trim(value->text, kWhiteSpace) == "KVP";
          if (href && kvp) return std::string(Trim(*href, kWhiteSpace));
        }
  }
  return {};
}

// The layer's tile format: PNG when offered, else JPEG, else the first.
std::string ChosenFormat(const std::vector<std::string>& formats) {
  for (std::string_view wanted : {"png", "jpg"})
    for (const std::string& format : formats)
      if (FormatOfMediaType(format) == wanted) return format;
  return formats.empty() ? std::string() : formats.front();
}

struct Layer {
  std::string title, id;
  std::vector<std::string> styles, formats;
  std::vector<std::pair<std::string, std::string>> dimensions;  // name, default value
  std::map<std::string, std::string> resources;                 // tile ResourceURL template by format
  std::optional<SourceBounds> bounds;
};

Layer ReadLayer(const XmlElement& element) {
  Layer layer;
  layer.id = element.ChildText("Identifier");
  layer.title = element.ChildText("Title");
  if (layer.title.empty()) layer.title = layer.id;
  for (const XmlElement* style : element.Children("Style")) layer.styles.push_back(style->ChildText("Identifier"));
  if (layer.styles.empty()) layer.styles.push_back("default");
  for (const XmlElement* format : element.Children("Format"))
    layer.formats.emplace_back(Trim(format->text, kWhiteSpace));
  for (const XmlElement* dimension : element.Children("Dimension")) {
    std::string value = dimension->ChildText("Default");
    if (value.empty()) value = dimension->ChildText("Value");
    layer.dimensions.emplace_back(dimension->ChildText("Identifier"), value);
  }
  for (const XmlElement* resource : element.Children("ResourceURL")) {
    const std::string* type = resource->Attribute("resourceType");
    const std::string* format = resource->Attribute("format");
    const std::string* address = resource->Attribute("template");
    if (type && *type == "tile" && address && format && !layer.resources.count(*format)) {
      layer.resources[*format] = *address;
      if (std::find(layer.formats.begin(), layer.formats.end(), *format) == layer.formats.end())
        layer.formats.push_back(*format);
    }
  }
  if (const XmlElement* box = element.Child("WGS84BoundingBox")) {
    const auto lower = NumberPair(box->ChildText("LowerCorner")), upper = NumberPair(box->ChildText("UpperCorner"));
    const double limit = 85.0511287798066;
    if (lower && upper) {
      SourceBounds bounds{std::max(lower->first, -180.0), std::max(lower->second, -limit),
                          std::min(upper->first, 180.0), std::min(upper->second, limit)};
      if (bounds.west < bounds.east && bounds.south < bounds.north && !(bounds == SourceBounds{}))
        layer.bounds = bounds;
    }
  }
  return layer;
}

// The zoom range the layer's limits allow within the set's.
std::pair<int32_t, int32_t> LimitedZooms(const XmlElement& link, const MatrixSet& set) {
  int32_t low = set.maxZoom + 1, high = set.minZoom - 1;
  const XmlElement* limits = link.Child("TileMatrixSetLimits");
  if (!limits) return {set.minZoom, set.maxZoom};
  for (const XmlElement* limit : limits->Children("TileMatrixLimits")) {
    const auto zoom = set.zoomOf.find(limit->ChildText("TileMatrix"));
    if (zoom == set.zoomOf.end()) continue;
    low = std::min(low, zoom->second);
    high = std::max(high, zoom->second);
  }
  if (low > high) return {set.minZoom, set.maxZoom};
  return {low, high};
}

std::string KvpTemplate(std::string address, const Layer& layer, const std::string& style, const std::string& format,
                        const MatrixSet& set) {
  if (address.find('?') == std::string::npos) {
    address += '?';
  } else if (!address.ends_with("?") && !address.ends_with("&")) {
    address += '&';
  }
  // Some servers write the fixed part into the operation's address already.
  if (LowerAscii(address).find("service=wmts") == std::string::npos) address += "SERVICE=WMTS&";
  if (LowerAscii(address).find("request=gettile") == std::string::npos) address += "REQUEST=GetTile&";
  if (LowerAscii(address).find("version=") == std::string::npos) address += "VERSION=1.0.0&";
  address += "LAYER=" + Escaped(layer.id) + "&STYLE=" + Escaped(style) +
             "&FORMAT=" + Escaped(format) + "&TILEMATRIXSET=" + Escaped(set.id) +
             "&TILEMATRIX=" + MatrixPlaceholder(set) + "&TILEROW={y}&TILECOL={x}";
  for (const auto& [name, value] : layer.dimensions) address += "&" + Escaped(name) + "=" + Escaped(value);
  return address;
}

std::string RestTemplate(const std::string& resource, const Layer& layer, const std::string& style,
                         const MatrixSet& set) {
  std::map<std::string, std::string> values{{"tilematrixset", Escaped(set.id)},
                                            {"tilematrix", MatrixPlaceholder(set)},
                                            {"tilerow", "{y}"},
                                            {"tilecol", "{x}"},
                                            {"style", Escaped(style)}};
  for (const auto& [name, value] : layer.dimensions) values.emplace(LowerAscii(name), Escaped(value));
  return FillResourceTemplate(resource, values);
}

// One sentence for a document that gave nothing.
std::string Refusal(const std::map<std::string, std::string>& setProblems, const std::vector<std::string>& leftOut) {
  if (leftOut.empty()) return "The capabilities document lists no layer.";
  if (setProblems.size() == 1 && leftOut.size() >= 1) {
    bool allSets = true;
    for (const std::string& phrase : leftOut) allSets = allSets && phrase.find("tile matrix set") != std::string::npos;
    if (allSets)
      return "The tile matrix set '" + setProblems.begin()->first + "' " + setProblems.begin()->second +
             "; only the EPSG:3857 quad tree of 256-pixel tiles can be downloaded.";
  }
  std::string sentence = "No layer can be downloaded: ";
  for (std::size_t i = 0; i < leftOut.size(); ++i) sentence += (i ? "; " : "") + leftOut[i];
  return sentence + ".";
}

}  // namespace

SourceImport ImportWmtsCapabilities(std::string_view text, const std::string& documentAddress) {
  XmlElement root;
  try {
    root = ParseXml(text);
  } catch (const XmlSyntaxError& error) {
    throw SourceImportError(std::string("The capabilities document cannot be read: ") + error.what() + ".");
  }
  if (root.name != "Capabilities") throw SourceImportError("The document is no WMTS capabilities document.");
  const XmlElement* contents = root.Child("Contents");
  if (!contents) throw SourceImportError("The capabilities document lists no layer.");

  std::map<std::string, MatrixSet> sets;
  for (const XmlElement* element : contents->Children("TileMatrixSet")) {
    MatrixSet set = ReadMatrixSet(*element);
    sets.emplace(set.id, std::move(set));
  }
  const std::string getTile = ResolveAddress(GetTileAddress(root), documentAddress);
  std::string attribution, terms;
  if (const XmlElement* provider = root.Child("ServiceProvider")) attribution = provider->ChildText("ProviderName");
  if (const XmlElement* service = root.Child("ServiceIdentification")) {
    const std::string constraints = service->ChildText("AccessConstraints");
    if (StartsWithNoCase(constraints, "http://") || StartsWithNoCase(constraints, "https://")) terms = constraints;
  }

  SourceImport import;
  std::map<std::string, std::string> setProblems;
  for (const XmlElement* element : contents->Children("Layer")) {
    const Layer layer = ReadLayer(*element);
    // A RESTful address is only there for the formats its ResourceURLs name.
    std::vector<std::string> restFormats;
    for (const auto& [type, address] : layer.resources) restFormats.push_back(type);
    const std::string format = ChosenFormat(restFormats.empty() ? layer.formats : restFormats);
    std::vector<std::pair<const XmlElement*, const MatrixSet*>> usable;
    for (const XmlElement* link : element->Children("TileMatrixSetLink")) {
      const std::string id = link->ChildText("TileMatrixSet");
      const auto set = sets.find(id);
      const std::string problem = set == sets.end() ? "is not described" : set->second.problem.value_or("");
      if (problem.empty()) {
        usable.emplace_back(link, &set->second);
        continue;
      }
      setProblems[id] = problem;
      import.leftOut.push_back("layer '" + layer.title + "' (tile matrix set '" + id + "' " + problem + ")");
    }
    if (usable.empty()) continue;
    const auto resource = layer.resources.find(format);
    if (resource == layer.resources.end() && getTile.empty()) {
      import.leftOut.push_back("layer '" + layer.title + "' (no tile address)");
      continue;
    }
    const bool several = usable.size() * layer.styles.size() > 1;
    for (const auto& [link, set] : usable)
      for (const std::string& style : layer.styles) {
        TileSource source;
        source.Name = layer.title;
        if (several) {
          std::string which = layer.styles.size() > 1 ? style : "";
          if (usable.size() > 1) which += (which.empty() ? "" : ", ") + set->id;
          source.Name += " (" + which + ")";
        }
        source.Template = resource != layer.resources.end()
                              ? ResolveAddress(RestTemplate(resource->second, layer, style, *set), documentAddress)
                              : KvpTemplate(getTile, layer, style, format, *set);
        std::tie(source.MinZoom, source.MaxZoom) = LimitedZooms(*link, *set);
        source.Bounds = layer.bounds;
        source.Format = FormatOfMediaType(format);
        source.Attribution = attribution;
        source.TermsUrl = terms;
        import.sources.push_back(std::move(source));
      }
  }
  if (import.sources.empty()) throw SourceImportError(Refusal(setProblems, import.leftOut));
  return import;
}
