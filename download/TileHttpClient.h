#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "NetworkSettings.h"

// A failed Get. Callers classify it by searching what() for fixed texts
// ("10054", "Connection Closed Gracefully", "302", "403", "404"), so the
// texts are built only from the status line and a fixed table, never from
// the HTTP library's own wording. An empty what() is a failure without a message.
class FetchError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The per-thread HTTP client: one connection at the most, kept open between
// tiles while the server allows it. Not for sharing between threads.
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
  void Get(const std::string& url, std::string& buffer);

  // libcurl's global set-up; call once before any worker thread starts.
  static void GlobalInit();

 private:
  struct Impl;
  Impl* impl_;
};

// The parts of an address, split as the request needs them.
struct SplitUrl {
  std::string protocol;  // "http", "https", ...
  std::string host;
  std::string port;      // empty when the address names none
  std::string path;      // up to and including the last "/"
  std::string document;  // the rest, query included
};
SplitUrl SplitAddress(const std::string& url);

// The exact request text for an address, as the client sends it.
std::string BuildRequestText(const SplitUrl& url, const std::string& proxyServer,
                             const std::string& proxyUsername, const std::string& proxyPassword,
                             const std::string& userAgent);

// Message text for a socket-level failure: "Socket Error # N\r\n" + text.
std::string SocketErrorMessage(int winsockError);
// Maps a POSIX errno to its Windows Sockets error number (0 when unknown).
int WinsockErrorFromErrno(int posixErrno);
