#include "TileHttpClient.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <mutex>
#include <string_view>

#include "AtomicFile.h"
#include "Text.h"
#include "TileSource.h"

// Life of a Get: the address is split and checked (only http and https go
// out); a change of where the connection goes replaces the easy handle,
// which closes the old connection before the new one opens. libcurl then
// sends exactly the request of BuildRequestText: its own Accept, User-Agent
// and Proxy-Connection are replaced or removed by the custom header lists.
// Callbacks watch the transfer: the header callback keeps the status line,
// "Location", "Connection" and the caching headers (validators and expiry,
// kept as sent and read only by those who ask); the body callback appends to the caller's
// buffer within the size cap; the progress callback ends a transfer that has
// received nothing for the read time-out. The outcome becomes a message from
// fixed texts only. A response that asks for the connection to close (or
// any failed transfer) replaces the handle again.

namespace {

std::string ReplaceAll(std::string text, std::string_view what, std::string_view with) {
  for (std::size_t at = text.find(what); !what.empty() && at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
  return text;
}

using Clock = std::chrono::steady_clock;

constexpr int64_t kMaxHeaderBytes = 64 * 1024;

// A header line's value: blanks either side, and its line end too.
std::string_view TrimHeader(std::string_view s) { return TrimLeft(TrimRight(s, " \t\r\n")); }

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// An address Get can fetch: a known protocol, a plain host, a decimal port
// and no byte that would need encoding on the wire.
void CheckAddress(const std::string& address, const SplitUrl& url) {
  std::string protocol = LowerAscii(url.protocol);
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

bool IsHeader(std::string_view line, std::string_view name) {
  return line.size() > name.size() && line[name.size()] == ':' &&
         EqualsIgnoringCase(line.substr(0, name.size()), name);
}

// The value of a line that IsHeader(line, name), blanks trimmed.
std::string_view HeaderValue(std::string_view line, std::string_view name) {
  return TrimHeader(line.substr(name.size() + 1));
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

}  // namespace

struct TileHttpClient::Impl {
  explicit Impl(const NetworkSettings& settings);
  ~Impl();
  void Open();  // a new handle: any open connection is closed first
  void Configure();
  void UseHeaders(const SplitUrl& url, const TileHttpClient& client, const TileValidators* known);
  bool Perform(const std::string& url, std::string& buffer, const TileValidators* known, TileHttpClient& client);
  void Aim(const SplitUrl& url, const TileHttpClient& client);
  void StartResponse(std::string& buffer);
  // Empties the caching headers but keeps their storage: no allocation per tile.
  void ClearCaching() {
    for (std::string* field : {&caching.etag, &caching.lastModified, &caching.cacheControl, &caching.expires,
                               &caching.date, &caching.age})
      field->clear();
  }
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
  std::string retryAfter;
  bool location = false;
  bool blocked = false;  // an X-Blocked header came
  bool connectionClose = false;
  ResponseCaching caching;
  bool headersComplete = false;  // the blank line after the headers arrived
  int64_t headerBytes = 0;
  bool bodyTooLarge = false;
  bool headerTooLarge = false;
  bool readTimedOut = false;
  bool tileTimedOut = false;
  const std::atomic<bool>* abandon = nullptr;
  bool requestSent = false;
  Clock::time_point started;
  Clock::time_point lastByte;

  // Set when Network.CaFile names a file; unusable when that file gave nothing to trust.
  std::string trustBundle;
  bool caFileUnusable = false;
  // libcurl's detail of a failure: read for the cause, never shown.
  char errorText[CURL_ERROR_SIZE] = {};
};

TileHttpClient::Impl::Impl(const NetworkSettings& settings) : network(settings) {
  const NetworkSettings defaults;
  if (network.ConnectTimeout <= 0) network.ConnectTimeout = defaults.ConnectTimeout;
  if (network.ReadTimeout <= 0) network.ReadTimeout = defaults.ReadTimeout;
  if (network.MaxTileBytes <= 0) network.MaxTileBytes = defaults.MaxTileBytes;
  if (network.TileTimeout <= 0) network.TileTimeout = defaults.TileTimeout;
  if (network.UserAgent.find_first_of("\r\n") != std::string::npos) network.UserAgent = defaults.UserAgent;
  if (!network.Key.empty())
    for (auto& header : network.Headers) header.second = ReplaceAll(header.second, kKeyPlaceholder, network.Key);
  share = curl_share_init();
  if (share) {
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
  }
  Open();
  if (!network.CaFile.empty() && curl) {
    char* systemBundle = nullptr;
    curl_easy_getinfo(curl, CURLINFO_CAINFO, &systemBundle);
    std::optional<std::string> bundle = TrustBundle(systemBundle ? systemBundle : "", network.CaFile);
    caFileUnusable = !bundle;
    if (bundle) trustBundle = std::move(*bundle);
    Configure();
  }
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
  curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(network.MaxTileBytes));
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
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
  if (!trustBundle.empty()) {
    curl_blob blob{trustBundle.data(), trustBundle.size(), CURL_BLOB_NOCOPY};
    curl_easy_setopt(curl, CURLOPT_CAINFO_BLOB, &blob);
  }
}

// libcurl's own Accept, User-Agent and Proxy-Connection are replaced or
// removed, so the lines go out in the order TileRequestHeaders gives them.
void TileHttpClient::Impl::UseHeaders(const SplitUrl& url, const TileHttpClient& client, const TileValidators* known) {
  bool proxy = !client.ProxyServer.empty();
  bool credentials = proxy && !client.ProxyUsername.empty();
  std::string key = url.host;
  if (known) key += '\n' + known->etag + '\n' + known->lastModified;
  if (credentials) key += '\n' + client.ProxyUsername + '\n' + client.ProxyPassword;
  if (key == headersKey && serverHeaders) return;
  curl_slist_free_all(serverHeaders);
  curl_slist_free_all(proxyHeaders);
  serverHeaders = nullptr;
  bool built = true;
  bool agentLine = false;
  for (const auto& [name, value] : TileRequestHeaders(url.host, network.UserAgent, network.Headers, known)) {
    agentLine = agentLine || EqualsIgnoringCase(name, "User-Agent");
    // "Name;" is libcurl's way to send a header with an empty value.
    const std::string line = value.empty() ? name + ";" : name + ": " + value;
    curl_slist* grown = curl_slist_append(serverHeaders, line.c_str());
    built = built && grown;
    if (grown) serverHeaders = grown;
  }
  // No User-Agent line at all for an empty agent: libcurl adds none of its own.
  if (!agentLine && built) {
    curl_slist* grown = curl_slist_append(serverHeaders, "User-Agent:");
    built = grown != nullptr;
    if (grown) serverHeaders = grown;
  }
  proxyHeaders = nullptr;
  if (credentials) {
    std::string value = ProxyAuthorizationValue(client.ProxyUsername, client.ProxyPassword);
    proxyHeaders = curl_slist_append(proxyHeaders, ("Proxy-Authorization: " + value).c_str());
  }
  proxyHeaders = curl_slist_append(proxyHeaders, "Proxy-Connection:");
  if (!built || !serverHeaders || !proxyHeaders) {
    headersKey.clear();
    throw FetchError("Out of memory while building the request.");
  }
  headersKey = key;
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, serverHeaders);
  curl_easy_setopt(curl, CURLOPT_PROXYHEADER, proxyHeaders);
}

// Where the connection goes; a change closes the open connection first.
void TileHttpClient::Impl::Aim(const SplitUrl& url, const TileHttpClient& client) {
  std::string protocol = LowerAscii(url.protocol);
  std::string port = url.port.empty() ? DefaultPortFor(protocol) : url.port;
  std::string target;
  if (!client.ProxyServer.empty()) {
    target = "proxy " + LowerAscii(client.ProxyServer) + ":" + std::to_string(client.ProxyPort);
    target += " " + protocol;  // an https tunnel is another connection
  } else {
    target = protocol + "://" + LowerAscii(url.host) + ":" + port;
  }
  if (target == endpoint) return;
  if (!endpoint.empty()) Open();
  if (!curl) throw FetchError("The HTTP client could not be created.");
  endpoint = target;
  if (!client.ProxyServer.empty()) {
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
  retryAfter.clear();
  location = blocked = connectionClose = headersComplete = false;
  ClearCaching();
  headerBytes = 0;
  bodyTooLarge = headerTooLarge = readTimedOut = tileTimedOut = requestSent = false;
  started = lastByte = Clock::now();
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
  std::string_view line = TrimHeader(std::string_view(data, length));
  if (line.starts_with("HTTP/")) {  // a new response, after an interim 1xx too
    self.statusLine = std::string(line);
    self.retryAfter.clear();
    self.location = self.blocked = self.connectionClose = self.headersComplete = false;
    self.ClearCaching();
  } else if (line.empty()) {
    self.headersComplete = true;
  } else if (IsHeader(line, "Retry-After")) {
    self.retryAfter = std::string(HeaderValue(line, "Retry-After"));
  } else if (IsHeader(line, "Location")) {
    self.location = true;
  } else if (IsHeader(line, "X-Blocked")) {
    self.blocked = true;
  } else if (IsHeader(line, "Connection")) {
    self.connectionClose = EqualsIgnoringCase(HeaderValue(line, "Connection"), "close");
  } else if (IsHeader(line, "ETag")) {
    self.caching.etag = HeaderValue(line, "ETag");
  } else if (IsHeader(line, "Last-Modified")) {
    self.caching.lastModified = HeaderValue(line, "Last-Modified");
  } else if (IsHeader(line, "Cache-Control")) {
    if (!self.caching.cacheControl.empty()) self.caching.cacheControl += ", ";
    self.caching.cacheControl += HeaderValue(line, "Cache-Control");
  } else if (IsHeader(line, "Expires")) {
    self.caching.expires = HeaderValue(line, "Expires");
  } else if (IsHeader(line, "Date")) {
    self.caching.date = HeaderValue(line, "Date");
  } else if (IsHeader(line, "Age")) {
    self.caching.age = HeaderValue(line, "Age");
  } else if (IsHeader(line, "Content-Length")) {
    // Reserve up front what the cap allows; a larger announcement fails in libcurl.
    std::string_view value = HeaderValue(line, "Content-Length");
    if (AllDigits(value) && value.size() < 19) {
      auto announced = static_cast<uint64_t>(std::stoll(std::string(value)));
      if (announced <= static_cast<uint64_t>(self.network.MaxTileBytes))
        GrowTo(*self.buffer, self.bufferStart + announced);
    }
  }
  return length;
}

size_t TileHttpClient::Impl::OnBody(char* data, size_t size, size_t count, void* user) {
  Impl& self = *static_cast<Impl*>(user);
  size_t length = size * count;
  self.lastByte = Clock::now();
  std::string& buffer = *self.buffer;
  auto limit = static_cast<uint64_t>(self.network.MaxTileBytes);
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

void TileHttpClient::SetAbandonFlag(const std::atomic<bool>* flag) { impl_->abandon = flag; }

int TileHttpClient::Impl::OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  Impl& self = *static_cast<Impl*>(user);
  if (self.abandon && self.abandon->load()) return 1;
  // A server that drips a byte now and then never trips the read time-out.
  if (Clock::now() - self.started >= std::chrono::seconds(self.network.TileTimeout)) {
    self.tileTimedOut = true;
    return 1;
  }
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
  impl_ = std::make_unique<Impl>(network);
}

TileHttpClient::~TileHttpClient() = default;

void TileHttpClient::GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::optional<std::string> TrustBundle(const std::string& systemBundlePath, const std::string& caFile) {
  auto read = [](const std::string& path) -> std::optional<std::string> {
    try {
      return ReadWholeFile(path);
    } catch (const std::exception&) {
      return std::nullopt;
    }
  };
  std::optional<std::string> own = read(caFile);
  if (!own || own->find("-----BEGIN CERTIFICATE-----") == std::string::npos) return std::nullopt;
  std::string bundle;
  if (!systemBundlePath.empty()) {
    if (std::optional<std::string> system = read(systemBundlePath)) bundle = std::move(*system);
  }
  if (!bundle.empty() && bundle.back() != '\n') bundle += '\n';
  return bundle + *own;
}

std::optional<std::string> CaFileProblem(const std::string& caFile) {
  if (caFile.empty() || TrustBundle("", caFile)) return std::nullopt;
  return "The certificate file '" + caFile + "' (Network.CaFile) cannot be read or holds no PEM certificate.";
}

void TileHttpClient::Get(const std::string& url, std::string& buffer) { GetIfChanged(url, TileValidators{}, buffer); }

// The key goes into the address only here, on its way out, and any message
// that might echo it gets "{key}" back.
bool TileHttpClient::GetIfChanged(const std::string& url, const TileValidators& known, std::string& buffer) {
  const std::string& key = impl_->network.Key;
  if (key.empty()) return impl_->Perform(url, buffer, known.Empty() ? nullptr : &known, *this);
  try {
    return impl_->Perform(ReplaceAll(url, kKeyPlaceholder, key), buffer, known.Empty() ? nullptr : &known, *this);
  } catch (const FetchError& error) {
    const std::string message = error.what();
    if (message.find(key) == std::string::npos) throw;
    throw FetchError(ReplaceAll(message, key, kKeyPlaceholder), error.Status(), error.RetryAfter(), error.Blocked());
  }
}

const ResponseCaching& TileHttpClient::LastCaching() const { return impl_->caching; }

// True for a 2xx answer; false for a 304 to a conditional request.
bool TileHttpClient::Impl::Perform(const std::string& url, std::string& buffer, const TileValidators* known,
                                   TileHttpClient& client) {
  SplitUrl parts = SplitAddress(url);
  CheckAddress(url, parts);
  if (caFileUnusable && LowerAscii(parts.protocol) == "https") throw FetchError(kCaFileUnusable);
  Aim(parts, client);
  UseHeaders(parts, client, known);
  std::string address = LowerAscii(parts.protocol) + "://" + parts.host +
                        (parts.port.empty() ? "" : ":" + parts.port) + parts.path + parts.document;
  curl_easy_setopt(curl, CURLOPT_URL, address.c_str());
  StartResponse(buffer);
  errorText[0] = '\0';
  CURLcode code = curl_easy_perform(curl);
  // libcurl takes a close inside the headers for the end of a response.
  if (code == CURLE_OK && !headersComplete) code = CURLE_PARTIAL_FILE;
  long osErrno = 0;
  long tunnelStatus = 0;
  long verifyResult = 0;
  bool nameMismatch = false;
  if (code != CURLE_OK) {
    curl_easy_getinfo(curl, CURLINFO_OS_ERRNO, &osErrno);
    curl_easy_getinfo(curl, CURLINFO_HTTP_CONNECTCODE, &tunnelStatus);
    curl_easy_getinfo(curl, CURLINFO_SSL_VERIFYRESULT, &verifyResult);
    // libcurl checks the name itself, after the chain passed, with no result number of its own.
    const std::string_view detail = errorText;
    nameMismatch = code == CURLE_PEER_FAILED_VERIFICATION &&
                   (detail.find("host name") != std::string_view::npos ||
                    detail.find("hostname") != std::string_view::npos);
  }
  Finish(code);
  // A ban whatever else the answer says, even when its body broke off.
  if (blocked && headersComplete) {
    buffer.resize(bufferStart);
    throw FetchError(kBlockedAnswer, 0, retryAfter, true);
  }
  if (code != CURLE_OK) {
    buffer.resize(bufferStart);  // no part of a broken body stays behind
    ClearCaching();
    throw FetchError(TransferFailureMessage({code, static_cast<int>(osErrno), bodyTooLarge, headerTooLarge,
                                             readTimedOut, tileTimedOut, tunnelStatus >= 300, verifyResult,
                                             nameMismatch}));
  }
  // The status text is the status line without its first word.
  std::size_t space = statusLine.find(' ');
  std::string statusText = space == std::string::npos ? std::string() : statusLine.substr(space + 1);
  std::string codeText = statusText.substr(0, statusText.find(' '));
  if (!AllDigits(codeText) || codeText.size() > 3)
    throw FetchError("Invalid response: the status code is not a number.");
  int status = std::stoi(codeText);
  if (status == 304 && known && !location) {
    buffer.resize(bufferStart);
    return false;
  }
  if (status < 200 || status > 299 || location) throw FetchError(statusText, status, retryAfter);
  return true;
}
