#include "HttpRequestText.h"

#include <algorithm>
#include <cstdint>

#include "RequestHeaders.h"

std::string Base64(std::string_view bytes) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
    out.push_back(kDigits[(group >> 18) & 63]);
    out.push_back(kDigits[(group >> 12) & 63]);
    out.push_back(i + 1 < bytes.size() ? kDigits[(group >> 6) & 63] : '=');
    out.push_back(i + 2 < bytes.size() ? kDigits[group & 63] : '=');
  }
  return out;
}

std::string DefaultPortFor(std::string_view protocol) {
  return EqualsIgnoringCase(protocol, "https") ? "443" : "80";
}

std::string RequestTarget(const SplitUrl& url, bool throughProxy) {
  if (!throughProxy) return url.path + url.document;
  std::string target = LowerAscii(url.protocol) + "://" + url.host;
  if (!url.port.empty() && url.port != DefaultPortFor(url.protocol)) target += ":" + url.port;
  return target + url.path + url.document;
}

std::string ProxyAuthorizationValue(const std::string& user, const std::string& password) {
  return "Basic " + Base64(user + ":" + password);
}

SplitUrl SplitAddress(const std::string& url) {
  SplitUrl parts;
  std::string_view rest = url;
  if (std::size_t scheme = rest.find("://"); scheme != std::string_view::npos) {
    parts.protocol = std::string(rest.substr(0, scheme));
    rest.remove_prefix(scheme + 3);
  }
  if (std::size_t fragment = rest.find('#'); fragment != std::string_view::npos)
    rest = rest.substr(0, fragment);
  std::size_t authorityEnd = std::min(rest.find('/'), rest.find('?'));
  std::string_view authority = rest.substr(0, authorityEnd);
  rest = authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd);
  // A bracketed IPv6 literal keeps its colons; the port follows the bracket.
  std::size_t hostEnd = authority.starts_with('[') ? authority.find(']') : 0;
  std::size_t colon = authority.find(':', hostEnd == std::string_view::npos ? 0 : hostEnd);
  parts.host = std::string(authority.substr(0, colon));
  if (colon != std::string_view::npos) parts.port = std::string(authority.substr(colon + 1));
  std::size_t lastSlash = rest.substr(0, rest.find('?')).rfind('/');
  if (lastSlash == std::string_view::npos) {
    parts.path = "/";
    parts.document = std::string(rest);
  } else {
    parts.path = std::string(rest.substr(0, lastSlash + 1));
    parts.document = std::string(rest.substr(lastSlash + 1));
  }
  return parts;
}

RequestHeaders TileRequestHeaders(const std::string& host, const std::string& userAgent,
                                  const RequestHeaders& configured, const TileValidators* known) {
  RequestHeaders headers = {{"Host", host}, {"Accept", kAcceptedTypes}};
  if (!userAgent.empty()) headers.emplace_back("User-Agent", userAgent);
  for (const auto& header : configured) {
    if (RequestHeaderProblem(header.first, header.second)) continue;
    const bool replaces = EqualsIgnoringCase(header.first, "Accept") || EqualsIgnoringCase(header.first, "User-Agent");
    auto own = headers.begin() + 1;
    while (own != headers.end() && !(replaces && EqualsIgnoringCase(own->first, header.first))) ++own;
    if (own != headers.end()) {
      own->second = header.second;
    } else {
      headers.push_back(header);
    }
  }
  if (known && !known->etag.empty()) headers.emplace_back("If-None-Match", known->etag);
  if (known && !known->lastModified.empty()) headers.emplace_back("If-Modified-Since", known->lastModified);
  return headers;
}

std::string BuildRequestText(const SplitUrl& url, const std::string& proxyServer,
                             const std::string& proxyUsername, const std::string& proxyPassword,
                             const std::string& userAgent, const RequestHeaders& configured,
                             const TileValidators* known) {
  bool proxy = !proxyServer.empty();
  std::string text = "GET " + RequestTarget(url, proxy) + " HTTP/1.1\r\n";
  for (const auto& [name, value] : TileRequestHeaders(url.host, userAgent, configured, known))
    text += name + (value.empty() ? ":" : ": " + value) + "\r\n";
  if (proxy && !proxyUsername.empty())
    text += "Proxy-Authorization: " + ProxyAuthorizationValue(proxyUsername, proxyPassword) + "\r\n";
  return text + "\r\n";
}
