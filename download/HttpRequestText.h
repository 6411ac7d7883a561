#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "NetworkSettings.h"
#include "Text.h"
#include "TileFreshness.h"

// The request side of a tile fetch as data: the parts of an address and the
// exact text that goes on the wire for it, so tests compare bytes without a socket.

inline constexpr const char* kAcceptedTypes = "text/html, */*";

// The parts of an address, split as the request needs them. Never throws:
// the client checks the parts before it fetches.
struct SplitUrl {
  std::string protocol;  // "http", "https", ... as written
  std::string host;
  std::string port;      // empty when the address names none
  std::string path;      // up to and including the last "/" before any query; "/" when none
  std::string document;  // the rest, query included (a "#fragment" is never sent and is dropped)
};
SplitUrl SplitAddress(const std::string& url);

// The header lines a tile request sends after its request line, in order:
// Host, Accept, User-Agent (none for an empty agent), the configured
// headers (one named Accept or User-Agent replaces that line in place; one
// that cannot be sent is left out), then If-None-Match and If-Modified-Since
// when known validators are given.
RequestHeaders TileRequestHeaders(const std::string& host, const std::string& userAgent,
                                  const RequestHeaders& configured, const TileValidators* known = nullptr);

// The exact request text for an address, as the client sends it. Through a
// proxy the target is absolute; it keeps a port the address names (other than
// the protocol's default), so that the proxy reaches the same server as a
// direct request would. An https address through a proxy is tunnelled instead.
std::string BuildRequestText(const SplitUrl& url, const std::string& proxyServer,
                             const std::string& proxyUsername, const std::string& proxyPassword,
                             const std::string& userAgent, const RequestHeaders& configured = {},
                             const TileValidators* known = nullptr);

// Origin form ("/a/b/c.png") directly, absolute form through a proxy.
std::string RequestTarget(const SplitUrl& url, bool throughProxy);
// The value of the Proxy-Authorization header: "Basic " + Base64(user:password).
std::string ProxyAuthorizationValue(const std::string& user, const std::string& password);
std::string Base64(std::string_view bytes);
// "443" for https, "80" otherwise.
std::string DefaultPortFor(std::string_view protocol);

