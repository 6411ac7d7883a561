#include "TextFormat.h"

#include <charconv>
#include <cmath>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <locale.h>

#include "Text.h"

namespace {

// printf's spellings, which to_chars shares except for the sign of a NaN.
std::string_view NonFiniteText(double value) {
  if (value != value) return std::signbit(value) ? "-nan" : "nan";
  return value < 0 ? "-inf" : "inf";
}

}  // namespace

std::string FormatGeneral(double value) {
  if (!std::isfinite(value)) {
    if (value != value) return "NAN";
    return value < 0 ? "-INF" : "INF";
  }
  if (value == 0) return "0";

  // 15 significant digits, correctly rounded: d.dddddddddddddde±XX.
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
  std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));

  const bool negative = text.front() == '-';
  if (negative) text.remove_prefix(1);
  const std::size_t ePos = text.find('e');
  std::string digits;
  for (char c : text.substr(0, ePos))
    if (c != '.') digits += c;
  int exponent = 0;
  std::string_view expText = text.substr(ePos + 1);
  if (expText.front() == '+') expText.remove_prefix(1);
  std::from_chars(expText.data(), expText.data() + expText.size(), exponent);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

  std::string out = negative ? "-" : "";
  if (exponent < -5 || exponent >= 15) {
    out += digits[0];
    if (digits.size() > 1) {
      out += '.';
      out.append(digits, 1);
    }
    out += 'E';
    out += std::to_string(exponent);
  } else if (exponent < 0) {
    out += "0.";
    out.append(static_cast<std::size_t>(-exponent - 1), '0');
    out += digits;
  } else {
    const auto integerDigits = static_cast<std::size_t>(exponent) + 1;
    if (digits.size() <= integerDigits) {
      out += digits;
      out.append(integerDigits - digits.size(), '0');
    } else {
      out.append(digits, 0, integerDigits);
      out += '.';
      out.append(digits, integerDigits);
    }
  }
  return out;
}

std::size_t FormatFixed20_14(char* out, double value) {
  constexpr std::size_t kWidth = 20;
  char buffer[kFixed20_14MaxChars];
  std::size_t length;
  if (std::isfinite(value)) {
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 14);
    length = static_cast<std::size_t>(result.ptr - buffer);
  } else {
    std::string_view text = NonFiniteText(value);
    std::memcpy(buffer, text.data(), text.size());
    length = text.size();
  }
  const std::size_t padding = length < kWidth ? kWidth - length : 0;
  std::memset(out, ' ', padding);
  std::memcpy(out + padding, buffer, length);
  return padding + length;
}

std::string FormatFixed20_14(double value) {
  char buffer[kFixed20_14MaxChars];
  return std::string(buffer, FormatFixed20_14(buffer, value));
}

std::optional<int32_t> ParseInt32(std::string_view text) {
  text = Trim(text);
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    std::string_view hex = text.substr(2);
    uint32_t value = 0;
    auto result = std::from_chars(hex.data(), hex.data() + hex.size(), value, 16);
    if (result.ec != std::errc() || result.ptr != hex.data() + hex.size()) return std::nullopt;
    return static_cast<int32_t>(value);
  }
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && text.front() == '-') return std::nullopt;
  }
  int32_t value = 0;
  auto result = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string LocalDateTimeText(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);

  // The user's time format, without touching the process-wide locale.
  locale_t userLocale = newlocale(LC_TIME_MASK, "", static_cast<locale_t>(nullptr));
  locale_t previous = userLocale ? uselocale(userLocale) : static_cast<locale_t>(nullptr);
  char buffer[256];
  const std::size_t length = std::strftime(buffer, sizeof buffer, "%x %X", &local);
  if (userLocale) {
    uselocale(previous);
    freelocale(userLocale);
  }
  return std::string(buffer, length);
}

std::string LocalDateTimeTextNow() { return LocalDateTimeText(std::time(nullptr)); }

std::vector<std::string> SplitTextLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
    if (end == std::string_view::npos) end = text.size();
    if (end > start && text[end - 1] == '\r') --end;
    lines.emplace_back(text.substr(start, end - start));
    start = next;
  }
  return lines;
}

std::string SizeEstimateText(int64_t tiles) { return ByteSizeText(static_cast<double>(tiles) * kTypicalTileBytes); }

std::string ByteSizeText(double bytes) {
  const char* units[] = {"bytes", "KB", "MB", "GB", "TB", "PB"};
  double value = bytes;
  std::size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(units)) value /= 1024, ++unit;
  char text[48];
  std::snprintf(text, sizeof text, unit == 0 ? "about %.0f %s" : "about %.1f %s", value, units[unit]);
  return text;
}
