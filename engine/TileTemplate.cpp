#include "TileTemplate.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>

#include "Mercator.h"

namespace {

constexpr std::string_view kSwitch = "switch:";
constexpr std::string_view kLevel = "level:";
constexpr std::array<std::string_view, 3> kSubdomains = {"a", "b", "c"};

void AppendNumber(std::string& out, int64_t value) {
  char digits[24];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, result.ptr);
}

void AppendShortest(std::string& out, double value) {
  char digits[32];
  const auto result = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, result.ptr);
}

bool InGrid(int32_t zoom) { return zoom >= 0 && zoom <= 30; }

// The other count of a row; y itself when the zoom has no grid to flip it in.
int64_t FlippedRow(int32_t y, int32_t zoom) { return InGrid(zoom) ? (int64_t{1} << zoom) - 1 - y : y; }

// The items of a "switch:A,B,..." name; empty for an empty list.
std::vector<std::string_view> ListItems(std::string_view name, std::string_view prefix) {
  std::vector<std::string_view> items;
  std::string_view list = name.substr(prefix.size());
  if (list.empty()) return items;
  for (std::size_t start = 0;;) {
    const std::size_t comma = list.find(',', start);
    items.push_back(list.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return items;
}

// A switch with an empty item would send an address with nothing in its place ("//4/8/5.png").
bool HasEmptyItem(const std::vector<std::string_view>& items) {
  return items.empty() || std::any_of(items.begin(), items.end(), [](std::string_view item) { return item.empty(); });
}

// Levels may be missing from a list, but a list of no level names none.
bool HasNoLevel(const std::vector<std::string_view>& items) {
  return std::all_of(items.begin(), items.end(), [](std::string_view item) { return item.empty(); });
}

bool IsKnown(std::string_view name) {
  static constexpr std::string_view kNames[] = {"x", "y", "-y", "z", "n", "s", "q", "bbox", "width", "height", "key"};
  if (name.starts_with(kSwitch)) return !HasEmptyItem(ListItems(name, kSwitch));
  if (name.starts_with(kLevel)) return !HasNoLevel(ListItems(name, kLevel));
  return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

// Appends the value of a known placeholder; false (nothing appended) for any other name.
bool AppendPlaceholder(std::string& out, std::string_view name, const TilePlace& tile) {
  const int64_t topRow = tile.origin == RowOrigin::FromTop ? tile.y : FlippedRow(tile.y, tile.zoom);
  const int64_t bottomRow = tile.origin == RowOrigin::FromBottom ? tile.y : FlippedRow(tile.y, tile.zoom);
  if (name == "x") {
    AppendNumber(out, tile.x);
  } else if (name == "y") {
    AppendNumber(out, tile.y);
  } else if (name == "-y") {
    if (!InGrid(tile.zoom)) return false;
    AppendNumber(out, (int64_t{1} << tile.zoom) - 1 - tile.y);
  } else if (name == "z") {
    AppendNumber(out, tile.zoom);
  } else if (name == "n") {
    AppendNumber(out, tile.y % 4);
  } else if (name == "s") {
    out += kSubdomains[SubdomainIndex(tile.x, tile.y, kSubdomains.size())];
  } else if (name.starts_with(kSwitch)) {
    const std::vector<std::string_view> items = ListItems(name, kSwitch);
    if (HasEmptyItem(items)) return false;
    out += items[SubdomainIndex(tile.x, tile.y, items.size())];
  } else if (name.starts_with(kLevel)) {
    const std::vector<std::string_view> items = ListItems(name, kLevel);
    if (tile.zoom < 0 || static_cast<std::size_t>(tile.zoom) >= items.size() || items[tile.zoom].empty()) return false;
    out += items[tile.zoom];
  } else if (name == "q") {
    out += Quadkey(tile.x, static_cast<int32_t>(bottomRow), tile.zoom);
  } else if (name == "bbox") {
    out += MercatorBoundsText(tile.x, static_cast<int32_t>(topRow), tile.zoom);
  } else if (name == "width" || name == "height") {
    out += "256";
  } else {
    return false;
  }
  return true;
}

// Walks the placeholders of a value: onText for plain text, onName for each
// "{name}" (name without braces), onStray for a brace that opens or closes nothing.
template <typename Text, typename Name, typename Stray>
void Scan(std::string_view value, Text onText, Name onName, Stray onStray) {
  std::size_t i = 0;
  while (i < value.size()) {
    const std::size_t brace = value.find_first_of("{}", i);
    if (brace == std::string_view::npos) {
      onText(value.substr(i));
      return;
    }
    onText(value.substr(i, brace - i));
    if (value[brace] == '}') {
      onStray(value.substr(brace, 1));
      i = brace + 1;
      continue;
    }
    const std::size_t end = value.find_first_of("{}", brace + 1);
    if (end == std::string_view::npos || value[end] == '{') {
      onStray(value.substr(brace, 1));
      i = brace + 1;
      continue;
    }
    onName(value.substr(brace + 1, end - brace - 1), value.substr(brace, end - brace + 1));
    i = end + 1;
  }
}

}  // namespace

bool IsAddressTemplate(std::string_view value) {
  for (std::string_view tilePart : {"{x}", "{y}", "{-y}", "{z}", "{q}", "{bbox}"})
    if (value.find(tilePart) != std::string_view::npos) return true;
  return false;
}

std::vector<std::string> UnknownPlaceholders(std::string_view value) {
  std::vector<std::string> unknown;
  const auto add = [&](std::string_view written) {
    if (std::find(unknown.begin(), unknown.end(), written) == unknown.end()) unknown.emplace_back(written);
  };
  Scan(
      value, [](std::string_view) {},
      [&](std::string_view name, std::string_view written) {
        if (!IsKnown(name)) add(written);
      },
      add);
  return unknown;
}

std::string ExpandTilePlaceholders(std::string_view value, const TilePlace& tile) {
  std::string out;
  out.reserve(value.size() + 32);
  Scan(
      value, [&](std::string_view text) { out.append(text); },
      [&](std::string_view name, std::string_view written) {
        if (!AppendPlaceholder(out, name, tile)) out.append(written);
      },
      [&](std::string_view brace) { out.append(brace); });
  return out;
}

std::string MercatorBoundsText(int32_t x, int32_t topRow, int32_t zoom) {
  const double size = MercatorTileSide(InGrid(zoom) ? zoom : 0);
  // Each edge from its own grid line, so neighbours share their edges exactly.
  const auto edge = [&](int64_t line) { return -kMercatorHalfWorld + static_cast<double>(line) * size; };
  const auto northEdge = [&](int64_t line) { return kMercatorHalfWorld - static_cast<double>(line) * size; };
  std::string text;
  AppendShortest(text, edge(x));
  text += ',';
  AppendShortest(text, northEdge(int64_t{topRow} + 1));
  text += ',';
  AppendShortest(text, edge(int64_t{x} + 1));
  text += ',';
  AppendShortest(text, northEdge(topRow));
  return text;
}

std::size_t SubdomainIndex(int32_t x, int32_t y, std::size_t count) {
  if (count == 0) return 0;
  return static_cast<std::size_t>(std::llabs(int64_t{x} + y) % static_cast<int64_t>(count));
}

std::string Quadkey(int32_t x, int32_t bottomRow, int32_t zoom) {
  static constexpr char kDigit[2][2] = {{'2', '0'}, {'3', '1'}};  // [column bit][row bit]
  std::string key;
  if (zoom <= 0) return key;
  key.reserve(static_cast<std::size_t>(zoom));
  for (int32_t i = zoom - 1; i >= 0; --i) {
    const int shift = i < 31 ? i : 31;  // beyond 31 only the sign is left
    key += kDigit[(x >> shift) & 1][(bottomRow >> shift) & 1];
  }
  return key;
}
