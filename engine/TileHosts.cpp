#include "TileHosts.h"

#include <stdexcept>

#include "Text.h"

namespace {

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// Letters, digits, '-', '.', '_', and the bytes of a name written in UTF-8.
bool IsHostChar(char c) {
  return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '-' || c == '.' || c == '_' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// The length of the scheme when the value opens with "scheme://"; 0 otherwise.
std::size_t SchemeLength(std::string_view value) {
  std::size_t i = 0;
  if (value.empty() || !IsAsciiLetter(value[0])) return 0;
  while (i < value.size() && (IsAsciiLetter(value[i]) || IsAsciiDigit(value[i]) || value[i] == '+' ||
                              value[i] == '-' || value[i] == '.'))
    ++i;
  return value.substr(i).starts_with("://") ? i : 0;
}

// Why a host (placeholders included, no port) is none.
std::optional<std::string> HostProblem(std::string_view host) {
  if (host.empty()) return "names no host";
  for (std::size_t i = 0; i < host.size(); ++i) {
    if (host[i] == '{') {
      const std::size_t end = host.find('}', i);
      if (end == std::string_view::npos) return std::nullopt;  // the placeholder check names a lone brace
      const std::string_view name = host.substr(i + 1, end - i - 1);
      if (name.starts_with("switch:")) {
        for (char c : name.substr(7))
          if (c != ',' && !IsHostChar(c)) return "has a host name with the character '" + std::string(1, c) + "'";
      }
      i = end;
    } else if (!IsHostChar(host[i])) {
      return "has a host name with the character '" + std::string(1, host[i]) + "'";
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> UnfetchedScheme(std::string_view value) {
  value = Trim(value);
  const std::size_t length = SchemeLength(value);
  if (length == 0) return std::nullopt;
  const std::string_view scheme = value.substr(0, length);
  if (StartsWithNoCase(scheme, "http") && (length == 4 || (length == 5 && (scheme[4] | 0x20) == 's')))
    return std::nullopt;
  return std::string(scheme);
}

std::optional<std::string> TileAddressFormProblem(std::string_view value) {
  value = Trim(value);
  for (char c : value)
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) return "holds a blank or a control character";
  value.remove_prefix(SchemeLength(value) == 0 ? 0 : SchemeLength(value) + 3);
  std::string_view authority = value.substr(0, value.find_first_of("/?#"));
  // "user:password@" before the host is the host's business, not the form's.
  if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) authority.remove_prefix(at + 1);
  std::string_view host = authority, port;
  if (authority.starts_with('[')) {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos || close == 1) return "has an IPv6 address without its closing ']'";
    for (char c : authority.substr(1, close - 1))
      if (!IsAsciiDigit(c) && !IsAsciiLetter(c) && c != ':' && c != '.')
        return "has an IPv6 address with the character '" + std::string(1, c) + "'";
    host = {};
    port = authority.substr(close + 1);
    if (!port.empty() && !port.starts_with(':')) return "has text after its IPv6 address";
  } else {
    // The port's colon is the first one outside a placeholder.
    std::size_t colon = std::string_view::npos;
    for (std::size_t i = 0; i < authority.size() && colon == std::string_view::npos; ++i) {
      if (authority[i] == '{') {
        const std::size_t end = authority.find('}', i);
        i = end == std::string_view::npos ? authority.size() : end;
      } else if (authority[i] == ':') {
        colon = i;
      }
    }
    host = authority.substr(0, colon);
    port = colon == std::string_view::npos ? std::string_view() : authority.substr(colon);
    if (std::optional<std::string> problem = HostProblem(host)) return problem;
  }
  if (!port.empty()) {
    port.remove_prefix(1);
    int number = 0;
    for (char c : port) number = IsAsciiDigit(c) && number <= 65535 ? number * 10 + (c - '0') : 70000;
    if (port.empty() || number < 1 || number > 65535) return "has a port that is not a number from 1 to 65535";
  }
  return std::nullopt;
}

std::string& TileHosts::ByKeyIndex(std::size_t i) {
  return const_cast<std::string&>(static_cast<const TileHosts&>(*this).ByKeyIndex(i));
}

const std::string& TileHosts::ByKeyIndex(std::size_t i) const {
  switch (i) {
    case 0: return GoogleMap;
    case 1: return GoogleSatellite;
    case 2: return YahooStreet;
    case 3: return YahooSatellite;
    case 4: return VirtualEarthRoad;
    case 5: return VirtualEarthAerial;
    case 6: return VirtualEarthHybrid;
    case 7: return OpenStreetMap;
  }
  throw std::out_of_range("No tile host key " + std::to_string(i));
}
