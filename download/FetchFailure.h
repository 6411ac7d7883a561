#pragma once

#include <chrono>
#include <ctime>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

// A failed Get. Callers classify it by its status code when the server
// answered, else by searching what() for fixed texts ("10054", "Connection
// Closed Gracefully"), so the texts are built only from the status line and
// a fixed table, never from the HTTP library's own wording. An empty what()
// is a failure without a message.
class FetchError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
  FetchError(const std::string& message, int status, std::string retryAfter, bool blocked = false)
      : std::runtime_error(message), status_(status), retryAfter_(std::move(retryAfter)), blocked_(blocked) {}
  // The answer's status code; 0 when no status line came (a transfer failure).
  int Status() const { return status_; }
  // The Retry-After header of the answer, as sent; empty when none came.
  const std::string& RetryAfter() const { return retryAfter_; }
  // The answer carried an X-Blocked header: a ban, whatever its status and body.
  bool Blocked() const { return blocked_; }

 private:
  int status_ = 0;
  std::string retryAfter_;
  bool blocked_ = false;
};

inline constexpr const char* kBlockedAnswer = "Blocked: the server's answer carries an X-Blocked header.";
inline constexpr const char* kTileTimedOut = "The tile did not arrive whole within Network.TileTimeout.";

// How long a busy server's answer (429, 500, 502, 503, 504) asks to be left alone: Retry-After as
// seconds or as an HTTP date (against now); nullopt when absent or unreadable.
std::optional<std::chrono::seconds> ParseRetryAfter(std::string_view value, std::time_t now);
// The wait before asking again after the attempt-th such answer for a tile
// (0-based): what the server asked for, else 1 s doubling; never above maxWait.
std::chrono::seconds RetryLaterWait(std::optional<std::chrono::seconds> asked, int32_t attempt, int32_t maxWait);

inline constexpr const char* kClosedGracefully = "Connection Closed Gracefully.";

// Message text for a socket-level failure: "Socket Error # N\r\n" + text.
std::string SocketErrorMessage(int winsockError);
// A failure message as one line a person reads in a message box or on
// stderr: a socket error's reason in words before its number
// ("connection refused (Socket Error # 10061)"), line breaks as blanks.
// Works on a text that quotes such a message, too.
std::string ReadableFailure(std::string_view message);
// Maps a POSIX errno to its Windows Sockets error number (0 when unknown).
int WinsockErrorFromErrno(int posixErrno);

// How a transfer that did not end in a complete response ended.
struct TransferOutcome {
  int curlCode = 0;           // the CURLcode of the transfer
  int osErrno = 0;            // the socket's own error number; 0 when none
  bool bodyTooLarge = false;  // the body passed NetworkSettings::MaxTileBytes
  bool headerTooLarge = false;
  bool readTimedOut = false;  // no byte for NetworkSettings::ReadTimeout seconds
  bool tileTimedOut = false;  // not whole within NetworkSettings::TileTimeout seconds
  bool tunnelRefused = false; // the proxy answered an https tunnel request with a failure
  long tlsVerifyResult = 0;   // the certificate check's own result; 0 when it passed or never ran
  bool tlsNameMismatch = false;  // the certificate is made out to another host
};
inline constexpr const char* kCaFileUnusable =
    "TLS failure: the file named by Network.CaFile cannot be read or holds no PEM certificate.";

// The failure text for such a transfer, from the fixed texts only. A failed
// certificate check names what the user can act on: an issuer nobody trusts,
// another host's name, a date out of range.
std::string TransferFailureMessage(const TransferOutcome& outcome);
