#include "TileSource.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "Files.h"
#include "IniFile.h"
#include "LineBuilder.h"
#include "NumberEntry.h"
#include "RequestHeaders.h"
#include "Text.h"
#include "TextFormat.h"
#include "TileHosts.h"
#include "TileTemplate.h"

namespace {

constexpr int32_t kHighestZoom = 30;

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

[[noreturn]] void Refuse(const IniFile& file, const std::string& section, const std::string& key,
                         const std::string& what) {
  throw SourceError("The file " + file.Path() + " cannot be used: [" + section + "] " + key + " " + what + ".");
}

int64_t NumberKey(const IniFile& file, const std::string& section, const std::string& key, int64_t fallback) {
  const std::string text = file.ReadString(section, key, "");
  if (text.empty()) return fallback;
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size())
    Refuse(file, section, key, "is not a number (\"" + text + "\")");
  return value;
}

std::optional<SourceBounds> BoundsFromText(const IniFile& file, const std::string& section) {
  const std::string text = file.ReadString(section, "Bounds", "");
  if (text.empty()) return std::nullopt;
  std::vector<double> values;
  for (std::string_view rest = text;;) {
    const std::size_t comma = rest.find(',');
    const std::optional<double> value = ParseCoordinate(Trim(rest.substr(0, comma)));
    if (!value) Refuse(file, section, "Bounds", "is not four numbers west,south,east,north");
    values.push_back(*value);
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  if (values.size() != 4) Refuse(file, section, "Bounds", "is not four numbers west,south,east,north");
  return SourceBounds{values[0], values[1], values[2], values[3]};
}

}  // namespace

bool NeedsKey(const TileSource& source) {
  return Contains(source.Template, kKeyPlaceholder) ||
         std::any_of(source.Headers.begin(), source.Headers.end(),
                     [](const auto& header) { return Contains(header.second, kKeyPlaceholder); });
}

std::optional<std::string> SourceProblem(const TileSource& source) {
  const std::string name = "The source '" + source.Name + "'";
  if (Trim(source.Name).empty()) return std::string("A source needs a name.");
  // The name is a key of the key file: INI syntax must not read it otherwise.
  if (source.Name.find_first_of("=[]") != std::string::npos || source.Name.front() == ';' || source.Name.front() == '#')
    return name + " has a name with '=', '[', ']' or a leading ';' or '#'.";
  if (HasLineBreak(source.Name) || HasLineBreak(source.Attribution) || HasLineBreak(source.TermsUrl) ||
      HasLineBreak(source.UserAgent) || HasLineBreak(source.Format) || HasLineBreak(source.VectorLayers))
    return name + " has a line break in a field.";
  if (Trim(source.Template).empty()) return name + " has no address template.";
  if (!IsAddressTemplate(source.Template))
    return name + "'s template " + source.Template + " names no tile ({z}, {x}, {y}, {q} or {bbox}).";
  if (const std::vector<std::string> unknown = UnknownPlaceholders(source.Template); !unknown.empty())
    return name + "'s template holds " + unknown.front() + "; the placeholders are " + kKnownPlaceholders + ".";
  if (std::optional<std::string> scheme = UnfetchedScheme(source.Template))
    return name + "'s template asks for " + *scheme + "://; only http:// and https:// are fetched.";
  if (std::optional<std::string> form = TileAddressFormProblem(source.Template))
    return name + "'s template " + *form + ".";
  if (source.MinZoom < 0 || source.MaxZoom > kHighestZoom || source.MinZoom > source.MaxZoom)
    return name + "'s zoom range " + std::to_string(source.MinZoom) + "-" + std::to_string(source.MaxZoom) +
           " is not within 0-30.";
  if (const auto& b = source.Bounds;
      b && !(b->west >= -180 && b->east <= 180 && b->west < b->east && b->south >= -90 && b->north <= 90 &&
             b->south < b->north))
    return name + "'s bounds are no rectangle within -180..180, -90..90.";
  if (source.MaxThreads < 0 || source.MaxRequestsPerSecond < 0 || source.MaxTiles < 0)
    return name + " has a negative limit.";
  if (std::optional<std::string> header = RequestHeadersProblem(source.Headers)) return name + ": " + *header;
  return std::nullopt;
}

std::string SourceFileText(const TileSource& source) { return SourceSectionsText(source, "Source", "Headers"); }

std::string SourceSectionsText(const TileSource& source, const std::string& section, const std::string& headersSection) {
  LineBuilder text;
  text("[" + section + "]");
  text("Name=" + source.Name);
  text("Template=" + source.Template);
  text("MinZoom=" + std::to_string(source.MinZoom));
  text("MaxZoom=" + std::to_string(source.MaxZoom));
  if (const auto& b = source.Bounds)
    text("Bounds=" + FormatGeneral(b->west) + "," + FormatGeneral(b->south) + "," + FormatGeneral(b->east) +
              "," + FormatGeneral(b->north));
  if (!source.Format.empty()) text("Format=" + source.Format);
  if (!source.VectorLayers.empty()) text("VectorLayers=" + source.VectorLayers);
  text("Attribution=" + source.Attribution);
  text("Terms=" + source.TermsUrl);
  if (!source.UserAgent.empty()) text("UserAgent=" + source.UserAgent);
  text("MaxThreads=" + std::to_string(source.MaxThreads));
  text("MaxRequestsPerSecond=" + std::to_string(source.MaxRequestsPerSecond));
  text("MaxTiles=" + std::to_string(source.MaxTiles));
  text(std::string("BulkDownload=") + (source.BulkDownload ? "1" : "0"));
  if (!source.Headers.empty()) {
    text("[" + headersSection + "]");
    for (const auto& [name, value] : source.Headers) text(name + "=" + value);
  }
  return text.Take();
}

TileSource ReadSourceFile(const std::string& path) {
  if (std::optional<std::string> problem = IniFileProblem(path)) throw SourceError(*problem);
  if (!FileExists(path)) throw SourceError("Cannot open the source file " + path + ".");
  return ReadSourceSections(IniFile(path), "Source", "Headers");
}

TileSource ReadSourceSections(const IniFile& file, const std::string& section, const std::string& headersSection) {
  TileSource source;
  source.Name = file.ReadString(section, "Name", "");
  if (source.Name.empty()) Refuse(file, section, "Name", "is missing");
  source.Template = file.ReadString(section, "Template", "");
  if (source.Template.empty()) Refuse(file, section, "Template", "is missing");
  source.MinZoom = static_cast<int32_t>(NumberKey(file, section, "MinZoom", 0));
  source.MaxZoom = static_cast<int32_t>(NumberKey(file, section, "MaxZoom", 19));
  source.Bounds = BoundsFromText(file, section);
  source.Format = LowerAscii(file.ReadString(section, "Format", ""));
  source.VectorLayers = file.ReadString(section, "VectorLayers", "");
  source.Attribution = file.ReadString(section, "Attribution", "");
  source.TermsUrl = file.ReadString(section, "Terms", "");
  source.UserAgent = file.ReadString(section, "UserAgent", "");
  source.MaxThreads = static_cast<int32_t>(std::clamp<int64_t>(NumberKey(file, section, "MaxThreads", 0), -1, 1 << 20));
  source.MaxRequestsPerSecond =
      static_cast<int32_t>(std::clamp<int64_t>(NumberKey(file, section, "MaxRequestsPerSecond", 0), -1, 1 << 20));
  source.MaxTiles = NumberKey(file, section, "MaxTiles", 0);
  source.BulkDownload = NumberKey(file, section, "BulkDownload", 1) != 0;
  source.Headers = file.ReadKeys(headersSection);
  return source;
}

NetworkSettings SourceNetwork(const TileSource& source, NetworkSettings network, std::string key) {
  network.Headers = source.Headers;
  if (!source.UserAgent.empty()) network.UserAgent = source.UserAgent;
  if (source.MaxRequestsPerSecond > 0 &&
      (network.MaxRequestsPerSecond <= 0 || source.MaxRequestsPerSecond < network.MaxRequestsPerSecond))
    network.MaxRequestsPerSecond = source.MaxRequestsPerSecond;
  network.Key = std::move(key);
  if (NamesVectorTiles(source.Format) || NamesVectorTiles(source.Template))
    network.TileFormat = TaskTileFormat::Mvt;
  return network;
}

std::string SourceFileName(std::string_view name) {
  std::string file;
  for (char c : name) {
    const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    file += kept ? c : '_';
  }
  return file + ".ini";
}
