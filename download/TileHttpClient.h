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
//
// The connection is closed before another one is opened: at a change of
// host or port (or of proxy), after an HTTP/1.0 response or one that says
// "Connection: close", and when the server has closed it meanwhile. A hung
// server ends in "Socket Error # 10060" after the connect or read time-out.
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
  // Only "http" and "https" addresses are fetched; https verifies the certificate.
  void Get(const std::string& url, std::string& buffer);

  // libcurl's global set-up; call once before any worker thread starts.
  static void GlobalInit();

 private:
  struct Impl;
  Impl* impl_;
};

// The parts of an address, split as the request needs them. Never throws:
// Get checks the parts before it fetches.
struct SplitUrl {
  std::string protocol;  // "http", "https", ... as written
  std::string host;
  std::string port;      // empty when the address names none
  std::string path;      // up to and including the last "/" before any query; "/" when none
  std::string document;  // the rest, query included (a "#fragment" is never sent and is dropped)
};
SplitUrl SplitAddress(const std::string& url);

// The exact request text for an address, as the client sends it. Through a
// proxy the target is absolute; it keeps a port the address names (other than
// the protocol's default), so that the proxy reaches the same server as a
// direct request would. An https address through a proxy is tunnelled instead.
std::string BuildRequestText(const SplitUrl& url, const std::string& proxyServer,
                             const std::string& proxyUsername, const std::string& proxyPassword,
                             const std::string& userAgent);

// Message text for a socket-level failure: "Socket Error # N\r\n" + text.
std::string SocketErrorMessage(int winsockError);
// Maps a POSIX errno to its Windows Sockets error number (0 when unknown).
int WinsockErrorFromErrno(int posixErrno);

// How a transfer that did not end in a complete response ended.
struct TransferOutcome {
  int curlCode = 0;           // the CURLcode of the transfer
  int osErrno = 0;            // the socket's own error number; 0 when none
  bool bodyTooLarge = false;  // the body passed NetworkSettings::MaxBodyBytes
  bool headerTooLarge = false;
  bool readTimedOut = false;  // no byte for NetworkSettings::ReadTimeout seconds
  bool tunnelRefused = false; // the proxy answered an https tunnel request with a failure
};
// The failure text for such a transfer, from the fixed texts only.
std::string TransferFailureMessage(const TransferOutcome& outcome);
