#include "TileHttpClient.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <string_view>

// Life of a Get: the address is split and checked (only http and https go
// out); a change of where the connection goes replaces the easy handle,
// which closes the old connection before the new one opens. libcurl then
// sends exactly the request of BuildRequestText: its own Accept, User-Agent
// and Proxy-Connection are replaced or removed by the custom header lists.
// Callbacks watch the transfer: the header callback keeps the status line,
// "Location" and "Connection"; the body callback appends to the caller's
// buffer within the size cap; the progress callback ends a transfer that has
// received nothing for the read time-out. The outcome becomes a message from
// fixed texts only. A response that asks for the connection to close (or
// any failed transfer) replaces the handle again.

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kAccept = "text/html, */*";
constexpr const char* kClosedGracefully = "Connection Closed Gracefully.";
constexpr int64_t kMaxHeaderBytes = 64 * 1024;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string LowerCase(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), Lower);
  return lower;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Lower(x) == Lower(y); });
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

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

std::string DefaultPort(std::string_view protocol) {
  return EqualsNoCase(protocol, "https") ? "443" : "80";
}

bool UsesProxy(const std::string& proxyServer) { return !proxyServer.empty(); }

// The request target: origin form directly, absolute form through a proxy.
std::string RequestTarget(const SplitUrl& url, bool proxy) {
  if (!proxy) return url.path + url.document;
  std::string target = LowerCase(url.protocol) + "://" + url.host;
  if (!url.port.empty() && url.port != DefaultPort(url.protocol)) target += ":" + url.port;
  return target + url.path + url.document;
}

std::string ProxyAuthorization(const std::string& user, const std::string& password) {
  return "Basic " + Base64(user + ":" + password);
}

// An address Get can fetch: a known protocol, a plain host, a decimal port
// and no byte that would need encoding on the wire.
void CheckAddress(const std::string& address, const SplitUrl& url) {
  std::string protocol = LowerCase(url.protocol);
  if (protocol != "http" && protocol != "https")
    throw FetchError("Unsupported protocol: only http and https addresses are fetched.");
  bool plainBytes = std::all_of(address.begin(), address.end(), [](char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte > 0x20 && byte < 0x7f;
  });
  if (!plainBytes || url.host.empty() || url.host.find_first_of("@\\") != std::string::npos)
    throw FetchError("Invalid address.");
  if (!url.port.empty() && (!AllDigits(url.port) || url.port.size() > 5 || std::stoi(url.port) < 1 ||
                            std::stoi(url.port) > 65535))
    throw FetchError("Invalid port in the address.");
}

std::string HeaderValueOrEmpty(std::string_view line, std::string_view name) {
  if (line.size() <= name.size() || line[name.size()] != ':' || !EqualsNoCase(line.substr(0, name.size()), name))
    return {};
  return std::string(Trim(line.substr(name.size() + 1)));
}

bool HasHeader(std::string_view line, std::string_view name) {
  return line.size() > name.size() && line[name.size()] == ':' &&
         EqualsNoCase(line.substr(0, name.size()), name);
}

// reserve() may round a request up to twice the old capacity; a fresh string
// gets exactly what is asked, so the body cap bounds the memory held.
void GrowTo(std::string& buffer, std::size_t capacity) {
  if (capacity <= buffer.capacity()) return;
  std::string grown;
  grown.reserve(capacity);
  grown.append(buffer);
  buffer.swap(grown);
}

bool IsTlsFailure(int code) {
  switch (code) {
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_USE_SSL_FAILED:
      return true;
    default:
      return false;
  }
}

}  // namespace

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

std::string BuildRequestText(const SplitUrl& url, const std::string& proxyServer,
                             const std::string& proxyUsername, const std::string& proxyPassword,
                             const std::string& userAgent) {
  bool proxy = UsesProxy(proxyServer);
  std::string text = "GET " + RequestTarget(url, proxy) + " HTTP/1.1\r\n";
  text += "Host: " + url.host + "\r\n";
  text += std::string("Accept: ") + kAccept + "\r\n";
  // An empty agent sends no User-Agent line at all.
  if (!userAgent.empty()) text += "User-Agent: " + userAgent + "\r\n";
  if (proxy && !proxyUsername.empty())
    text += "Proxy-Authorization: " + ProxyAuthorization(proxyUsername, proxyPassword) + "\r\n";
  return text + "\r\n";
}

std::string SocketErrorMessage(int winsockError) {
  const char* text = "";
  switch (winsockError) {
    case 10013: text = "Permission denied."; break;
    case 10048: text = "Address already in use."; break;
    case 10049: text = "Cannot assign requested address."; break;
    case 10050: text = "Network is down."; break;
    case 10051: text = "Network is unreachable."; break;
    case 10052: text = "Net dropped connection or reset."; break;
    case 10053: text = "Software caused connection abort."; break;
    case 10054: text = "Connection reset by peer."; break;
    case 10055: text = "No buffer space available."; break;
    case 10057: text = "Socket is not connected."; break;
    case 10058: text = "Cannot send or receive after socket is closed."; break;
    case 10060: text = "Connection timed out."; break;
    case 10061: text = "Connection refused."; break;
    case 10064: text = "Host is down."; break;
    case 10065: text = "No route to host."; break;
    case 11001: text = "Host not found."; break;
    default: break;
  }
  return "Socket Error # " + std::to_string(winsockError) + "\r\n" + text;
}

int WinsockErrorFromErrno(int posixErrno) {
  switch (posixErrno) {
    case EACCES: return 10013;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET: return 10054;
    case EPIPE: return 10054;  // a send after the peer's reset
    case ENOBUFS: return 10055;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    default: return 0;
  }
}

std::string TransferFailureMessage(const TransferOutcome& outcome) {
  if (outcome.readTimedOut) return SocketErrorMessage(10060);
  if (outcome.bodyTooLarge) return "The response body is larger than the configured maximum size.";
  if (outcome.headerTooLarge) return "The response header is too large.";
  if (outcome.tunnelRefused) return "The proxy refused the tunnel to the tile server.";
  int socketError = WinsockErrorFromErrno(outcome.osErrno);
  switch (outcome.curlCode) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return SocketErrorMessage(11001);
    case CURLE_OPERATION_TIMEDOUT:
      return SocketErrorMessage(10060);
    case CURLE_COULDNT_CONNECT:
      return socketError ? SocketErrorMessage(socketError) : "Could not connect to the server.";
    case CURLE_SEND_ERROR:
      return socketError ? SocketErrorMessage(socketError) : "Sending the request failed.";
    case CURLE_RECV_ERROR:
      return socketError ? SocketErrorMessage(socketError) : "Receiving the response failed.";
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
      return kClosedGracefully;
    case CURLE_FILESIZE_EXCEEDED:
      return "The response body is larger than the configured maximum size.";
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_UNSUPPORTED_PROTOCOL:  // an answer without an HTTP status line
      return "Invalid response: the server did not send a valid HTTP status line.";
    case CURLE_URL_MALFORMAT:
      return "Invalid address.";
    case CURLE_OUT_OF_MEMORY:  // also libcurl's answer to an over-long header line
      return "The response header is too large, or memory ran out.";
    default:
      break;
  }
  // A reset during the TLS handshake is still a reset.
  if (IsTlsFailure(outcome.curlCode))
    return socketError == 10054 ? SocketErrorMessage(socketError)
                                : std::string("TLS failure: ") + curl_easy_strerror(CURLcode(outcome.curlCode));
  return std::string("HTTP transfer failed: ") + curl_easy_strerror(CURLcode(outcome.curlCode));
}

struct TileHttpClient::Impl {
  explicit Impl(const NetworkSettings& settings);
  ~Impl();
  void Open();  // a new handle: any open connection is closed first
  void Configure();
  void UseHeaders(const SplitUrl& url, const TileHttpClient& client);
  void Aim(const SplitUrl& url, const TileHttpClient& client);
  void StartResponse(std::string& buffer);
  void Finish(CURLcode code);

  static size_t OnHeader(char* data, size_t size, size_t count, void* user);
  static size_t OnBody(char* data, size_t size, size_t count, void* user);
  static int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t);
  static int OnRequestReady(void* user, char*, char*, int, int);

  NetworkSettings network;
  CURLSH* share = nullptr;  // DNS and TLS sessions survive a new handle
  CURL* curl = nullptr;
  curl_slist* serverHeaders = nullptr;
  curl_slist* proxyHeaders = nullptr;
  std::string headersKey;
  std::string endpoint;  // where the open connection (if any) goes

  // The response in hand.
  std::string* buffer = nullptr;
  std::size_t bufferStart = 0;
  std::string statusLine;
  bool location = false;
  bool connectionClose = false;
  bool headersComplete = false;  // the blank line after the headers arrived
  int64_t headerBytes = 0;
  bool bodyTooLarge = false;
  bool headerTooLarge = false;
  bool readTimedOut = false;
  bool requestSent = false;
  Clock::time_point lastByte;
};

TileHttpClient::Impl::Impl(const NetworkSettings& settings) : network(settings) {
  const NetworkSettings defaults;
  if (network.ConnectTimeout <= 0) network.ConnectTimeout = defaults.ConnectTimeout;
  if (network.ReadTimeout <= 0) network.ReadTimeout = defaults.ReadTimeout;
  if (network.MaxBodyBytes <= 0) network.MaxBodyBytes = defaults.MaxBodyBytes;
  if (network.UserAgent.find_first_of("\r\n") != std::string::npos) network.UserAgent = defaults.UserAgent;
  share = curl_share_init();
  if (share) {
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  }
  Open();
}

TileHttpClient::Impl::~Impl() {
  if (curl) curl_easy_cleanup(curl);
  if (share) curl_share_cleanup(share);
  curl_slist_free_all(serverHeaders);
  curl_slist_free_all(proxyHeaders);
}

void TileHttpClient::Impl::Open() {
  if (curl) curl_easy_cleanup(curl);
  curl = curl_easy_init();
  endpoint.clear();
  if (curl) Configure();
}

void TileHttpClient::Impl::Configure() {
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(curl, CURLOPT_MAXCONNECTS, 1L);
  curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(network.ConnectTimeout));
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(network.MaxBodyBytes));
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, 64L * 1024);
  // Only the proxy the caller sets: never one from the environment.
  curl_easy_setopt(curl, CURLOPT_PROXY, "");
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
  curl_easy_setopt(curl, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  // Proxy credentials go to the proxy only, never inside an https tunnel.
  curl_easy_setopt(curl, CURLOPT_HEADEROPT, static_cast<long>(CURLHEADER_SEPARATE));
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, serverHeaders);
  curl_easy_setopt(curl, CURLOPT_PROXYHEADER, proxyHeaders);
  if (share) curl_easy_setopt(curl, CURLOPT_SHARE, share);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &Impl::OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Impl::OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Impl::OnProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, &Impl::OnRequestReady);
  curl_easy_setopt(curl, CURLOPT_PREREQDATA, this);
}

// libcurl's own Accept, User-Agent and Proxy-Connection are replaced or
// removed, so the lines go out in the order BuildRequestText gives them.
void TileHttpClient::Impl::UseHeaders(const SplitUrl& url, const TileHttpClient& client) {
  bool proxy = UsesProxy(client.ProxyServer);
  bool credentials = proxy && !client.ProxyUsername.empty();
  std::string key = url.host + '\n' + (credentials ? client.ProxyUsername + '\n' + client.ProxyPassword : "");
  if (key == headersKey && serverHeaders) return;
  curl_slist_free_all(serverHeaders);
  curl_slist_free_all(proxyHeaders);
  serverHeaders = curl_slist_append(nullptr, ("Host: " + url.host).c_str());
  serverHeaders = curl_slist_append(serverHeaders, (std::string("Accept: ") + kAccept).c_str());
  std::string agent = network.UserAgent.empty() ? "User-Agent:" : "User-Agent: " + network.UserAgent;
  serverHeaders = curl_slist_append(serverHeaders, agent.c_str());
  proxyHeaders = nullptr;
  if (credentials) {
    std::string line = "Proxy-Authorization: " + ProxyAuthorization(client.ProxyUsername, client.ProxyPassword);
    proxyHeaders = curl_slist_append(proxyHeaders, line.c_str());
  }
  proxyHeaders = curl_slist_append(proxyHeaders, "Proxy-Connection:");
  if (!serverHeaders || !proxyHeaders) {
    headersKey.clear();
    throw FetchError("Out of memory while building the request.");
  }
  headersKey = key;
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, serverHeaders);
  curl_easy_setopt(curl, CURLOPT_PROXYHEADER, proxyHeaders);
}

// Where the connection goes; a change closes the open connection first.
void TileHttpClient::Impl::Aim(const SplitUrl& url, const TileHttpClient& client) {
  std::string protocol = LowerCase(url.protocol);
  std::string port = url.port.empty() ? DefaultPort(protocol) : url.port;
  std::string target;
  if (UsesProxy(client.ProxyServer)) {
    if (client.ProxyPort < 1 || client.ProxyPort > 65535) throw FetchError("Invalid proxy port.");
    target = "proxy " + LowerCase(client.ProxyServer) + ":" + std::to_string(client.ProxyPort) + " " + protocol;
  } else {
    target = protocol + "://" + LowerCase(url.host) + ":" + port;
  }
  if (target == endpoint) return;
  if (!endpoint.empty()) Open();
  if (!curl) throw FetchError("The HTTP client could not be created.");
  endpoint = target;
  if (UsesProxy(client.ProxyServer)) {
    std::string_view server = client.ProxyServer;
    if (server.starts_with("http://")) server.remove_prefix(7);
    curl_easy_setopt(curl, CURLOPT_PROXY, ("http://" + std::string(server)).c_str());
    curl_easy_setopt(curl, CURLOPT_PROXYPORT, static_cast<long>(client.ProxyPort));
  } else {
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
  }
}

void TileHttpClient::Impl::StartResponse(std::string& target) {
  buffer = &target;
  bufferStart = target.size();
  statusLine.clear();
  location = connectionClose = headersComplete = false;
  headerBytes = 0;
  bodyTooLarge = headerTooLarge = readTimedOut = requestSent = false;
  lastByte = Clock::now();
}

size_t TileHttpClient::Impl::OnHeader(char* data, size_t size, size_t count, void* user) {
  Impl& self = *static_cast<Impl*>(user);
  size_t length = size * count;
  self.lastByte = Clock::now();
  self.headerBytes += static_cast<int64_t>(length);
  if (self.headerBytes > kMaxHeaderBytes) {
    self.headerTooLarge = true;
    return 0;
  }
  std::string_view line = Trim(std::string_view(data, length));
  if (line.starts_with("HTTP/")) {  // a new response, after an interim 1xx too
    self.statusLine = std::string(line);
    self.location = self.connectionClose = self.headersComplete = false;
  } else if (line.empty()) {
    self.headersComplete = true;
  } else if (HasHeader(line, "Location")) {
    self.location = true;
  } else if (HasHeader(line, "Connection")) {
    self.connectionClose = EqualsNoCase(HeaderValueOrEmpty(line, "Connection"), "close");
  } else if (std::string value = HeaderValueOrEmpty(line, "Content-Length"); AllDigits(value) && value.size() < 19) {
    // Reserve up front what the cap allows; a larger announcement fails in libcurl.
    int64_t announced = std::stoll(value);
    if (announced <= self.network.MaxBodyBytes) GrowTo(*self.buffer, self.bufferStart + announced);
  }
  return length;
}

size_t TileHttpClient::Impl::OnBody(char* data, size_t size, size_t count, void* user) {
  Impl& self = *static_cast<Impl*>(user);
  size_t length = size * count;
  self.lastByte = Clock::now();
  std::string& buffer = *self.buffer;
  auto limit = static_cast<uint64_t>(self.network.MaxBodyBytes);
  uint64_t appended = buffer.size() - self.bufferStart;
  if (length > limit - appended) {
    self.bodyTooLarge = true;
    return 0;
  }
  // Grow geometrically, but never past what the cap allows.
  if (buffer.capacity() - buffer.size() < length) {
    std::size_t wanted = std::max(buffer.size() + length, buffer.capacity() * 2);
    GrowTo(buffer, std::min<uint64_t>(wanted, self.bufferStart + limit));
  }
  buffer.append(data, length);
  return length;
}

int TileHttpClient::Impl::OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  Impl& self = *static_cast<Impl*>(user);
  if (!self.requestSent) return 0;  // connecting has its own time-out
  if (Clock::now() - self.lastByte >= std::chrono::seconds(self.network.ReadTimeout)) {
    self.readTimedOut = true;
    return 1;
  }
  return 0;
}

int TileHttpClient::Impl::OnRequestReady(void* user, char*, char*, int, int) {
  Impl& self = *static_cast<Impl*>(user);
  self.requestSent = true;
  self.lastByte = Clock::now();
  return CURL_PREREQFUNC_OK;
}

// After a complete response: the connection stays only when HTTP/1.1 and
// the server did not ask to close it.
void TileHttpClient::Impl::Finish(CURLcode code) {
  bool http10 = statusLine.size() >= 8 && statusLine.compare(5, 3, "1.0") == 0;
  bool closes = code != CURLE_OK || http10 || connectionClose;
  if (closes) Open();
}

TileHttpClient::TileHttpClient(const NetworkSettings& network) {
  GlobalInit();
  impl_ = new Impl(network);
}

TileHttpClient::~TileHttpClient() { delete impl_; }

void TileHttpClient::GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

void TileHttpClient::Get(const std::string& url, std::string& buffer) {
  SplitUrl parts = SplitAddress(url);
  CheckAddress(url, parts);
  Impl& impl = *impl_;
  impl.Aim(parts, *this);
  impl.UseHeaders(parts, *this);
  std::string address = LowerCase(parts.protocol) + "://" + parts.host +
                        (parts.port.empty() ? "" : ":" + parts.port) + parts.path + parts.document;
  curl_easy_setopt(impl.curl, CURLOPT_URL, address.c_str());
  impl.StartResponse(buffer);
  CURLcode code = curl_easy_perform(impl.curl);
  // libcurl takes a close inside the headers for the end of a response.
  if (code == CURLE_OK && !impl.headersComplete) code = CURLE_PARTIAL_FILE;
  long osErrno = 0;
  long tunnelStatus = 0;
  if (code != CURLE_OK) {
    curl_easy_getinfo(impl.curl, CURLINFO_OS_ERRNO, &osErrno);
    curl_easy_getinfo(impl.curl, CURLINFO_HTTP_CONNECTCODE, &tunnelStatus);
  }
  impl.Finish(code);
  if (code != CURLE_OK) {
    buffer.resize(impl.bufferStart);  // no part of a broken body stays behind
    throw FetchError(TransferFailureMessage({code, static_cast<int>(osErrno), impl.bodyTooLarge,
                                             impl.headerTooLarge, impl.readTimedOut, tunnelStatus >= 300}));
  }
  // The status text is the status line without its first word.
  std::size_t space = impl.statusLine.find(' ');
  std::string statusText = space == std::string::npos ? std::string() : impl.statusLine.substr(space + 1);
  std::string codeText = statusText.substr(0, statusText.find(' '));
  if (!AllDigits(codeText) || codeText.size() > 3)
    throw FetchError("Invalid response: the status code is not a number.");
  int status = std::stoi(codeText);
  if (status < 200 || status > 299 || impl.location) throw FetchError(statusText);
}
