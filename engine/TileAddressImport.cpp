// A tile address copied from a browser, read as a template: which of its
// numbers are the zoom, the column and the row. Named query parameters are
// the surest, a known layout next, and the path's last three numbers the
// guess of last resort; a reading whose column or row lies beyond the
// zoom's grid cannot be the tile, so it is dropped. Keys written into an
// address are taken out here too, so that none is stored with a source.

#include <algorithm>
#include <charconv>

#include "SourceImport.h"
#include "Text.h"

namespace {

// Where the query's parameters are in an address, name and value each.
struct QueryParameter {
  std::size_t nameAt, nameSize, valueAt, valueSize;
};

std::vector<QueryParameter> QueryParameters(std::string_view address) {
  std::vector<QueryParameter> parameters;
  const std::size_t question = address.find('?');
  if (question == std::string_view::npos) return parameters;
  const std::size_t end = std::min(address.find('#', question), address.size());
  for (std::size_t start = question + 1; start < end;) {
    std::size_t stop = address.find('&', start);
    if (stop == std::string_view::npos || stop > end) stop = end;
    const std::size_t equals = address.find('=', start);
    if (equals != std::string_view::npos && equals < stop)
      parameters.push_back({start, equals - start, equals + 1, stop - equals - 1});
    start = stop + 1;
  }
  return parameters;
}

std::string_view NameOf(std::string_view address, const QueryParameter& parameter) {
  return address.substr(parameter.nameAt, parameter.nameSize);
}
std::string_view ValueOf(std::string_view address, const QueryParameter& parameter) {
  return address.substr(parameter.valueAt, parameter.valueSize);
}

// One number of an address and where it stands.
struct NumberAt {
  std::size_t at = 0, size = 0;
  int32_t value = 0;
};

// A value that is a number, or (prefixAllowed) text ending in one, which
// the template keeps: "EPSG:3857:{z}". "L05" is neither: "05" would not read back.
std::optional<NumberAt> NumberValue(std::string_view address, const QueryParameter& parameter, bool prefixAllowed) {
  const std::string_view value = ValueOf(address, parameter);
  std::size_t digits = value.size();
  while (digits > 0 && value[digits - 1] >= '0' && value[digits - 1] <= '9') --digits;
  if (digits == value.size() || (digits > 0 && !prefixAllowed)) return std::nullopt;
  if (value.size() - digits > 1 && value[digits] == '0') return std::nullopt;  // "05" would not read back
  const auto number = WholeNumber(value.substr(digits));
  if (!number) return std::nullopt;
  return NumberAt{parameter.valueAt + digits, value.size() - digits, *number};
}

bool KeepsToGrid(int32_t zoom, int32_t x, int32_t y) {
  if (zoom < 0 || zoom > 30 || x < 0 || y < 0) return false;
  const int64_t size = int64_t{1} << zoom;
  return x < size && y < size;
}

// The address with each number replaced by its placeholder, the rest as it was.
TileAddressReading MakeReading(std::string_view address, std::vector<std::pair<NumberAt, std::string>> parts,
                               const NumberAt& z, const NumberAt& x, const NumberAt& y, std::string how) {
  std::sort(parts.begin(), parts.end(), [](const auto& a, const auto& b) { return a.first.at > b.first.at; });
  std::string text(address);
  for (const auto& [number, placeholder] : parts) text.replace(number.at, number.size, placeholder);
  return {text, z.value, x.value, y.value, std::move(how)};
}

std::optional<TileAddressReading> ReadQuery(std::string_view address) {
  static constexpr std::string_view kZoomNames[] = {"z", "zoom", "l", "level", "tilematrix"};
  static constexpr std::string_view kColumnNames[] = {"x", "tilecol"};
  static constexpr std::string_view kRowNames[] = {"y", "tilerow"};
  std::optional<NumberAt> z, x, y;
  std::string zName, xName, yName;
  for (const QueryParameter& parameter : QueryParameters(address)) {
    const std::string name = LowerAscii(NameOf(address, parameter));
    const auto is = [&](const auto& names) { return std::find(std::begin(names), std::end(names), name) != std::end(names); };
    if (is(kZoomNames) && !z) {
      z = NumberValue(address, parameter, name == "tilematrix");
      zName = NameOf(address, parameter);
    } else if (is(kColumnNames) && !x) {
      x = NumberValue(address, parameter, false);
      xName = NameOf(address, parameter);
    } else if (is(kRowNames) && !y) {
      y = NumberValue(address, parameter, false);
      yName = NameOf(address, parameter);
    }
  }
  if (!z || !x || !y || !KeepsToGrid(z->value, x->value, y->value)) return std::nullopt;
  return MakeReading(address, {{*z, "{z}"}, {*x, "{x}"}, {*y, "{y}"}}, *z, *x, *y,
                     "the query's " + zName + ", " + xName + " and " + yName);
}

// The numbers that begin the path's segments ("5" of "5.png", "5@2x.png"), in order.
std::vector<NumberAt> PathNumbers(std::string_view address, std::vector<std::string_view>* segmentsBefore) {
  std::vector<NumberAt> numbers;
  const std::size_t scheme = address.find("://");
  std::size_t start = address.find('/', scheme == std::string_view::npos ? 0 : scheme + 3);
  const std::size_t end = std::min(address.find_first_of("?#"), address.size());
  while (start != std::string_view::npos && start < end) {
    const std::size_t segmentAt = start + 1;
    std::size_t stop = address.find('/', segmentAt);
    if (stop == std::string_view::npos || stop > end) stop = end;
    const std::string_view segment = address.substr(segmentAt, stop - segmentAt);
    std::size_t digits = 0;
    while (digits < segment.size() && segment[digits] >= '0' && segment[digits] <= '9') ++digits;
    const bool last = stop == end;
    // A number alone, or (last) a number before the file's ending.
    const bool whole = digits == segment.size() || (last && digits > 0 && (segment[digits] == '.' || segment[digits] == '@'));
    const auto number = whole && (digits == 1 || segment[0] != '0') ? WholeNumber(segment.substr(0, digits)) : std::nullopt;
    if (number) {
      numbers.push_back({segmentAt, digits, *number});
    } else if (segmentsBefore) {
      segmentsBefore->push_back(segment);
      numbers.push_back({segmentAt, 0, -1});  // a marker: no number here
    }
    start = stop < end ? stop : std::string_view::npos;
  }
  return numbers;
}

std::vector<TileAddressReading> ReadLayouts(std::string_view address) {
  std::vector<TileAddressReading> readings;
  std::vector<std::string_view> words;
  const std::vector<NumberAt> segments = PathNumbers(address, &words);
  // .../MapServer/tile/{z}/{y}/{x}: the last three segments, "tile" before them, "MapServer" somewhere before.
  if (segments.size() >= 4 && words.size() >= 2) {
    const std::size_t n = segments.size();
    const NumberAt &z = segments[n - 3], &y = segments[n - 2], &x = segments[n - 1];
    const bool numbers = z.value >= 0 && y.value >= 0 && x.value >= 0 && x.size > 0;
    const bool tileBefore = segments[n - 4].value < 0 && EqualsIgnoringCase(words.back(), "tile");
    const bool mapServer = std::any_of(words.begin(), words.end(), [](std::string_view word) {
      return EqualsIgnoringCase(word, "MapServer") || EqualsIgnoringCase(word, "ImageServer");
    });
    if (numbers && tileBefore && mapServer && KeepsToGrid(z.value, x.value, y.value))
      readings.push_back(MakeReading(address, {{z, "{z}"}, {y, "{y}"}, {x, "{x}"}}, z, x, y, ".../tile/{z}/{y}/{x}"));
  }
  return readings;
}

// Every three numbered segments in a row, from the end, as z/x/y.
std::vector<TileAddressReading> ReadPathNumbers(std::string_view address) {
  std::vector<TileAddressReading> readings;
  const std::vector<NumberAt> segments = PathNumbers(address, nullptr);
  for (std::size_t i = segments.size(); i >= 3; --i) {
    const NumberAt &z = segments[i - 3], &x = segments[i - 2], &y = segments[i - 1];
    // Only numbers that stand next to each other in the path.
    if (z.at + z.size + 1 != x.at || x.at + x.size + 1 != y.at) continue;
    if (!KeepsToGrid(z.value, x.value, y.value)) continue;
    readings.push_back(MakeReading(address, {{z, "{z}"}, {x, "{x}"}, {y, "{y}"}}, z, x, y,
                                   i == segments.size() ? "the path's last three numbers" : "three numbers of the path"));
  }
  return readings;
}

bool IsKeyName(std::string_view name) {
  for (std::string_view keyName : {"key", "api_key", "apikey", "access_token", "token"})
    if (EqualsIgnoringCase(name, keyName)) return true;
  return false;
}
}  // namespace

std::vector<TileAddressReading> ReadTileAddress(std::string_view address) {
  address = Trim(address, kWhiteSpace);
  if (auto reading = ReadQuery(address)) return {*reading};
  if (auto readings = ReadLayouts(address); !readings.empty()) return readings;
  return ReadPathNumbers(address);
}

std::string TakeKeyOut(std::string_view address, std::string& key) {
  std::string out(address);
  const std::vector<QueryParameter> parameters = QueryParameters(address);
  for (auto parameter = parameters.rbegin(); parameter != parameters.rend(); ++parameter) {
    const std::string_view value = ValueOf(address, *parameter);
    if (!IsKeyName(NameOf(address, *parameter)) || value.empty() || value == kKeyPlaceholder) continue;
    key = value;  // the first one, walking back
    out.replace(parameter->valueAt, parameter->valueSize, kKeyPlaceholder);
  }
  return out;
}

void TakeKeysOut(SourceImport& import) {
  import.keys.assign(import.sources.size(), std::string());
  for (std::size_t i = 0; i < import.sources.size(); ++i) {
    TileSource& source = import.sources[i];
    std::string& key = import.keys[i];
    source.Template = TakeKeyOut(source.Template, key);
    for (auto& [name, value] : source.Headers) {
      // "Bearer KEY" keeps its word; a header holding another key than the address's keeps it.
      const std::size_t at = EqualsIgnoringCase(name, "Authorization") && StartsWithNoCase(value, "bearer ") ? 7 : 0;
      const std::string secret = value.substr(at);
      const bool keyHeader = at > 0 || Contains(LowerAscii(name), "key") || Contains(LowerAscii(name), "token");
      if (!keyHeader || secret.empty() || Contains(secret, kKeyPlaceholder)) continue;
      if (!key.empty() && secret != key) {
        import.notes.push_back("The source '" + source.Name + "' sends a second key in its header " + name +
                               ", which stays in the source: a source keeps one key apart.");
        continue;
      }
      key = secret;
      value = value.substr(0, at) + kKeyPlaceholder;
    }
  }
}
