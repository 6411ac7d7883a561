#pragma once

#include <atomic>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "FetchFailure.h"
#include "HttpRequestText.h"
#include "NetworkSettings.h"

// The per-thread HTTP client: one connection at the most, kept open between
// tiles while the server allows it. Not for sharing between threads.
//
// The connection is closed before another one is opened: at a change of
// host or port (or of proxy), after an HTTP/1.0 response or one that says
// "Connection: close", and when the server has closed it meanwhile. A hung
// server ends in "Socket Error # 10060" after the connect or read time-out.
// The certificates an https fetch trusts when Network.CaFile names a file:
// the system's bundle (if it can be read) followed by that file's. nullopt
// when the file cannot be read or holds no PEM certificate.
std::optional<std::string> TrustBundle(const std::string& systemBundlePath, const std::string& caFile);

// Why Network.CaFile cannot serve, for refusing a task before it starts;
// nullopt when it is empty or usable.
std::optional<std::string> CaFileProblem(const std::string& caFile);

class TileHttpClient {
 public:
  explicit TileHttpClient(const NetworkSettings& network = {});
  ~TileHttpClient();
  TileHttpClient(const TileHttpClient&) = delete;
  TileHttpClient& operator=(const TileHttpClient&) = delete;

  // Written directly by the caller, as the worker does when the proxy is on.
  std::string ProxyServer;
  int32_t ProxyPort = 0;
  std::string ProxyUsername;
  std::string ProxyPassword;

  // Appends the response body to buffer, whatever the status; throws FetchError.
  // A transfer that breaks off (reset, close, time-out, cap) leaves the buffer as it was.
  // Only "http" and "https" addresses are fetched; https verifies the
  // certificate against the system's certificates and Network.CaFile's.
  void Get(const std::string& url, std::string& buffer);
  // Get, asking for the tile only when it differs from the one these
  // validators name (If-None-Match, If-Modified-Since): false, with nothing
  // added to buffer, when the server answers "304 Not Modified".
  bool GetIfChanged(const std::string& url, const TileValidators& known, std::string& buffer);
  // When the flag is set, a transfer in flight breaks off at once (the
  // flag must outlive the client).
  void SetAbandonFlag(const std::atomic<bool>* flag);
  // The caching headers of the last response that arrived whole.
  const ResponseCaching& LastCaching() const;

  // libcurl's global set-up; call once before any worker thread starts.
  static void GlobalInit();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
