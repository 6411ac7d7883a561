#include "SourceFetch.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <optional>

#include "AtomicFile.h"
#include "FetchFailure.h"
#include "Ftl.h"
#include "SourceImportText.h"
#include "Text.h"
#include "TileBody.h"
#include "TileFetch.h"
#include "TileHttpClient.h"
#include "TileTemplate.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

bool IsWebAddress(const std::string& text) {
  return StartsWithNoCase(text, "http://") || StartsWithNoCase(text, "https://");
}

// "an HTML page", "a JSON text" ...: what a body that is no image looks like.
std::string KindOfText(std::string_view body) {
  const std::string start = LowerAscii(TrimLeft(body.substr(0, 512), kWhiteSpace));
  if (start.empty()) return "an empty answer";
  if (start.starts_with("<!doctype html") || start.starts_with("<html") || Contains(start, "<html")) return "an HTML page";
  if (start.starts_with("<")) return "an XML document";
  if (start.starts_with("{") || start.starts_with("[")) return "a JSON text";
  return {};
}

// The leading status code of a failure text ("403 Forbidden"); 0 for a transfer failure.
int StatusOf(std::string_view message) {
  if (message.size() < 3 || (message.size() > 3 && message[3] != ' ')) return 0;
  for (std::size_t i = 0; i < 3; ++i)
    if (message[i] < '0' || message[i] > '9') return 0;
  return (message[0] - '0') * 100 + (message[1] - '0') * 10 + (message[2] - '0');
}

uint32_t Byte(std::string_view bytes, std::size_t at) { return static_cast<unsigned char>(bytes[at]); }

// The image's width and height from its header; nullopt when the header does not say.
std::optional<std::pair<uint32_t, uint32_t>> ImageSize(std::string_view bytes, TileImageFormat format) {
  const auto big16 = [&](std::size_t at) { return Byte(bytes, at) << 8 | Byte(bytes, at + 1); };
  const auto little16 = [&](std::size_t at) { return Byte(bytes, at) | Byte(bytes, at + 1) << 8; };
  const auto little24 = [&](std::size_t at) { return little16(at) | Byte(bytes, at + 2) << 16; };
  switch (format) {
    case TileImageFormat::Png:
      if (bytes.size() < 24) return std::nullopt;
      return std::pair{big16(16) << 16 | big16(18), big16(20) << 16 | big16(22)};
    case TileImageFormat::Gif:
      if (bytes.size() < 10) return std::nullopt;
      return std::pair{little16(6), little16(8)};
    case TileImageFormat::Jpeg:
      // The frame header: any SOF marker but DHT (C4), JPG (C8) and DAC (CC).
      for (std::size_t at = 2; at + 9 < bytes.size();) {
        if (Byte(bytes, at) != 0xFF) return std::nullopt;
        const uint32_t marker = Byte(bytes, at + 1);
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
          return std::pair{big16(at + 7), big16(at + 5)};
        at += 2 + big16(at + 2);
      }
      return std::nullopt;
    case TileImageFormat::WebP: {
      if (bytes.size() < 30) return std::nullopt;
      const std::string_view chunk = bytes.substr(12, 4);
      if (chunk == "VP8 ") return std::pair{little16(26) & 0x3FFF, little16(28) & 0x3FFF};
      if (chunk == "VP8X") return std::pair{little24(24) + 1, little24(27) + 1};
      if (chunk == "VP8L") {
        const uint32_t bits = Byte(bytes, 21) | Byte(bytes, 22) << 8 | Byte(bytes, 23) << 16 | Byte(bytes, 24) << 24;
        return std::pair{(bits & 0x3FFF) + 1, ((bits >> 14) & 0x3FFF) + 1};
      }
      return std::nullopt;
    }
    case TileImageFormat::None: break;
  }
  return std::nullopt;
}

std::string FormatName(TileImageFormat format) {
  switch (format) {
    case TileImageFormat::Png: return "PNG";
    case TileImageFormat::Jpeg: return "JPEG";
    case TileImageFormat::Gif: return "GIF";
    case TileImageFormat::WebP: return "WebP";
    case TileImageFormat::None: break;
  }
  return {};
}

// The sentence for a fetch that brought no tile.
std::string FailureSentence(const TileFetchResult& result) {
  if (result.outcome == FetchOutcome::Banned && !StatusOf(result.message))
    return "the server blocked this client (X-Blocked)";
  const int status = StatusOf(result.message);
  const std::string code = " (" + std::to_string(status) + ")";
  if (status == 401 || status == 403) return "the server refused the key" + code;
  if (status == 429) return "over quota" + code;
  if (status == 404) return "no tile there" + code;
  if (status >= 300 && status < 400) return "sent elsewhere" + code;
  if (status >= 500) return "the server failed" + code;
  if (status != 0) return "the server answered " + result.message;
  if (result.message.empty()) return "no answer";
  return "no answer: " + ReadableFailure(result.message);
}

// The tile at the middle of the source's bounds (of the world when it has
// none), at the zoom where the bounds are about one tile wide, kept to its range.
TilePlace MiddleTile(const TileSource& source) {
  const SourceBounds bounds = source.Bounds.value_or(SourceBounds{});
  int32_t zoom = source.MinZoom;
  if (source.Bounds) {
    const double width = std::max(bounds.east - bounds.west, 1e-9);
    zoom = std::clamp(static_cast<int32_t>(std::floor(std::log2(360.0 / width))), source.MinZoom, source.MaxZoom);
  }
  const double longitude = (bounds.west + bounds.east) / 2;
  const double latitude = (bounds.south + bounds.north) / 2 * kPi / 180;
  const double tiles = std::exp2(zoom);
  const auto cell = [&](double fraction) {
    return static_cast<int32_t>(std::clamp(std::floor(fraction * tiles), 0.0, tiles - 1));
  };
  return {cell((longitude + 180) / 360), cell((1 - std::asinh(std::tan(latitude)) / kPi) / 2), zoom,
          RowOrigin::FromTop};
}

// The body of a document or tile at an address, in one attempt.
std::string FetchDocument(const std::string& address, const NetworkSettings& network, const ProxyConfig& proxy) {
  // A national agency's capabilities can run to tens of megabytes.
  NetworkSettings document = network;
  document.MaxTileBytes = std::max<int64_t>(network.MaxTileBytes, int64_t{64} << 20);
  TileHttpClient client(document);
  if (const auto problem = ApplyProxy(proxy, client)) throw SourceImportError(*problem);
  std::string body;
  try {
    client.Get(address, body);
  } catch (const FetchError& error) {
    if (error.Status() != 0)
      throw SourceImportError("The address answered " + std::string(error.what()) + ", not a source document.");
    throw SourceImportError("The address does not answer: " + ReadableFailure(error.what()) + ".");
  }
  return body;
}

SourceImport ImportTileAddress(const std::string& address, const std::string& body, int64_t maxTileBytes) {
  const bool vector = NamesVectorTiles(address);
  if (const auto problem = vector ? VectorTileBodyProblem(body, maxTileBytes) : TileBodyProblem(body))
    throw SourceImportError(std::string("The address answered with ") + (vector ? "a tile" : "an image") +
                            " that cannot be used: " + std::string(*problem));
  const std::vector<TileAddressReading> readings = ReadTileAddress(address);
  if (readings.empty())
    throw SourceImportError("The address answered with a tile, but no zoom, column and row can be read from it.");
  if (readings.size() > 1) {
    std::string list;
    for (const TileAddressReading& reading : readings)
      list += (list.empty() ? "" : "; ") + reading.Template + " (zoom " + std::to_string(reading.zoom) + ", column " +
              std::to_string(reading.x) + ", row " + std::to_string(reading.y) + ")";
    throw SourceImportError("The address can be read in " + std::to_string(readings.size()) +
                            " ways, so none was taken: " + list + ".");
  }
  const TileAddressReading& reading = readings.front();
  TileSource source;
  source.Name = DocumentName(address);
  source.Template = reading.Template;
  const char* ending = vector ? kVectorTileEnding : TileImageEnding(TileImageFormatOf(body));
  source.Format = ending ? ending : "";
  SourceImport import;
  import.notes.push_back("The tile was read from " + reading.how + " as zoom " + std::to_string(reading.zoom) +
                         ", column " + std::to_string(reading.x) + ", row " + std::to_string(reading.y) + ".");
  import.notes.push_back("Rows were taken as counted from the top; if the map comes out upside down, "
                         "write {-y} for {y} in the template.");
  import.notes.push_back("The zoom range " + std::to_string(source.MinZoom) + "-" + std::to_string(source.MaxZoom) +
                         " was assumed.");
  import.sources.push_back(std::move(source));
  return import;
}

}  // namespace

SourceImport ImportSourcesFrom(const std::string& fileOrAddress, const NetworkSettings& network,
                               const ProxyConfig& proxy) {
  SourceImport import;
  if (IsWebAddress(fileOrAddress)) {
    const std::string body = FetchDocument(fileOrAddress, network, proxy);
    if (TileImageFormatOf(body) != TileImageFormat::None || NamesVectorTiles(fileOrAddress)) {
      import = ImportTileAddress(fileOrAddress, body, network.MaxTileBytes);
    } else if (SniffSourceDocument(body) == SourceDocumentKind::Unknown && !KindOfText(body).empty()) {
      throw SourceImportError("The address answered with " + KindOfText(body) +
                              ", which is neither a TileJSON, a WMTS capabilities document, a QGIS XYZ "
                              "connections file nor a tile.");
    } else {
      import = ImportSourceDocument(body, fileOrAddress);
    }
  } else {
    std::string text;
    try {
      text = ReadWholeFile(fileOrAddress);
    } catch (const std::exception& error) {
      throw SourceImportError(error.what());
    }
    import = ImportSourceDocument(text, fileOrAddress);
  }
  MakeNamesUsable(import, DocumentName(fileOrAddress));
  TakeKeysOut(import);
  return import;
}

SourceTestResult TestSource(const TileSource& source, const NetworkSettings& network, const ProxyConfig& proxy) {
  NetworkSettings once = network;
  once.RepeatLimit = 0;          // a busy server's wait is not worth a test's
  once.CheckTileBodies = false;  // checked here, to say what came instead
  TileHttpClient client(once);
  if (const auto problem = ApplyProxy(proxy, client)) return {false, "the proxy cannot be used: " + *problem};
  const std::atomic<bool> stop{false};
  TileFetcher fetcher(client, once, nullptr, stop);
  std::string body;
  const TileFetchResult result = fetcher.Fetch(ExpandTilePlaceholders(source.Template, MiddleTile(source)), body);
  if (result.status != TileFetchResult::Status::Fetched) return {false, FailureSentence(result)};
  const std::size_t kilobytes = std::max<std::size_t>(1, (body.size() + 512) / 1024);
  if (network.TileFormat == TaskTileFormat::Mvt) {
    if (const auto problem = VectorTileBodyProblem(body, network.MaxTileBytes)) return {false, std::string(*problem)};
    return {true, std::string("works: a vector tile") + (IsGzip(body) ? " (gzip), " : ", ") +
                      std::to_string(kilobytes) + " KB"};
  }
  const TileImageFormat format = TileImageFormatOf(body);
  if (format == TileImageFormat::None) {
    const std::string kind = KindOfText(body);
    return {false, "not an image: " + (kind.empty() ? std::string("unknown bytes") : kind)};
  }
  if (TileBodyProblem(body)) return {false, "not a whole image: a damaged " + FormatName(format)};
  std::string sentence = "works: ";
  if (const auto size = ImageSize(body, format))
    sentence += std::to_string(size->first) + "\xC3\x97" + std::to_string(size->second) + " ";
  return {true, sentence + FormatName(format) + ", " + std::to_string(kilobytes) + " KB"};
}
