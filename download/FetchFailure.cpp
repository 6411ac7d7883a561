#include "FetchFailure.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <limits>

namespace {

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

// The certificate checker's result numbers that tell the causes apart.
constexpr long kCertNotYetValid = 9;
constexpr long kCertExpired = 10;
constexpr long kHostnameMismatch = 62;
constexpr long kIpAddressMismatch = 64;

std::string CertificateProblem(long verifyResult, bool nameMismatch) {
  if (nameMismatch) verifyResult = kHostnameMismatch;
  switch (verifyResult) {
    case kCertExpired: return "TLS failure: the server's certificate has expired.";
    case kCertNotYetValid: return "TLS failure: the server's certificate is not valid yet.";
    case kHostnameMismatch:
    case kIpAddressMismatch: return "TLS failure: the server's certificate is made out to another host name.";
    default:
      return "TLS failure: the server's certificate is not trusted (its issuer is in neither the system's "
             "certificates nor Network.CaFile).";
  }
}

}  // namespace

namespace {

// The Windows Sockets texts a message can carry; empty for a number without one.
std::string_view SocketErrorText(int winsockError) {
  switch (winsockError) {
    case 10013: return "Permission denied.";
    case 10048: return "Address already in use.";
    case 10049: return "Cannot assign requested address.";
    case 10050: return "Network is down.";
    case 10051: return "Network is unreachable.";
    case 10052: return "Net dropped connection or reset.";
    case 10053: return "Software caused connection abort.";
    case 10054: return "Connection reset by peer.";
    case 10055: return "No buffer space available.";
    case 10057: return "Socket is not connected.";
    case 10058: return "Cannot send or receive after socket is closed.";
    case 10060: return "Connection timed out.";
    case 10061: return "Connection refused.";
    case 10064: return "Host is down.";
    case 10065: return "No route to host.";
    case 11001: return "Host not found.";
    default: return "";
  }
}

constexpr std::string_view kSocketErrorPrefix = "Socket Error # ";

// "connection refused (Socket Error # 10061)" for the socket error at the
// start of text (after its prefix); length is how much of text it took.
std::string SocketErrorInWords(std::string_view text, std::size_t& length) {
  std::size_t digits = 0;
  while (digits < text.size() && digits < 6 && text[digits] >= '0' && text[digits] <= '9') ++digits;
  int number = 0;
  std::from_chars(text.data(), text.data() + digits, number);
  const std::string_view words = SocketErrorText(number);
  length = digits;
  // The text follows its line break, or a blank once the message was put on one line.
  for (std::string_view gap : {"\r\n", " ", "\n"}) {
    const std::string_view rest = text.substr(digits);
    if (rest.starts_with(gap) && (words.empty() || rest.substr(gap.size()).starts_with(words))) {
      length = digits + gap.size() + words.size();
      break;
    }
  }
  std::string phrase = words.empty() ? std::string("an unknown socket error") : std::string(words);
  if (phrase.back() == '.') phrase.pop_back();
  if (phrase[0] >= 'A' && phrase[0] <= 'Z') phrase[0] = static_cast<char>(phrase[0] - 'A' + 'a');
  return phrase + " (" + std::string(kSocketErrorPrefix) + std::string(text.substr(0, digits)) + ")";
}

}  // namespace

std::string SocketErrorMessage(int winsockError) {
  return std::string(kSocketErrorPrefix) + std::to_string(winsockError) + "\r\n" +
         std::string(SocketErrorText(winsockError));
}

std::string ReadableFailure(std::string_view message) {
  std::string text;
  for (std::size_t at = 0; at < message.size();) {
    const std::size_t found = message.find(kSocketErrorPrefix, at);
    const std::size_t number = found == std::string_view::npos ? found : found + kSocketErrorPrefix.size();
    if (number == std::string_view::npos || number >= message.size() || message[number] < '0' || message[number] > '9') {
      const std::size_t end = found == std::string_view::npos ? message.size() : number;
      text.append(message.substr(at, end - at));
      at = end;
      continue;
    }
    text.append(message.substr(at, found - at));
    std::size_t length = 0;
    text += SocketErrorInWords(message.substr(number), length);
    at = number + length;
  }
  std::string line;
  for (char c : text) {
    if (c == '\r' || c == '\n' || c == '\t') c = ' ';
    if (c == ' ' && (line.empty() || line.back() == ' ')) continue;
    line.push_back(c);
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
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
  if (outcome.tileTimedOut) return kTileTimedOut;
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
  // libcurl's fixed text for a code, never its detailed message for the transfer.
  std::string codeText = curl_easy_strerror(static_cast<CURLcode>(outcome.curlCode));
  if (!IsTlsFailure(outcome.curlCode)) return "HTTP transfer failed: " + codeText;
  // A reset during the TLS handshake is still a reset.
  if (socketError == 10054) return SocketErrorMessage(socketError);
  if (outcome.curlCode == CURLE_PEER_FAILED_VERIFICATION)
    return CertificateProblem(outcome.tlsVerifyResult, outcome.tlsNameMismatch);
  if (outcome.curlCode == CURLE_SSL_CACERT_BADFILE) return kCaFileUnusable;
  return "TLS failure: " + codeText;
}

std::optional<std::chrono::seconds> ParseRetryAfter(std::string_view value, std::time_t now) {
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
  if (value.empty()) return std::nullopt;
  if (std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    int64_t seconds = 0;
    const auto result = std::from_chars(value.data(), value.data() + value.size(), seconds);
    // Too many digits to count is still "a long time".
    if (result.ec != std::errc()) seconds = std::numeric_limits<int32_t>::max();
    return std::chrono::seconds(seconds);
  }
  // libcurl reads all three date forms HTTP allows.
  const std::time_t at = curl_getdate(std::string(value).c_str(), nullptr);
  if (at == -1) return std::nullopt;
  return std::chrono::seconds(at > now ? at - now : 0);
}

std::chrono::seconds RetryLaterWait(std::optional<std::chrono::seconds> asked, int32_t attempt, int32_t maxWait) {
  const std::chrono::seconds cap(std::max(maxWait, 0));
  if (asked) return std::clamp(*asked, std::chrono::seconds(0), cap);
  const std::chrono::seconds doubled(attempt >= 30 ? int64_t{1} << 30 : int64_t{1} << std::max(attempt, 0));
  return std::min(doubled, cap);
}
